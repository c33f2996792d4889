// Floating motion on the headless scheduler: the direction rules at the edges, the lines
// restored behind the picture, stopping, and the wait behind a show-in.
#include "motion_rig.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using testing::TMotionRig;

// Runs until the float worker has made one more step; returns the new top-left corner.
TPoint OneStep(TMotionRig& rig) {
  const std::uint64_t calls = rig.Threads.SynchronizedCalls();
  EXPECT_TRUE(rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() > calls; }));
  return TPoint{rig.View.PicRect().Left, rig.View.PicRect().Top};
}

TEST(Floating, TopLeftGoesDownRightAndRestoresTheLinesItLeaves) {
  TMotionRig rig({60, 40}, {60, 40});
  rig.View.SetBgSolidColor(0x00203040);
  rig.View.SetPicPos(TPicPos::poTopLeft);
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.ShowAtOnce(picture);
  const TPixel background = rig.Base.Surface.Screen().At(59, 39);
  rig.View.StartFloating();
  EXPECT_TRUE(rig.View.Floating());
  EXPECT_EQ(OneStep(rig), (TPoint{1, 1}));
  EXPECT_EQ(rig.View.FloatDir(), 7);
  const TBitmap32& screen = rig.Base.Surface.Screen();
  for (int x = 0; x < 20; ++x) EXPECT_EQ(screen.At(x, 0), background) << "top row restored";
  for (int y = 0; y < 10; ++y) EXPECT_EQ(screen.At(0, y), background) << "left column restored";
  EXPECT_EQ(screen.At(1, 1), picture.Bitmap().At(1, 1));
  EXPECT_EQ(OneStep(rig), (TPoint{2, 2}));
  // Each step draws the picture where it was and leaves the lines it moves away from.
  EXPECT_EQ(screen.At(2, 2), picture.Bitmap().At(1, 1));
  EXPECT_EQ(screen.At(1, 5), background);
  rig.View.StopFloating();
  EXPECT_FALSE(rig.View.Floating());
  EXPECT_EQ(rig.Threads.WorkerCount(), 0u);
}

TEST(Floating, MovingRightIntoTheRightEdgeTurnsUpLeftOrDownLeft) {
  for (int draw = 0; draw < 2; ++draw) {
    TMotionRig rig({100, 60}, {100, 60});
    rig.View.SetAsScreen(true);
    rig.View.SetPicPos(TPicPos::poUser);
    rig.View.SetPicPosHor(60);  // right edge at 100
    rig.View.SetPicPosVer(50);
    const TPicture picture = testing::PatternPicture(40, 20);
    rig.ShowAtOnce(picture);
    ASSERT_EQ(rig.View.PicRect(), (TRect{60, 30, 100, 50}));
    rig.View.SetFloatDir(0);
    rig.Base.Random.Queue(draw);
    rig.View.StartFloating();
    const TPoint next = OneStep(rig);
    EXPECT_EQ(rig.View.FloatDir(), draw == 0 ? 3 : 5);
    EXPECT_EQ(next, draw == 0 ? (TPoint{59, 29}) : (TPoint{59, 31}));
  }
  // Whatever the draws, never straight left.
  TMotionRig rig({100, 60}, {100, 60});
  rig.View.SetAsScreen(true);
  rig.View.SetPicPos(TPicPos::poUser);
  rig.View.SetPicPosHor(60);
  rig.View.SetPicPosVer(50);
  const TPicture picture = testing::PatternPicture(40, 20);
  for (int i = 0; i < 30; ++i) {
    rig.ShowAtOnce(picture);
    rig.View.SetFloatDir(0);
    rig.View.StartFloating();
    OneStep(rig);
    EXPECT_NE(rig.View.FloatDir(), 4);
    rig.View.StopFloating();
  }
}

