// The media player on Windows: MCI devices opened by file name (the system picks the
// device from the extension), with completion notifications posted to a message-only
// window of the player's own and handed on from the UI thread's message loop. A video
// device draws into the display window it is given.
#pragma once

#include "platform/media_player.h"

#include <windows.h>

namespace lumora::platform {

class TWin32MediaPlayer final : public IMediaPlayer {
 public:
  // Call on the UI thread: the notification window belongs to the thread that makes it.
  TWin32MediaPlayer();
  ~TWin32MediaPlayer() override;
  TWin32MediaPlayer(const TWin32MediaPlayer&) = delete;
  TWin32MediaPlayer& operator=(const TWin32MediaPlayer&) = delete;

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

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The notification flag and callback of the next command; takes the request.
  DWORD_PTR TakeNotify(DWORD& flags);
  std::optional<DWORD_PTR> Status(DWORD item);

  HWND window_ = nullptr;
  UINT device_ = 0;
  bool notifyNext_ = false;
  std::function<void(TMediaNotifyResult)> onNotify_;
};

}  // namespace lumora::platform
