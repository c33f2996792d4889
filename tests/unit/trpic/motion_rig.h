// A picture view whose transitions and floating run on the headless thread host, and
// pictures whose every pixel differs from its neighbours.
#pragma once

#include "platform/headless/headless_threads.h"
#include "view_rig.h"

#include <memory>
#include <string>
#include <vector>

namespace lumora::testing {

struct TMotionRig {
  TMotionRig(platform::TSize client, platform::TSize screen) : Base(client, screen), View(Platform()) {}
  TTrPicPlatform Platform() {
    TTrPicPlatform p = Base.Platform();
    p.Threads = &Threads;
    return p;
  }
  // Shows picture at once (style 0) and lets the show-in end.
  void ShowAtOnce(const TPicture& picture) {
    View.SetPicture(&picture);
    View.SetShowInStyle(0);
    View.ShowPic(1);
    Threads.RunUntilIdle();
  }
  // Records the view's transition events by name.
  void RecordEvents() {
    View.OnShowInBegin = [this](TCustomTrPic&) { Events.push_back("InBegin"); };
    View.OnShowInComplete = [this](TCustomTrPic&) { Events.push_back("InComplete"); };
    View.OnShowOutBegin = [this](TCustomTrPic&) { Events.push_back("OutBegin"); };
    View.OnShowOutComplete = [this](TCustomTrPic&) { Events.push_back("OutComplete"); };
  }

  platform::THeadlessThreadHost Threads;
  TViewPlatform Base;
  TTrPic View;
  std::vector<std::string> Events;
};

// Opaque pixels that differ from each other and from black and white.
inline TPicture PatternPicture(int width, int height) {
  TPicture picture;
  picture.Bitmap() = TBitmap32(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.Bitmap().At(x, y) = MakePixel(static_cast<std::uint8_t>(x * 7 + 1), static_cast<std::uint8_t>(y * 5 + 1),
                                            static_cast<std::uint8_t>(0x80 | ((x + y) & 0x3F)));
  return picture;
}

}  // namespace lumora::testing
