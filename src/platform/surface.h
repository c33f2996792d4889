// The window a view draws on: its client and screen sizes, presenting a rectangle of an
// off-screen frame, and the caption layer shown above the frame.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"

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
  // Asks for a new client size (the view's AutoSize); the surface reports the change
  // through SurfaceResized when it happens.
  virtual void SetClientSize(int width, int height) = 0;
  // The default arrow cursor over the window.
  virtual void SetDefaultCursor() = 0;
  // Whom to tell about paint, size and mouse messages; null for nobody.
  virtual void SetEvents(IWindowSurfaceEvents* events) = 0;
};

}  // namespace lumora::platform
