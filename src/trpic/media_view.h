// What the media host needs of the view it plays in: the client's size, the shape
// picture of a shaped item, and a way back for the mouse and the progress.
#pragma once

#include "imaging/picture.h"
#include "platform/surface.h"
#include "trpic/trpic_types.h"

namespace lumora {

class IMediaView {
 public:
  // The view's client size, where the media are placed.
  virtual platform::TSize MediaClientSize() const = 0;
  // The picture a shape file of "&" stands for.
  virtual const TPicture& MediaShapePicture() const = 0;
  // Mouse input of a child control, in the child's coordinates.
  virtual void ForwardMouse(TMouseSource sender, platform::TMouseAction action, platform::TMouseButton button,
                            platform::TShiftState shift, int x, int y) = 0;
  // The progress of the item playing, as the view's OnPlayVideoProgress reports it.
  virtual void MediaProgress(bool complete, int percent) = 0;

 protected:
  ~IMediaView() = default;
};

}  // namespace lumora
