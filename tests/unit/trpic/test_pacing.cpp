// Pacing of the view's workers on the headless clock, and the floating picture shown over
// the frame: the window and the frame agree again once a float ends.
#include "motion_rig.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using testing::TMotionRig;

// The ticks of the next count synchronised calls.
std::vector<std::uint32_t> StepTicks(TMotionRig& rig, int count) {
  std::vector<std::uint32_t> ticks;
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seen = rig.Threads.SynchronizedCalls();
    if (!rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() != seen; })) break;
    ticks.push_back(rig.Threads.TickCount());
  }
  return ticks;
}

TEST(Pacing, StepsFollowAsSoonAsMoreThanTheirSpeedHasPassed) {
  struct TCase {
    bool Float;
    std::uint16_t Speed;
  };
  for (const TCase c : {TCase{false, 1}, TCase{false, 7}, TCase{true, 1}, TCase{true, 12}}) {
    TMotionRig rig({120, 80}, {120, 80});
    const TPicture picture = testing::PatternPicture(40, 30);
    rig.View.SetPicture(&picture);
    if (c.Float) {
      rig.ShowAtOnce(picture);
      rig.View.SetFloatSpeed(c.Speed);
      rig.View.StartFloating();
    } else {
      rig.View.SetShowInStyle(1);
      rig.View.SetShowSpeed(c.Speed);
      rig.View.ShowPic(1);
    }
    const std::vector<std::uint32_t> ticks = StepTicks(rig, 30);
    ASSERT_EQ(ticks.size(), 30u);
    for (std::size_t i = 1; i < ticks.size(); ++i)
      ASSERT_EQ(ticks[i] - ticks[i - 1], c.Speed + 1u) << (c.Float ? "float" : "show-in") << " speed " << c.Speed
                                                        << ", step " << i;
    rig.View.StopFloating();
    rig.View.StopShowing();
  }
}

TEST(Pacing, AfterAFloatTheFrameHoldsWhatTheWindowShows) {
  // Ended by a stop, by CanFloat, and by a show-out (whose region frames present
  // rectangles of the frame that must still hold the picture).
  for (int ending = 0; ending < 3; ++ending) {
    TMotionRig rig({90, 60}, {90, 60});
    rig.View.SetBgGradientToColor(0x00FF8040);
    rig.View.SetBgStyle(TBgStyle::bsGradient);
    const TPicture picture = testing::PatternPicture(30, 20);
    rig.ShowAtOnce(picture);
    rig.View.StartFloating();
    StepTicks(rig, 7);
    const TBitmap32 shown = rig.Base.Surface.Screen();
    if (ending == 0) rig.View.StopFloating();
    if (ending == 1) {
      rig.View.SetCanFloat(false);
      rig.Threads.RunUntilIdle();
    }
    if (ending == 2) {
      rig.View.SetShowOutStyle(45);
      rig.View.ShowPic(2);
    }
    ASSERT_FALSE(rig.View.Floating());
    EXPECT_TRUE(testing::SameBitmap("float_end_window", shown, rig.Base.Surface.Screen())) << "ending " << ending;
    EXPECT_TRUE(testing::SameBitmap("float_end_frame", shown, rig.View.CompositeBitmap())) << "ending " << ending;
    rig.Threads.RunUntilIdle();
    EXPECT_TRUE(testing::SameBitmap("float_end_later", rig.View.CompositeBitmap(), rig.Base.Surface.Screen()));
  }
}

}  // namespace
}  // namespace lumora
