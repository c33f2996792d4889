// A copy of what the desktop shows, for backgrounds made from the screen.
#pragma once

#include "imaging/bitmap32.h"

namespace lumora::platform {

class IDesktopCapture {
 public:
  virtual ~IDesktopCapture() = default;
  // Makes target width x height and copies the desktop's rectangle (0, 0, width, height)
  // into it, opaque. Parts the desktop does not cover are black. False (target black)
  // when the desktop cannot be read.
  virtual bool CaptureDesktop(TBitmap32& target, int width, int height) = 0;
};

}  // namespace lumora::platform
