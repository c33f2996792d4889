#include "platform/headless/headless_surface.h"

#include <algorithm>

namespace lumora::platform {
namespace {

constexpr TPixel kBlack = 0xFF000000u;

}  // namespace

THeadlessSurface::THeadlessSurface(TSize client, TSize screen)
    : client_{std::max(client.Width, 0), std::max(client.Height, 0)}, screen_(screen) {}

const TBitmap32& THeadlessSurface::Screen() const {
  // Like a window's buffer, the memory is taken when it is first needed.
  if (shown_.Empty()) shown_.SetSize(client_.Width, client_.Height, kBlack);
  return shown_;
}

void THeadlessSurface::Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) {
  Show(frame, rect, caption, nullptr);
}

void THeadlessSurface::PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                                        const TFrameInset& inset) {
  Show(frame, rect, caption, &inset);
}

void THeadlessSurface::Show(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                            const TFrameInset* inset) {
  const TRect client{0, 0, client_.Width, client_.Height};
  const TRect area = IntersectRect(IntersectRect(rect, client), frame.Bounds());
  if (area.Empty()) return;
  if (shown_.Empty()) {
    // A first present of the whole client writes every pixel itself.
    if (area == client)
      shown_ = TBitmap32(client_.Width, client_.Height, TBitmap32::TUninitialised{});
    else
      shown_.SetSize(client_.Width, client_.Height, kBlack);
  }
  presented_.push_back(area);
  ComposePresented(shown_.Pixels().data(), static_cast<std::size_t>(shown_.Stride()), frame, area, caption, inset);
}

void THeadlessSurface::SetClientSize(int width, int height) { Resize(width, height); }

void THeadlessSurface::Resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == client_.Width && height == client_.Height) return;
  client_ = {width, height};
  if (!shown_.Empty()) shown_.SetSize(width, height, kBlack);
  if (events_ != nullptr) events_->SurfaceResized();
}

void THeadlessSurface::SendPaint() {
  if (events_ != nullptr) events_->SurfacePaint();
}

void THeadlessSurface::SendMouse(TMouseAction action, TMouseButton button, TShiftState shift, int x, int y) {
  if (events_ != nullptr) events_->SurfaceMouse(action, button, shift, x, y);
}

}  // namespace lumora::platform
