// A scripted media player on the virtual clock: media have lengths, playing moves the
// position with the clock, every command is recorded, and completion notifications are
// delivered by a timer of the clock, as a message loop would deliver them.
#pragma once

#include "platform/headless/headless_clock.h"
#include "platform/media_player.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessMediaPlayer final : public IMediaPlayer {
 public:
  struct TMedium {
    std::uint32_t Length = 1000;  // milliseconds
    bool PlayFails = false;
    // A video: its native size and its number of frames, spread evenly over Length.
    bool Video = false;
    int Width = 0;
    int Height = 0;
    std::uint32_t Frames = 0;
    // The position in frames ends on the last frame, one short of the length, as some
    // video devices report it.
    bool StopsOnLastFrame = false;
    // The play starts and the device ends it at once with a failure (a sound device
    // that refuses the stream).
    bool FailsWhilePlaying = false;
    // A device that does not pace its writes: the play ends at once, successfully, with
    // the position at the end.
    bool EndsAtOnce = false;
    // A device that takes the play and holds it: playing, the position never moves, and
    // the play never ends.
    bool Stalls = false;
    // Plays to its length and then goes on playing: the play never ends.
    bool NeverEnds = false;
  };
  // The medium a path opens as; nullopt: the open fails. Default: every existing file is a
  // 1000 ms medium.
  std::function<std::optional<TMedium>(const std::filesystem::path&)> Media;

  // One line per command, "+" appended when it asked for notification, "!" when refused:
  // "Open tmp1.wav+", "Play+", "Close!", "Pause", "StepBack+!".
  std::vector<std::string> Calls;
  // Every medium that started to play, by full path, in order (a resume counts as well).
  std::vector<std::filesystem::path> Played;
  // Notifications delivered so far.
  int Notifications = 0;

  explicit THeadlessMediaPlayer(THeadlessClock& clock);
  ~THeadlessMediaPlayer() override;

  bool Open(const std::filesystem::path& path) override;
  bool Close() override;
  bool Play() override;
  bool Pause() override;
  bool StepBack() override;
  TMediaMode Mode() override;
  std::optional<std::uint32_t> Position() override;
  std::optional<std::uint32_t> Length() override;
  bool SetDisplayWindow(TWindowHandle window) override;
  std::optional<TSize> DestinationSize() override;
  bool SetDestination(const TRect& rect) override;
  bool SetTimeFormatFrames() override;
  bool Rewind() override;
  void NotifyNext() override { notifyNext_ = true; }
  void SetOnNotify(std::function<void(TMediaNotifyResult)> onNotify) override { onNotify_ = std::move(onNotify); }

  bool IsOpen() const { return open_; }
  TWindowHandle DisplayWindow() const { return display_; }
  const TRect& Destination() const { return destination_; }
  const std::filesystem::path& FileName() const { return path_; }

 private:
  struct TPending {
    std::uint64_t Due;
    TMediaNotifyResult Result;
    bool IsPlay;
  };
  // Brings position and mode up to the clock.
  void Update();
  // Records a command; returns whether it notifies (and takes the request).
  bool Record(std::string line, bool ok);
  // A play's notification is answered when the play ends, is interrupted or replaced.
  void EndPendingPlay(TMediaNotifyResult result);
  void Post(std::uint64_t due, TMediaNotifyResult result, bool isPlay);
  void ArmTimer();
  void Deliver();

  THeadlessClock& clock_;
  std::unique_ptr<ITimer> timer_;
  std::function<void(TMediaNotifyResult)> onNotify_;
  bool notifyNext_ = false;
  bool open_ = false;
  std::filesystem::path path_;
  TMedium medium_;
  TMediaMode mode_ = TMediaMode::Other;
  std::uint64_t position_ = 0;
  std::uint64_t playStart_ = 0;  // clock time at which playing reached position_
  std::deque<TPending> pending_;
  bool frames_ = false;
  TWindowHandle display_ = 0;
  TRect destination_{};
};

}  // namespace lumora::platform
