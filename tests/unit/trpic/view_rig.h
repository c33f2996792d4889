// A picture view on the headless platform, and golden comparisons that save the
// expected and the actual picture as PNG files when they differ.
#pragma once

#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "trpic/trpic.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace lumora::testing {

// The platform pieces first, so that they outlive the view.
struct TViewPlatform {
  TViewPlatform(platform::TSize client, platform::TSize screen) : Surface(client, screen) {}
  platform::THeadlessSurface Surface;
  platform::THeadlessTextRasterizer Text;
  platform::THeadlessDesktopCapture Desktop;
  platform::THeadlessRandom Random;
  platform::THeadlessMessageBox Messages;
  TTrPicPlatform Platform() { return TTrPicPlatform{Surface, Text, Desktop, Random, Messages}; }
};

template <typename TView = TTrPic>
struct TViewRig : TViewPlatform {
  TViewRig(platform::TSize client, platform::TSize screen) : TViewPlatform(client, screen), View(Platform()) {}
  TView View;
};

TPicture SolidPicture(int width, int height, TPixel colour);

// Compares two bitmaps; on a difference, writes <name>_expected.png and <name>_actual.png
// into the test's working folder and names the first differing pixel.
::testing::AssertionResult SameBitmap(const std::string& name, const TBitmap32& expected, const TBitmap32& actual);

std::string PixelText(TPixel p);

}  // namespace lumora::testing
