// A copy of what the desktop shows, for backgrounds made from the screen, and the
// monitors the desktop spans.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"

#include <vector>

namespace lumora::platform {

class IDesktopCapture {
 public:
  virtual ~IDesktopCapture() = default;
  // Makes target width x height and copies the desktop's rectangle (0, 0, width, height)
  // into it, opaque. Parts the desktop does not cover are black. False (target black)
  // when the desktop cannot be read.
  virtual bool CaptureDesktop(TBitmap32& target, int width, int height) = 0;
};

// One monitor of the desktop: its rectangle in screen coordinates (physical pixels for
// a program that declares itself aware of each monitor's resolution).
struct TMonitor {
  TRect Bounds;
  bool Primary = false;
  friend bool operator==(const TMonitor&, const TMonitor&) = default;
};

using TMonitorList = std::vector<TMonitor>;

}  // namespace lumora::platform
