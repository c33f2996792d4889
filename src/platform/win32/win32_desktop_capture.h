// Desktop capture on Windows: a block transfer from the screen's device context.
#pragma once

#include "platform/desktop.h"

namespace lumora::platform {

class TWin32DesktopCapture final : public IDesktopCapture {
 public:
  bool CaptureDesktop(TBitmap32& target, int width, int height) override;
};

}  // namespace lumora::platform
