// The view's window on Windows: frames are presented from a DIB section with one block
// transfer per change, with the caption layer filled in on the way; paint, size and
// mouse messages go to the view.
#pragma once

#include "platform/surface.h"

#include <windows.h>

#include <memory>

namespace lumora::platform {

class TWin32ViewWindow final : public IWindowSurface {
 public:
  // A child window of parent covering bounds (client coordinates of the parent); without
  // a parent, a top-level window with the given title.
  static std::unique_ptr<TWin32ViewWindow> Create(HWND parent, const RECT& bounds, const wchar_t* title = L"");
  ~TWin32ViewWindow() override;
  TWin32ViewWindow(const TWin32ViewWindow&) = delete;
  TWin32ViewWindow& operator=(const TWin32ViewWindow&) = delete;

  HWND Handle() const { return hwnd_; }

  TSize ClientSize() const override;
  TSize ScreenSize() const override;
  void Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) override;
  void PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                        const TFrameInset& inset) override;
  void SetClientSize(int width, int height) override;
  void SetDefaultCursor() override;
  void SetEvents(IWindowSurfaceEvents* events) override { events_ = events; }

 private:
  TWin32ViewWindow() = default;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool EnsureBuffer(int width, int height);
  void FreeBuffer();
  void Blit(HDC dc, const RECT& rect);
  void Show(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption, const TFrameInset* inset);

  HWND hwnd_ = nullptr;
  HDC memoryDc_ = nullptr;
  HBITMAP section_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::uint32_t* bits_ = nullptr;
  int bufferWidth_ = 0;
  int bufferHeight_ = 0;
  IWindowSurfaceEvents* events_ = nullptr;
  HDC paintDc_ = nullptr;  // set while the paint message is handled
  bool presentedInPaint_ = false;
};

}  // namespace lumora::platform
