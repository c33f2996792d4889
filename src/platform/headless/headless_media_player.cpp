#include "platform/headless/headless_media_player.h"

#include <algorithm>
#include <system_error>

namespace lumora::platform {

THeadlessMediaPlayer::THeadlessMediaPlayer(THeadlessClock& clock) : clock_(clock) {
  Media = [](const std::filesystem::path& path) -> std::optional<TMedium> {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error)) return std::nullopt;
    return TMedium{};
  };
  timer_ = clock_.CreateTimer([this] { Deliver(); });
}

THeadlessMediaPlayer::~THeadlessMediaPlayer() = default;

void THeadlessMediaPlayer::Update() {
  if (!open_ || mode_ != TMediaMode::Playing || medium_.Stalls) return;
  const std::uint64_t reached = position_ + (clock_.Now() - playStart_);
  playStart_ = clock_.Now();
  position_ = std::min<std::uint64_t>(reached, medium_.Length);
  if (position_ >= medium_.Length && !medium_.NeverEnds) mode_ = TMediaMode::Stopped;
}

bool THeadlessMediaPlayer::Record(std::string line, bool ok) {
  const bool notify = notifyNext_;
  notifyNext_ = false;
  Calls.push_back(line + (notify ? "+" : "") + (ok ? "" : "!"));
  return notify && ok;
}

void THeadlessMediaPlayer::Post(std::uint64_t due, TMediaNotifyResult result, bool isPlay) {
  auto at = std::find_if(pending_.begin(), pending_.end(), [due](const TPending& p) { return p.Due > due; });
  pending_.insert(at, TPending{due, result, isPlay});
  ArmTimer();
}

void THeadlessMediaPlayer::EndPendingPlay(TMediaNotifyResult result) {
  // A play that has reached its end already posted its success; one still running is
  // answered now.
  auto play = std::find_if(pending_.begin(), pending_.end(), [](const TPending& p) { return p.IsPlay; });
  if (play == pending_.end() || play->Due <= clock_.Now()) return;
  pending_.erase(play);
  Post(clock_.Now(), result, false);
}

void THeadlessMediaPlayer::ArmTimer() {
  timer_->SetEnabled(false);
  if (pending_.empty()) return;
  const std::uint64_t now = clock_.Now();
  const std::uint64_t due = pending_.front().Due;
  timer_->SetInterval(static_cast<std::uint32_t>(due > now ? due - now : 0));
  timer_->SetEnabled(true);
}

void THeadlessMediaPlayer::Deliver() {
  // One notification per firing, as one message per dispatch; the handler may pump.
  if (pending_.empty() || pending_.front().Due > clock_.Now()) {
    ArmTimer();
    return;
  }
  const TPending next = pending_.front();
  pending_.pop_front();
  ArmTimer();
  ++Notifications;
  if (onNotify_) onNotify_(next.Result);
}

bool THeadlessMediaPlayer::Open(const std::filesystem::path& path) {
  std::optional<TMedium> medium;
  if (!open_ && Media) medium = Media(path);
  const bool notify = Record("Open " + path.filename().string(), medium.has_value());
  if (!medium) return false;
  open_ = true;
  path_ = path;
  medium_ = *medium;
  mode_ = TMediaMode::Stopped;
  position_ = 0;
  frames_ = false;
  destination_ = TRect{0, 0, medium_.Width, medium_.Height};
  if (notify) Post(clock_.Now(), TMediaNotifyResult::Successful, false);
  return true;
}

bool THeadlessMediaPlayer::Close() {
  const bool wanted = notifyNext_;
  const bool notify = Record("Close", open_);
  if (!open_) return false;
  Update();
  EndPendingPlay(wanted ? TMediaNotifyResult::Superseded : TMediaNotifyResult::Aborted);
  open_ = false;
  mode_ = TMediaMode::Other;
  path_.clear();
  if (notify) Post(clock_.Now(), TMediaNotifyResult::Successful, false);
  return true;
}

