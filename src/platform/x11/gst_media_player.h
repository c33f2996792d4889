// The show's players on Linux: one medium at a time through GStreamer's playbin, so that
// whatever the installed plugins decode plays. Completions come back to the UI thread
// through the X11 loop, as the system's notifications would. A sound player ignores a
// file's pictures; a video player draws them into a window of ours, scaled to its
// destination.
#pragma once

#include "platform/media_player.h"
#include "platform/x11/x11_loop.h"

#include <memory>

namespace lumora::platform {

enum class TGstMedia { Sound, Video };

class TGstMediaPlayer final : public IMediaPlayer {
 public:
  explicit TGstMediaPlayer(TX11Loop& loop, TGstMedia media = TGstMedia::Sound);
  ~TGstMediaPlayer() override;
  TGstMediaPlayer(const TGstMediaPlayer&) = delete;
  TGstMediaPlayer& operator=(const TGstMediaPlayer&) = delete;

  bool Open(const std::filesystem::path& path) override;
  bool Close() override;
  bool Play() override;
  bool Pause() override;
  // Nothing here steps through frames.
  bool StepBack() override;
  TMediaMode Mode() override;
  std::optional<std::uint32_t> Position() override;
  std::optional<std::uint32_t> Length() override;
  void NotifyNext() override { notifyNext_ = true; }
  void SetOnNotify(std::function<void(TMediaNotifyResult)> onNotify) override { onNotify_ = std::move(onNotify); }

  bool SetDisplayWindow(TWindowHandle window) override;
  std::optional<TSize> DestinationSize() override;
  // Only the size counts: the frames fill the display window from its corner.
  bool SetDestination(const TRect& rect) override;
  bool SetTimeFormatFrames() override;
  bool Rewind() override;

 private:
  struct TState;
  bool TakeNotify();
  // A pending play completion ends because another command came.
  void EndPendingPlay(TMediaNotifyResult result);
  void Notify(TMediaNotifyResult result);
  void Ended(bool failed);
  std::optional<std::uint32_t> Query(bool duration);
  // The window the sink draws into before the show gives it one: never mapped.
  unsigned long ParkingWindow();

  TX11Loop& loop_;
  TGstMedia media_;
  std::shared_ptr<TState> state_;
  unsigned long parking_ = 0;
  bool frames_ = false;
  bool notifyNext_ = false;
  bool playNotifyPending_ = false;
  std::function<void(TMediaNotifyResult)> onNotify_;
};

}  // namespace lumora::platform
