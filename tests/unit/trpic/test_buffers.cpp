// What the view keeps in memory: one background when the client is as large as the
// screen, and the picture's memory reused by the next picture of the same size.
#include "motion_rig.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumora {
namespace {

using testing::TMotionRig;

TEST(Buffers, AClientOfTheScreensSizeSharesTheScreensBackground) {
  for (const bool asScreen : {true, false}) {
    TMotionRig full({160, 120}, {160, 120});
    full.View.SetAsScreen(asScreen);
    full.View.SetBgSolidColor(0x00336699);
    EXPECT_EQ(full.View.ClientBgBitmap().Pixels().data(), full.View.ScreenBgBitmap().Pixels().data());
    TMotionRig preview({80, 60}, {160, 120});
    preview.View.SetAsScreen(asScreen);
    preview.View.SetBgSolidColor(0x00336699);
    EXPECT_NE(preview.View.ClientBgBitmap().Pixels().data(), preview.View.ScreenBgBitmap().Pixels().data());
    EXPECT_EQ(preview.View.ClientBgBitmap().Width(), 80);
  }
}

TEST(Buffers, APictureOfTheLastOnesSizeReusesItsMemory) {
  TMotionRig rig({120, 80}, {120, 80});
  const TPicture first = testing::PatternPicture(40, 30);
  const TPicture same = testing::SolidPicture(40, 30, 0xFF123456u);
  const TPicture other = testing::PatternPicture(50, 20);
  const TPixel* memory = nullptr;
  // Sent out, then stamped and cleared: either way the next picture of that size
  // lands in the same memory, and is drawn whole.
  for (const bool stamp : {false, true}) {
    rig.ShowAtOnce(first);
    memory = rig.View.PicBitmap().Pixels().data();
    if (stamp) {
      rig.View.StampPic();
      rig.View.ClearPic(true, false);
    } else {
      rig.View.SetShowOutStyle(0);
      rig.View.ShowPic(2);
      rig.Threads.RunUntilIdle();
    }
    ASSERT_TRUE(rig.View.PicBitmap().Empty());
    // Memory the view had given back would go to this block.
    const std::vector<TPixel> meanwhile(40 * 30);
    rig.ShowAtOnce(same);
    EXPECT_EQ(rig.View.PicBitmap().Pixels().data(), memory) << (stamp ? "stamped" : "sent out");
    EXPECT_EQ(rig.View.PicBitmap(), same.Bitmap());
    rig.View.ClearPic(true, false);
  }
  rig.ShowAtOnce(other);
  EXPECT_EQ(rig.View.PicBitmap(), other.Bitmap());
}

// Properties set inside an update draw once, at its end, the same frame as set one by
// one; an update left by a failure still ends.
TEST(Buffers, AnUpdateDrawsOnceAtItsEnd) {
  const auto set = [](TTrPic& view) {
    view.SetBgStyle(TBgStyle::bsGradient);
    view.SetBgGradientFromColor(0x000000FF);
    view.SetBgGradientToColor(0x00FF0000);
    view.SetBgGradientDirection(TDirection::bdLeft);
  };
  TMotionRig each({64, 48}, {64, 48});
  set(each.View);
  TMotionRig batched({64, 48}, {64, 48});
  batched.View.BeginUpdate();
  batched.View.BeginUpdate();
  set(batched.View);
  batched.View.EndUpdate();
  EXPECT_TRUE(batched.Base.Surface.PresentedRects().empty());
  batched.View.EndUpdate();
  EXPECT_FALSE(batched.View.Updating());
  EXPECT_EQ(batched.Base.Surface.PresentedRects().size(), 1u);
  EXPECT_TRUE(testing::SameBitmap("update", each.Base.Surface.Screen(), batched.Base.Surface.Screen()));
}

}  // namespace
}  // namespace lumora
