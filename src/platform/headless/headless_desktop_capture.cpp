#include "platform/headless/headless_desktop_capture.h"

#include <algorithm>

namespace lumora::platform {

bool THeadlessDesktopCapture::CaptureDesktop(TBitmap32& target, int width, int height) {
  ++captures_;
  target = TBitmap32(std::max(width, 0), std::max(height, 0), 0xFF000000u);
  target.CopyRect(0, 0, picture_, picture_.Bounds());
  for (TPixel& p : target.Pixels()) p |= 0xFF000000u;
  return true;
}

}  // namespace lumora::platform
