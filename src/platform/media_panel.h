// Native child windows inside the view, for the media that need a window of their own
// (a video's display, a movie control, the frame drawn around a shaped medium). All
// other drawing is the view's own frame; these windows exist only where a native
// player must draw by itself.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"
#include "platform/surface.h"
#include "platform/window_handle.h"

#include <functional>
#include <memory>

namespace lumora::platform {

class IMediaPanel {
 public:
  virtual ~IMediaPanel() = default;
  // The system's handle, for a player that draws into the panel.
  virtual TWindowHandle Handle() const = 0;
  // Bounds in the parent's client coordinates (half-open).
  virtual void SetBounds(const TRect& bounds) = 0;
  virtual TRect Bounds() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
  // The window region in the panel's own coordinates; null: the whole rectangle again.
  virtual void SetRegion(const TRegion* region) = 0;
  // A picture drawn at the panel's top-left corner, unscaled, over its black; null: black only.
  virtual void SetImage(const TBitmap32* image) = 0;
  // Below its siblings (a frame image under the player's window, the media under the
  // view's other children).
  virtual void SendToBack() = 0;
  // Mouse input in the panel's coordinates; the view forwards it as its own.
  virtual void SetOnMouse(std::function<void(TMouseAction, TMouseButton, TShiftState, int, int)> onMouse) = 0;
};

class IMediaPanels {
 public:
  virtual ~IMediaPanels() = default;
  // A new panel, hidden, black, at (0, 0) with size 1 x 1; parent null: a child of the view.
  virtual std::unique_ptr<IMediaPanel> CreatePanel(IMediaPanel* parent) = 0;
  // The hourglass over the screen while a medium opens; false: the default cursor again.
  virtual void SetWaitCursor(bool waiting) = 0;
};

}  // namespace lumora::platform
