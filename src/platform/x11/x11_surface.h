// The view's window on X11: a window of our own (full-screen or a preview) or one that
// somebody else gives us (a screen-saver framework's window, the root window). Frames
// are presented through a shared-memory image where the server offers it, else through
// a plain image transfer.
#pragma once

#include "platform/surface.h"
#include "platform/x11/x11_loop.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <deque>
#include <memory>
#include <string>

namespace lumora::platform {

// Shared-memory transfers the server may not have read yet, by request serial, oldest
// first. A frame writes the segment at once where none of them reads and waits only for
// those it would overwrite, so that the server draws while the worker keeps its pause.
class TPendingTransfers {
 public:
  // With this many in flight a frame waits too: the window never lags far behind.
  static constexpr std::size_t kMost = 32;
  void Sent(unsigned long serial, const TRect& rect) { pending_.push_back({serial, rect}); }
  // The server has read every transfer up to serial (they complete in order).
  void CompletedUpTo(unsigned long serial);
  void Clear() { pending_.clear(); }
  bool Blocks(const TRect& rect) const;
  std::size_t Count() const { return pending_.size(); }

 private:
  struct TTransfer {
    unsigned long Serial;
    TRect Rect;
  };
  std::deque<TTransfer> pending_;
};

class TX11Surface final : public IWindowSurface {
 public:
  // A window of ours at bounds (root coordinates). fullScreen: no window-manager
  // decoration, above everything; otherwise a normal window titled title. Input events
  // are selected on it. Null when the display's visual is not one we can draw on.
  static std::unique_ptr<TX11Surface> Create(TX11Loop& loop, const TRect& bounds, bool fullScreen,
                                             const std::string& title, TSize screen);
  // Somebody else's window: we draw and follow its size, its input is not ours. An
  // empty screen size: the window is the screen.
  static std::unique_ptr<TX11Surface> Adopt(TX11Loop& loop, Window window, TSize screen);
  ~TX11Surface() override;
  TX11Surface(const TX11Surface&) = delete;
  TX11Surface& operator=(const TX11Surface&) = delete;

  Window Handle() const { return window_; }
  bool Owned() const { return owned_; }
  bool SharedMemory() const { return shm_; }
  // Maps an own window and, for a full-screen one, takes the keyboard and the pointer.
  void Show();
  // Hides or shows the pointer over an own window.
  void SetCursorVisible(bool visible);
  // The hourglass while a medium opens, where the pointer is visible at all.
  void SetWaitCursor(bool waiting);
  // The server's word that it has read a transfer of this surface's segment.
  bool IsOurCompletion(const XEvent& event) const;

  TSize ClientSize() const override { return client_; }
  TSize ScreenSize() const override { return screen_; }
  void Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) override;
  void PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                        const TFrameInset& inset) override;
  void SetClientSize(int width, int height) override;
  void SetDefaultCursor() override;
  void SetEvents(IWindowSurfaceEvents* events) override { events_ = events; }

 private:
  void Show(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption, const TFrameInset* inset);
  TX11Surface(TX11Loop& loop, Window window, bool owned, bool fullScreen, TSize client, TSize screen);
  bool MakeImage();
  void FreeImage();
  // Returns when no transfer in flight reads rect of the segment.
  void WaitForTransfers(const TRect& rect);
  void HandleEvent(const XEvent& event);

  TX11Loop& loop_;
  Display* display_;
  Window window_;
  bool owned_;
  bool fullScreen_;
  TSize client_;
  TSize screen_;
  GC gc_ = nullptr;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  XImage* image_ = nullptr;
  XShmSegmentInfo shmInfo_{};
  bool shm_ = false;
  int completionType_ = -1;
  TPendingTransfers pending_;
  Cursor blank_ = 0;
  Cursor watch_ = 0;
  bool visible_ = true;
  bool waiting_ = false;
  IWindowSurfaceEvents* events_ = nullptr;
};

}  // namespace lumora::platform
