#include "show/exit_filter.h"

#include "app/payload.h"
#include "show/show_config.h"

#include <charconv>
#include <cstdlib>

namespace lumora {

using namespace platform;

TExitFilter::TExitFilter(const TExitPlatform& platform, TShowFlags& flags, std::string runMode, THooks hooks)
    : platform_(platform), flags_(flags), runMode_(std::move(runMode)), hooks_(std::move(hooks)) {}

bool TExitFilter::Busy() const {
  bool drawingCaption = false;
  try {
    drawingCaption = hooks_.DrawingCaption && hooks_.DrawingCaption();
  } catch (...) {
  }
  return ExtractionsInProgress() != 0 || flags_.NotifyBusy || flags_.SoundBusy || flags_.Loading ||
         flags_.TickBusy || flags_.ItemBusy || drawingCaption || flags_.ExitPending;
}

void TExitFilter::ExitFilter(const TMessage& message) {
  try {
    if (flags_.ExitRequested) return;
    switch (message.Message) {
      case kWmMouseMove:
        if ((howToExit_ & kExitMouseMove) != 0) {
          if (firstMouseX_ == 0 && firstMouseY_ == 0) {
            firstMouseX_ = message.X;
            firstMouseY_ = message.Y;
            return;
          }
          if (std::abs(message.X - firstMouseX_) >= mouseThreshold_ ||
              std::abs(message.Y - firstMouseY_) >= mouseThreshold_)
            flags_.ExitRequested = true;
        }
        break;
      case kWmLButtonDown:
        if ((howToExit_ & kExitMouseClick) != 0) flags_.ExitRequested = true;
        break;
      case kWmKeyDown:
      case kWmSysKeyDown:
        if ((howToExit_ & kExitAnyKey) != 0)
          flags_.ExitRequested = true;
        else if ((howToExit_ & kExitEscKey) != 0 && message.WParam == kVkEscape)
          flags_.ExitRequested = true;
        break;
      case kWmImeNotify:
        platform_.System.SimulateImeHotKey(hooks_.FormWindow ? hooks_.FormWindow() : 0, kImeHotKeyNonImeToggle);
        break;
      default:
        break;
    }
    if (flags_.ExitRequested) DecideExit();
  } catch (...) {
    // The filter runs inside the message loop; nothing may unwind through it.
  }
}

void TExitFilter::Deactivated() {
  try {
    if (flags_.ExitRequested || runMode_ != "S" || howToExit_ == 0) return;
    flags_.ExitRequested = true;
    DecideExit();
  } catch (...) {
    // Called from the window procedure; nothing may unwind through it.
  }
}

void TExitFilter::DecideExit() {
  platform_.System.ShowCursor(true);
  if (VerifyPassword()) {
    if (!Busy()) {
      if (hooks_.CloseNow) hooks_.CloseNow();
    } else {
      // The busy step finishes the show when it reaches its end; ExitRequested stays
      // set, so no further input is looked at.
      flags_.ExitPending = true;
    }
  } else {
    firstMouseX_ = firstMouseY_ = 0;
    platform_.System.ShowCursor(isShowCursor_);
    flags_.ExitRequested = false;
  }
}

std::int64_t RegistryValueAsInteger(const TRegistryValue& value) {
  switch (value.Kind) {
    case TRegistryValue::TKind::Integer:
      return value.Integer;
    case TRegistryValue::TKind::Text: {
      std::string_view text = value.Text;
      if (!text.empty() && text.front() == '+') text.remove_prefix(1);
      std::int64_t number = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
      if (error != std::errc() || end != text.data() + text.size() || text.empty()) return 0;
      return number;
    }
    case TRegistryValue::TKind::Other:
      return 0;
  }
  return 0;
}

bool TExitFilter::VerifyPassword() {
  const TWindowHandle owner = platform_.System.ForegroundWindow();
  platform_.System.ShowCursor(true);
  // The letter after the switch character: only a full-screen show asks.
  if (runMode_.substr(0, 1) != "S") return true;
  const std::optional<TRegistryValue> usePassword =
      platform_.Registry.ReadCurrentUserValue(kDesktopKey, kUsePasswordValue);
  if (!usePassword || RegistryValueAsInteger(*usePassword) == 0) return true;
  std::string path = platform_.Passwords.SystemDirectory();
  if (path.empty() || path.back() != '\\') path += '\\';
  path += kPasswordLibrary;
  std::unique_ptr<IPasswordLibrary> library = platform_.Passwords.Load(path);
  // Without the library (or its export) the show ends as if the password were given.
  if (!library) return true;
  const std::optional<int> result = library->VerifyScreenSavePwd(owner);
  if (result && *result == 0) {
    platform_.System.ShowCursor(false);
    return false;
  }
  return true;
}

}  // namespace lumora
