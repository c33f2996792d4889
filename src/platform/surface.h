// The window a view draws on: its client and screen sizes, presenting a rectangle of an
// off-screen frame, and the caption layer shown above the frame.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>

namespace lumora::platform {

struct TSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// A layer of solid colour above the frame, cut to a set of rectangles (client
// coordinates, half-open). The caption is such a layer: it is drawn over the frame when
// presenting and never written into it.
struct TCaptionLayer {
  std::span<const TRect> Rects;
  TPixel Colour = 0xFF000000u;
};

// A picture shown over part of the frame while presenting, without being written into
// the frame: its top-left corner lies at Origin (client coordinates) and it shows only
// within Clip. The floating motion moves the picture this way, one copy a step.
struct TFrameInset {
  const TBitmap32* Picture = nullptr;
  TPoint Origin{};
  TRect Clip{};
};

// Writes area (client coordinates, inside frame and destination) of the frame, with the
// inset over it and the caption layer above both, into a client-sized destination whose
// row y starts at dst + y * stride. Each pixel is written once.
inline void ComposePresented(TPixel* dst, std::size_t stride, const TBitmap32& frame, const TRect& area,
                             const TCaptionLayer& caption, const TFrameInset* inset) {
  TRect over{};
  if (inset != nullptr && inset->Picture != nullptr) {
    const TBitmap32& p = *inset->Picture;
    over = IntersectRect(IntersectRect(inset->Clip, area),
                         TRect{inset->Origin.X, inset->Origin.Y, inset->Origin.X + p.Width(), inset->Origin.Y + p.Height()});
  }
  const auto copy = [](TPixel* to, const TPixel* from, int n) {
    if (n > 0) std::memcpy(to, from, static_cast<std::size_t>(n) * sizeof(TPixel));
  };
  for (int y = area.Top; y < area.Bottom; ++y) {
    TPixel* out = dst + static_cast<std::size_t>(y) * stride;
    const TPixel* in = frame.Row(y);
    if (over.Empty() || y < over.Top || y >= over.Bottom) {
      copy(out + area.Left, in + area.Left, area.Width());
      continue;
    }
    copy(out + area.Left, in + area.Left, over.Left - area.Left);
    copy(out + over.Left, inset->Picture->Row(y - inset->Origin.Y) + (over.Left - inset->Origin.X), over.Width());
    copy(out + over.Right, in + over.Right, area.Right - over.Right);
  }
  for (const TRect& r : caption.Rects) {
    const TRect part = IntersectRect(r, area);
    for (int y = part.Top; y < part.Bottom; ++y)
      std::fill_n(dst + static_cast<std::size_t>(y) * stride + part.Left, part.Width(), caption.Colour);
  }
}

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

struct TShiftState {
  bool Shift = false;
  bool Ctrl = false;
  bool Alt = false;
  bool Left = false;
  bool Right = false;
  bool Middle = false;
  friend bool operator==(const TShiftState&, const TShiftState&) = default;
};

enum class TMouseAction { Down, Move, Up };

// What the window tells the view about; the calls arrive on the UI thread and never
// throw back into the backend.
class IWindowSurfaceEvents {
 public:
  virtual ~IWindowSurfaceEvents() = default;
  // The window needs its content again (the paint message).
  virtual void SurfacePaint() = 0;
  // The client area has a new size (ClientSize already reports it).
  virtual void SurfaceResized() = 0;
  // Mouse input in client coordinates.
  virtual void SurfaceMouse(TMouseAction action, TMouseButton button, TShiftState shift, int x, int y) = 0;
};

class IWindowSurface {
 public:
  virtual ~IWindowSurface() = default;
  virtual TSize ClientSize() const = 0;
  // The physical screen the window lives on.
  virtual TSize ScreenSize() const = 0;
  // Shows rect (client coordinates) of frame, a client-sized bitmap, with the caption
  // layer above it, in one transfer. Parts of rect outside frame or the client are ignored.
  virtual void Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) = 0;
  // The same with inset shown over the frame (inside rect, within its clip).
  virtual void PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                                const TFrameInset& inset) = 0;
  // Asks for a new client size (the view's AutoSize); the surface reports the change
  // through SurfaceResized when it happens.
  virtual void SetClientSize(int width, int height) = 0;
  // The default arrow cursor over the window.
  virtual void SetDefaultCursor() = 0;
  // Whom to tell about paint, size and mouse messages; null for nobody.
  virtual void SetEvents(IWindowSurfaceEvents* events) = 0;
};

}  // namespace lumora::platform
