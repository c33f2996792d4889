#include "platform/headless/headless_activex.h"

#include <algorithm>

namespace lumora::platform {

namespace {

std::string Text(const TDispValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "1" : "0";
  if (const auto* i = std::get_if<std::int32_t>(&value)) return std::to_string(*i);
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  return "";
}

std::optional<std::int64_t> Integer(const TDispValue& value) {
  if (const auto* i = std::get_if<std::int32_t>(&value)) return *i;
  if (const auto* b = std::get_if<bool>(&value)) return *b ? -1 : 0;
  return std::nullopt;
}

}  // namespace

THeadlessActiveXControl::THeadlessActiveXControl(THeadlessActiveXHost& host, IMediaPanel* parent)
    : host_(host), parent_(parent) {
  host_.Controls.push_back(this);
}

THeadlessActiveXControl::~THeadlessActiveXControl() {
  Log("Destroy");
  std::erase(host_.Controls, this);
}

void THeadlessActiveXControl::Log(std::string line) { host_.Calls.push_back(std::move(line)); }

void THeadlessActiveXControl::Update() {
  if (!playing_) return;
  const bool stopping = stopAt_ && host_.Clock.Now() >= *stopAt_;
  const std::int64_t interval = std::max<std::uint32_t>(host_.FrameInterval, 1);
  const std::int64_t frame = startFrame_ + std::int64_t(host_.Clock.Now() - playStart_) / interval;
  const std::int64_t last = std::max<std::int64_t>(totalFrames_ - 1, 0);
  if (stopping) stopAt_.reset();
  if (frame < last) {
    frame_ = frame;
    if (stopping) playing_ = false;
    return;
  }
  // Without Loop the movie holds its last frame and stops.
  const auto loop = properties_.find("Loop");
  if (loop != properties_.end() && Integer(loop->second).value_or(0) != 0 && totalFrames_ > 0) {
    frame_ = frame % totalFrames_;
    if (stopping) playing_ = false;
    return;
  }
  frame_ = last;
  playing_ = false;
}

std::optional<TDispValue> THeadlessActiveXControl::GetProperty(std::string_view name) {
  Log("Get " + std::string(name));
  if (Gone) return std::nullopt;
  Update();
  if (name == "Movie") return TDispValue{movie_};
  if (name == "FrameNum") return TDispValue{std::int32_t(frame_)};
  if (name == "TotalFrames") return TDispValue{totalFrames_};
  if (name == "Playing") return TDispValue{playing_};
  const auto it = properties_.find(name);
  if (it == properties_.end()) return std::nullopt;
  return it->second;
}

bool THeadlessActiveXControl::SetProperty(std::string_view name, const TDispValue& value) {
  Log("Set " + std::string(name) + "=" + Text(value));
  if (Gone) return false;
  Update();
  if (name == "Movie") {
    movie_ = Text(value);
    // A blank name unloads the movie.
    const bool blank = movie_.find_first_not_of(' ') == std::string::npos;
    totalFrames_ = blank ? 0 : host_.TotalFramesOf ? host_.TotalFramesOf(movie_) : 100;
    frame_ = 0;
    playing_ = false;
    stopAt_.reset();
    return true;
  }
  if (name == "FrameNum") {
    const std::optional<std::int64_t> frame = Integer(value);
    if (!frame || *frame < 0 || *frame >= totalFrames_) return false;
    frame_ = *frame;
    startFrame_ = frame_;
    playStart_ = host_.Clock.Now();
    return true;
  }
  if (name == "TotalFrames" || name == "Playing") return false;  // read-only
  properties_[std::string(name)] = value;
  return true;
}

bool THeadlessActiveXControl::Call(std::string_view method) {
  Log("Call " + std::string(method));
  if (Gone) return false;
  Update();
  if (method == "Play") {
    if (totalFrames_ > 0) {
      playing_ = true;
      stopAt_.reset();
      startFrame_ = frame_;
      playStart_ = host_.Clock.Now();
    }
    return true;
  }
  if (method == "StopPlay") {
    if (host_.StopDelay == 0)
      playing_ = false;
    else if (playing_ && !stopAt_)
      stopAt_ = host_.Clock.Now() + host_.StopDelay;
    return true;
  }
  if (method == "Rewind") {
    playing_ = false;
    stopAt_.reset();
    frame_ = 0;
    return true;
  }
  return false;
}

void THeadlessActiveXControl::SetBounds(const TRect& bounds) {
  bounds_ = bounds;
  Log("Bounds " + std::to_string(bounds.Left) + " " + std::to_string(bounds.Top) + " " + std::to_string(bounds.Right) +
      " " + std::to_string(bounds.Bottom));
}

void THeadlessActiveXControl::SetVisible(bool visible) {
  visible_ = visible;
  Log(std::string("Visible ") + (visible ? "1" : "0"));
}

bool THeadlessActiveXControl::Deliver(TControlMessage message, int x, int y) {
  if (hook_ && !hook_(message, x, y)) return false;
  Received.push_back(message);
  return true;
}

std::unique_ptr<IActiveXControl> THeadlessActiveXHost::CreateControl(std::string_view className, IMediaPanel* parent,
                                                                     TActiveXFailure& failure) {
  if (CreationFails || !Registered.contains(className)) {
    failure = CreationFails ? TActiveXFailure::OtherFailure : TActiveXFailure::ClassNotRegistered;
    Calls.push_back("Create! " + std::string(className));
    return nullptr;
  }
  failure = TActiveXFailure::NoFailure;
  Calls.push_back("Create " + std::string(className) + " " + std::to_string(parent ? parent->Handle() : 0));
  ++Created;
  return std::make_unique<THeadlessActiveXControl>(*this, parent);
}

THeadlessActiveXHost::~THeadlessActiveXHost() {
  for (const std::filesystem::path& file : files_) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
}

void THeadlessActiveXHost::UseControlFile(std::string_view className, std::string_view classId,
                                          const std::filesystem::path& file) {
  ControlFiles.push_back(std::string(className) + " " + std::string(classId) + " " + file.string());
  files_.push_back(file);
  Registered.insert(std::string(className));
}

}  // namespace lumora::platform
