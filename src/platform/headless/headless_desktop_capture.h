// The headless desktop: a scripted picture stands for what the screen shows.
#pragma once

#include "platform/desktop.h"

namespace lumora::platform {

class THeadlessDesktopCapture final : public IDesktopCapture {
 public:
  // The desktop's picture, its top-left corner at the screen's; black beyond it.
  void SetPicture(TBitmap32 picture) { picture_ = std::move(picture); }
  const TBitmap32& Picture() const { return picture_; }
  int CaptureCount() const { return captures_; }

  bool CaptureDesktop(TBitmap32& target, int width, int height) override;

 private:
  TBitmap32 picture_;
  int captures_ = 0;
};

}  // namespace lumora::platform
