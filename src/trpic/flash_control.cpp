#include "trpic/flash_control.h"

namespace lumora {

using platform::TControlMessage;
using platform::TDispValue;
using platform::TMouseButton;

std::unique_ptr<TExShockwaveFlash> TExShockwaveFlash::Create(platform::IActiveXHost& host,
                                                             platform::IMediaPanel* parent,
                                                             platform::TActiveXFailure& failure) {
  std::unique_ptr<platform::IActiveXControl> control = host.CreateControl(kFlashClassName, parent, failure);
  if (!control) return nullptr;
  return std::make_unique<TExShockwaveFlash>(std::move(control));
}

TExShockwaveFlash::TExShockwaveFlash(std::unique_ptr<platform::IActiveXControl> control)
    : control_(std::move(control)) {
  control_->SetMessageHook([this](TControlMessage message, int x, int y) { return WndProc(message, x, y); });
  control_->SetMessagePass([this](TControlMessage message) { return Passes(message); });
}

bool TExShockwaveFlash::Passes(TControlMessage message) const {
  return (message == TControlMessage::LButtonDown || message == TControlMessage::LButtonUp) && !PreviewMsg;
}

bool TExShockwaveFlash::WndProc(TControlMessage message, int x, int y) {
  const platform::TShiftState shift{};
  const auto down = [&](TMouseButton button) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
    return false;
  };
  const auto up = [&](TMouseButton button) {
    if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
    return false;
  };
  switch (message) {
    case TControlMessage::MouseMove:
      if (OnMouseMove) OnMouseMove(*this, shift, x, y);
      return false;
    case TControlMessage::LButtonDown: return PreviewMsg ? down(TMouseButton::mbLeft) : true;
    case TControlMessage::LButtonUp: return PreviewMsg ? up(TMouseButton::mbLeft) : true;
    case TControlMessage::MButtonDown: return down(TMouseButton::mbMiddle);
    case TControlMessage::MButtonUp: return up(TMouseButton::mbMiddle);
    case TControlMessage::RButtonDown: return down(TMouseButton::mbRight);
    case TControlMessage::RButtonUp: return up(TMouseButton::mbRight);
    case TControlMessage::LButtonDblClk:
      if (OnDblClick) OnDblClick(*this);
      return false;
    case TControlMessage::MButtonDblClk:
    case TControlMessage::RButtonDblClk: return false;
  }
  return true;
}

std::int32_t TExShockwaveFlash::IntegerProperty(std::string_view name) {
  const std::optional<TDispValue> value = control_->GetProperty(name);
  if (value) {
    if (const auto* i = std::get_if<std::int32_t>(&*value)) return *i;
    if (const auto* b = std::get_if<bool>(&*value)) return *b ? -1 : 0;
  }
  throw EOleError("property " + std::string(name) + " cannot be read");
}

void TExShockwaveFlash::Set(std::string_view name, const TDispValue& value) {
  if (!control_->SetProperty(name, value)) throw EOleError("property " + std::string(name) + " cannot be set");
}

void TExShockwaveFlash::Invoke(std::string_view method) {
  if (!control_->Call(method)) throw EOleError("method " + std::string(method) + " failed");
}

std::string TExShockwaveFlash::Movie() {
  const std::optional<TDispValue> value = control_->GetProperty("Movie");
  if (value) {
    if (const auto* s = std::get_if<std::string>(&*value)) return *s;
  }
  throw EOleError("property Movie cannot be read");
}

void TExShockwaveFlash::SetMovie(const std::string& movie) { Set("Movie", TDispValue{movie}); }
void TExShockwaveFlash::SetLoop(bool loop) { Set("Loop", TDispValue{loop}); }
void TExShockwaveFlash::SetScaleMode(std::int32_t mode) { Set("ScaleMode", TDispValue{mode}); }
std::int32_t TExShockwaveFlash::FrameNum() { return IntegerProperty("FrameNum"); }
void TExShockwaveFlash::SetFrameNum(std::int32_t frame) { Set("FrameNum", TDispValue{frame}); }
std::int32_t TExShockwaveFlash::TotalFrames() { return IntegerProperty("TotalFrames"); }
bool TExShockwaveFlash::Playing() { return IntegerProperty("Playing") != 0; }
void TExShockwaveFlash::Play() { Invoke("Play"); }
void TExShockwaveFlash::Rewind() { Invoke("Rewind"); }
void TExShockwaveFlash::StopPlay() { Invoke("StopPlay"); }

}  // namespace lumora
