// The show's player on Linux: one medium at a time through GStreamer's playbin, so that
// whatever the installed plugins decode plays. Completions come back to the UI thread
// through the X11 loop, as the system's notifications would.
#pragma once

#include "platform/media_player.h"
#include "platform/x11/x11_loop.h"

#include <memory>

namespace lumora::platform {

class TGstMediaPlayer final : public IMediaPlayer {
 public:
  explicit TGstMediaPlayer(TX11Loop& loop);
  ~TGstMediaPlayer() override;
  TGstMediaPlayer(const TGstMediaPlayer&) = delete;
  TGstMediaPlayer& operator=(const TGstMediaPlayer&) = delete;

  bool Open(const std::filesystem::path& path) override;
  bool Close() override;
  bool Play() override;
  bool Pause() override;
  // Sounds have no frames to step through.
  bool StepBack() override;
  TMediaMode Mode() override;
  std::optional<std::uint32_t> Position() override;
  std::optional<std::uint32_t> Length() override;
  void NotifyNext() override { notifyNext_ = true; }
  void SetOnNotify(std::function<void(TMediaNotifyResult)> onNotify) override { onNotify_ = std::move(onNotify); }

 private:
  struct TState;
  bool TakeNotify();
  // A pending play completion ends because another command came.
  void EndPendingPlay(TMediaNotifyResult result);
  void Notify(TMediaNotifyResult result);
  void Ended(bool failed);

  TX11Loop& loop_;
  std::shared_ptr<TState> state_;
  bool notifyNext_ = false;
  bool playNotifyPending_ = false;
  std::function<void(TMediaNotifyResult)> onNotify_;
};

}  // namespace lumora::platform