bool THeadlessMediaPlayer::Play() {
  Update();
  const bool ok = open_ && !medium_.PlayFails;
  const bool wanted = notifyNext_;
  const bool notify = Record("Play", ok);
  if (!ok) return false;
  EndPendingPlay(wanted ? TMediaNotifyResult::Superseded : TMediaNotifyResult::Aborted);
  if (position_ >= medium_.Length) position_ = 0;
  mode_ = TMediaMode::Playing;
  playStart_ = clock_.Now();
  Played.push_back(path_);
  if (medium_.FailsWhilePlaying) {
    mode_ = TMediaMode::Stopped;
    if (notify) Post(clock_.Now(), TMediaNotifyResult::Failure, true);
    return true;
  }
  if (medium_.EndsAtOnce) {
    mode_ = TMediaMode::Stopped;
    position_ = medium_.Length;
    if (notify) Post(clock_.Now(), TMediaNotifyResult::Successful, true);
    return true;
  }
  if (medium_.Stalls || medium_.NeverEnds) return true;
  if (notify) Post(clock_.Now() + (medium_.Length - position_), TMediaNotifyResult::Successful, true);
  return true;
}

bool THeadlessMediaPlayer::Pause() {
  Update();
  const bool wanted = notifyNext_;
  const bool notify = Record("Pause", open_);
  if (!open_) return false;
  if (mode_ == TMediaMode::Playing) {
    mode_ = TMediaMode::Paused;
    EndPendingPlay(wanted ? TMediaNotifyResult::Superseded : TMediaNotifyResult::Aborted);
  }
  if (notify) Post(clock_.Now(), TMediaNotifyResult::Successful, false);
  return true;
}

bool THeadlessMediaPlayer::StepBack() {
  // Sounds have no frames to step through.
  Record("StepBack", false);
  return false;
}

TMediaMode THeadlessMediaPlayer::Mode() {
  Update();
  return open_ ? mode_ : TMediaMode::Other;
}

std::optional<std::uint32_t> THeadlessMediaPlayer::Position() {
  Update();
  if (!open_) return std::nullopt;
  if (frames_) {
    if (medium_.Length == 0) return 0u;
    std::uint64_t frame = position_ * medium_.Frames / medium_.Length;
    if (medium_.StopsOnLastFrame && medium_.Frames > 0) frame = std::min<std::uint64_t>(frame, medium_.Frames - 1);
    return static_cast<std::uint32_t>(frame);
  }
  return static_cast<std::uint32_t>(position_);
}

std::optional<std::uint32_t> THeadlessMediaPlayer::Length() {
  if (!open_) return std::nullopt;
  return frames_ ? medium_.Frames : medium_.Length;
}

bool THeadlessMediaPlayer::SetDisplayWindow(TWindowHandle window) {
  const bool ok = open_ && medium_.Video;
  Record("Window " + std::to_string(window), ok);
  if (ok) display_ = window;
  return ok;
}

std::optional<TSize> THeadlessMediaPlayer::DestinationSize() {
  if (!open_ || !medium_.Video) return std::nullopt;
  return TSize{destination_.Width(), destination_.Height()};
}

bool THeadlessMediaPlayer::SetDestination(const TRect& rect) {
  const bool ok = open_ && medium_.Video;
  Record("Put " + std::to_string(rect.Left) + "," + std::to_string(rect.Top) + "," + std::to_string(rect.Width()) +
             "x" + std::to_string(rect.Height()),
         ok);
  if (ok) destination_ = rect;
  return ok;
}

bool THeadlessMediaPlayer::SetTimeFormatFrames() {
  const bool ok = open_ && medium_.Video;
  Record("Frames", ok);
  if (ok) frames_ = true;
  return ok;
}

bool THeadlessMediaPlayer::Rewind() {
  Update();
  const bool wanted = notifyNext_;
  const bool notify = Record("Rewind", open_);
  if (!open_) return false;
  EndPendingPlay(wanted ? TMediaNotifyResult::Superseded : TMediaNotifyResult::Aborted);
  if (mode_ == TMediaMode::Playing) mode_ = TMediaMode::Stopped;
  position_ = 0;
  if (notify) Post(clock_.Now(), TMediaNotifyResult::Successful, false);
  return true;
}

}  // namespace lumora::platform
