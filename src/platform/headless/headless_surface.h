// The headless window: an in-memory client area that keeps what was presented, a
// screen of a chosen size, and scripted paint, size and mouse messages.
#pragma once

#include "platform/surface.h"

#include <vector>

namespace lumora::platform {

class THeadlessSurface final : public IWindowSurface {
 public:
  THeadlessSurface(TSize client, TSize screen);

  TSize ClientSize() const override { return client_; }
  TSize ScreenSize() const override { return screen_; }
  void Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) override;
  void PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                        const TFrameInset& inset) override;
  void SetClientSize(int width, int height) override;
  void SetDefaultCursor() override { ++defaultCursorCount_; }
  void SetEvents(IWindowSurfaceEvents* events) override { events_ = events; }

  // What the window shows: every presented rectangle with the caption layer over it.
  // Black where nothing was presented yet.
  const TBitmap32& Screen() const;
  // The rectangles presented so far, in order (clipped to the client).
  const std::vector<TRect>& PresentedRects() const { return presented_; }
  void ForgetPresentedRects() { presented_.clear(); }
  int DefaultCursorCount() const { return defaultCursorCount_; }

  // Scripted messages.
  void Resize(int width, int height);  // new client size, then the size message
  void SendPaint();
  void SendMouse(TMouseAction action, TMouseButton button, TShiftState shift, int x, int y);

 private:
  TSize client_;
  TSize screen_;
  mutable TBitmap32 shown_;
  std::vector<TRect> presented_;
  void Show(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption, const TFrameInset* inset);

  IWindowSurfaceEvents* events_ = nullptr;
  int defaultCursorCount_ = 0;
};

}  // namespace lumora::platform