TEST(Floating, APictureAsLargeAsTheClientAlternatesBetweenTwoCorners) {
  TMotionRig rig({30, 20}, {30, 20});
  rig.View.SetPicPos(TPicPos::poTopLeft);
  const TPicture picture = testing::PatternPicture(30, 20);
  rig.ShowAtOnce(picture);
  rig.View.StartFloating();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(OneStep(rig), (i % 2 == 0 ? TPoint{1, 1} : TPoint{0, 0})) << "step " << i;
}

TEST(Floating, CanFloatFalseEndsAfterAtMostOneStepWhereThePictureStopped) {
  TMotionRig rig({60, 40}, {60, 40});
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.ShowAtOnce(picture);
  rig.View.SetFloatSpeed(12);
  rig.View.StartFloating();
  std::vector<std::uint32_t> ticks;
  for (int i = 0; i < 5; ++i) {
    OneStep(rig);
    ticks.push_back(rig.Threads.TickCount());
  }
  for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i] - ticks[i - 1], 13u);
  const TRect before = rig.View.PicRect();
  const std::uint64_t calls = rig.Threads.SynchronizedCalls();
  rig.View.SetCanFloat(false);
  rig.Threads.RunUntilIdle();
  EXPECT_FALSE(rig.View.Floating());
  EXPECT_LE(rig.Threads.SynchronizedCalls() - calls, 1u);
  const TRect after = rig.View.PicRect();
  EXPECT_LE(std::abs(after.Left - before.Left), 1);
  // The picture stays where it drifted; a paint draws it there.
  rig.View.Repaint();
  TBitmap32 expected = rig.View.ClientBgBitmap();
  expected.CopyRect(after.Left, after.Top, picture.Bitmap(), picture.Bitmap().Bounds());
  EXPECT_TRUE(testing::SameBitmap("float_stopped", expected, rig.Base.Surface.Screen()));
  // The direction is kept for the next float.
  const int dir = rig.View.FloatDir();
  rig.View.SetCanFloat(true);
  rig.View.StartFloating();
  EXPECT_EQ(rig.View.FloatDir(), dir);
  rig.View.StopFloating();
}

TEST(Floating, AFloatStartedDuringAShowInWaitsForIt) {
  TMotionRig rig({60, 40}, {60, 40});
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(1);
  rig.View.ShowPic(1);
  rig.View.StartFloating();
  EXPECT_TRUE(rig.View.Floating());
  const TRect start = rig.View.PicRect();
  ASSERT_TRUE(rig.Threads.RunUntil([&] {
    EXPECT_EQ(rig.View.PicRect(), start);
    return !rig.View.Showing();
  }));
  EXPECT_TRUE(rig.View.PicShown());
  // The picture stays on screen until the float's first step draws it again.
  EXPECT_EQ(rig.Base.Surface.Screen().At(start.Left + 5, start.Top + 5), picture.Bitmap().At(5, 5));
  OneStep(rig);
  EXPECT_NE(rig.View.PicRect(), start);
  // While floating, a paint leaves the picture to the next step.
  rig.View.Repaint();
  EXPECT_NE(rig.Base.Surface.Screen().At(rig.View.PicRect().Left + 5, rig.View.PicRect().Top + 5),
            picture.Bitmap().At(5, 5));
  // A show-out stops the float first.
  rig.View.ShowPic(2);
  EXPECT_FALSE(rig.View.Floating());
  rig.Threads.RunUntilIdle();
  EXPECT_FALSE(rig.View.PicShown());
}

TEST(Floating, StampAndClearStopTheFloat) {
  TMotionRig rig({60, 40}, {60, 40});
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.ShowAtOnce(picture);
  rig.View.StartFloating();
  OneStep(rig);
  rig.View.StampPic();  // stops and starts again
  EXPECT_TRUE(rig.View.Floating());
  rig.View.ClearPic(true, false);
  EXPECT_FALSE(rig.View.Floating());
  EXPECT_EQ(rig.Threads.WorkerCount(), 0u);
  rig.View.StopFloating();  // nothing to stop
}

}  // namespace
}  // namespace lumora
