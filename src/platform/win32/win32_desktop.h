// Desktop capture on Windows: a block transfer from the screen's device context.
#pragma once

#include "platform/desktop.h"
#include "platform/random.h"

namespace lumora::platform {

class TWin32DesktopCapture final : public IDesktopCapture {
 public:
  bool CaptureDesktop(TBitmap32& target, int width, int height) override;
};

// Random numbers seeded from the tick counters.
class TWin32Random final : public IRandom {
 public:
  void Randomize() override;
  int Random(int n) override;

 private:
  unsigned seed_ = 0;
};

}  // namespace lumora::platform
