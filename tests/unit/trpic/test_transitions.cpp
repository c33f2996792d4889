// Show-in and show-out on worker threads under the headless scheduler: frame counts and
// timing, the queue of requests and its event order, stops, failures.
#include "motion_rig.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace lumora {
namespace {

using testing::TMotionRig;
using Events = std::vector<std::string>;

constexpr TPixel kBlue = 0xFF0000FFu;

// Runs the scheduler one synchronised call at a time, noting the tick of each.
std::vector<std::uint32_t> FrameTicks(TMotionRig& rig) {
  std::vector<std::uint32_t> ticks;
  std::uint64_t seen = rig.Threads.SynchronizedCalls();
  while (rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() != seen; })) {
    seen = rig.Threads.SynchronizedCalls();
    ticks.push_back(rig.Threads.TickCount());
  }
  return ticks;
}

TEST(Transitions, StyleZeroShowsAtOnceAndEndsAfterThreeFrames) {
  TMotionRig rig({80, 60}, {80, 60});
  rig.RecordEvents();
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(0);
  rig.View.ShowPic(1);
  EXPECT_TRUE(rig.View.Showing());
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() == 1; }));
  const TRect r = rig.View.PicRect();
  EXPECT_EQ(rig.Base.Surface.Screen().At(r.Left, r.Top), picture.Bitmap().At(0, 0));
  EXPECT_EQ(rig.Base.Surface.Screen().At(r.Right - 1, r.Bottom - 1), picture.Bitmap().At(19, 9));
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(rig.Threads.SynchronizedCalls(), 3u);
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_TRUE(rig.View.PicShown());
  EXPECT_EQ(rig.Events, (Events{"InBegin", "InComplete"}));
  EXPECT_EQ(rig.Threads.WorkerCount(), 0u);
}

TEST(Transitions, StyleOneOn640By480TakesN2FramesMoreThanShowSpeedApart) {
  TMotionRig rig({800, 600}, {800, 600});
  const TPicture picture = testing::PatternPicture(640, 480);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(1);
  rig.View.SetShowSpeed(5);
  rig.View.ShowPic(1);
  const std::vector<std::uint32_t> ticks = FrameTicks(rig);
  ASSERT_EQ(ticks.size(), 642u);
  for (std::size_t i = 1; i < ticks.size(); ++i) ASSERT_GT(ticks[i] - ticks[i - 1], 5u) << "frame " << i;
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_TRUE(rig.View.PicShown());
  EXPECT_EQ(rig.View.StepCount(), 640);
  // The window shows the picture at its place, and the view paints it there from now on.
  const TRect r = rig.View.PicRect();
  EXPECT_EQ(r, (TRect{80, 60, 720, 540}));
  EXPECT_EQ(rig.Base.Surface.Screen().At(400, 300), picture.Bitmap().At(320, 240));
}

TEST(Transitions, ShowOutQueuedDuringShowInRunsAfterItInEventOrder) {
  TMotionRig rig({60, 40}, {60, 40});
  rig.RecordEvents();
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(21);
  rig.View.SetShowOutStyle(3);
  rig.View.ShowPic(1);
  rig.Threads.RunFor(20);
  rig.View.ShowPic(2);
  rig.View.ShowPic(2);  // a second request of the queued direction changes nothing
  rig.View.ShowPic(1);  // nor one of the running direction
  EXPECT_EQ(rig.View.ShowMode(), 1);
  rig.Threads.RunUntil([&] { return rig.Events.size() == 3; });
  EXPECT_EQ(rig.Events, (Events{"InBegin", "OutBegin", "InComplete"}));
  EXPECT_EQ(rig.View.ShowMode(), 2);
  EXPECT_TRUE(rig.View.Showing());
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(rig.Events, (Events{"InBegin", "OutBegin", "InComplete", "OutComplete"}));
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_FALSE(rig.View.PicShown());
  EXPECT_TRUE(rig.View.PicBitmap().Empty());
}

TEST(Transitions, ShowInQueuedDuringShowOut) {
  TMotionRig rig({60, 40}, {60, 40});
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.ShowAtOnce(picture);
  rig.RecordEvents();
  rig.View.SetShowOutStyle(1);
  rig.View.ShowPic(2);
  rig.Threads.RunFor(10);
  rig.View.ShowPic(1);
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(rig.Events, (Events{"OutBegin", "InBegin", "OutComplete", "InComplete"}));
  EXPECT_TRUE(rig.View.PicShown());
}

TEST(Transitions, StopShowingWithAQueuedShowOutRaisesNoCompletion) {
  TMotionRig rig({60, 40}, {60, 40});
  rig.RecordEvents();
  const TPicture picture = testing::PatternPicture(30, 20);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(1);
  rig.View.ShowPic(1);
  rig.Threads.RunFor(20);
  rig.View.ShowPic(2);
  rig.View.StopShowing();
  EXPECT_EQ(rig.Events, (Events{"InBegin", "OutBegin"}));
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_EQ(rig.View.ShowMode(), 0);
  EXPECT_FALSE(rig.View.PicShown());
  EXPECT_FALSE(rig.View.HasShowInThread());
  EXPECT_FALSE(rig.View.HasShowOutThread());
  EXPECT_EQ(rig.Threads.WorkerCount(), 0u);
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(rig.Events.size(), 2u);
  // A stopped show-in that had reached its end keeps the picture shown.
  rig.View.SetShowInStyle(0);
  rig.View.ShowPic(1);
  rig.Threads.RunUntil([&] { return rig.View.PicShown(); });
  rig.View.StopShowing();
  EXPECT_TRUE(rig.View.PicShown());
}

TEST(Transitions, CanShowFalseEndsAfterOneFrameWithoutShowingThePicture) {
  TMotionRig rig({60, 40}, {60, 40});
  rig.RecordEvents();
  const TPicture picture = testing::PatternPicture(30, 20);
  rig.View.SetCanShow(false);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(1);
  rig.View.ShowPic(1);
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(rig.Threads.SynchronizedCalls(), 1u);
  EXPECT_FALSE(rig.View.PicShown());
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_EQ(rig.Events, (Events{"InBegin", "InComplete"}));
}

TEST(Transitions, RandomStyleIsOneTo78AndNeverZero) {
  TMotionRig rig({40, 30}, {40, 30});
  const TPicture picture = testing::PatternPicture(10, 10);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(-1);
  rig.View.SetCanShow(false);  // one frame each
  std::vector<bool> seen(79, false);
  rig.Base.Random.Queue(0);
  rig.Base.Random.Queue(77);
  for (int i = 0; i < 400; ++i) {
    rig.View.ShowPic(1);
    const int style = rig.View.EffectStyle();
    ASSERT_GE(style, 1);
    ASSERT_LE(style, 78);
    if (i == 0) {
      EXPECT_EQ(style, 1);
    }
    if (i == 1) {
      EXPECT_EQ(style, 78);
    }
    seen[static_cast<std::size_t>(style)] = true;
    rig.Threads.RunUntilIdle();
  }
  EXPECT_GT(std::count(seen.begin(), seen.end(), true), 60);
}

TEST(Transitions, AFailingBeginResetsTheViewAndReachesTheCaller) {
  TMotionRig rig({60, 40}, {60, 40});
  const TPicture picture = testing::PatternPicture(20, 10);
  rig.ShowAtOnce(picture);
  rig.View.StartFloating();
  rig.Threads.RunFor(5);
  ASSERT_TRUE(rig.View.Floating());
  rig.View.OnShowOutBegin = [](TCustomTrPic&) { throw std::runtime_error("handler"); };
  EXPECT_THROW(rig.View.ShowPic(2), std::runtime_error);
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_FALSE(rig.View.Floating());
  EXPECT_FALSE(rig.View.PicShown());
  EXPECT_EQ(rig.View.ShowMode(), 0);
  EXPECT_EQ(rig.Threads.WorkerCount(), 0u);
}

TEST(Transitions, AFailingCompletionHandlerStillStartsTheQueuedShowOut) {
  TMotionRig rig({60, 40}, {60, 40});
  const TPicture picture = testing::PatternPicture(20, 10);
  int outComplete = 0;
  rig.View.OnShowInComplete = [](TCustomTrPic&) { throw std::runtime_error("handler"); };
  rig.View.OnShowOutComplete = [&](TCustomTrPic&) { ++outComplete; };
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(3);
  rig.View.ShowPic(1);
  rig.View.ShowPic(2);
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(outComplete, 1);
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_EQ(rig.Threads.WorkerCount(), 0u);
}

TEST(Transitions, NoEventWhileTheViewIsDestroyed) {
  testing::TViewPlatform base({60, 40}, {60, 40});
  platform::THeadlessThreadHost threads;
  TTrPicPlatform p = base.Platform();
  p.Threads = &threads;
  Events events;
  {
    TTrPic view(p);
    view.OnShowOutBegin = [&](TCustomTrPic&) { events.push_back("OutBegin"); };
    view.OnShowInComplete = [&](TCustomTrPic&) { events.push_back("InComplete"); };
    view.OnShowOutComplete = [&](TCustomTrPic&) { events.push_back("OutComplete"); };
    const TPicture picture = testing::PatternPicture(30, 20);
    view.SetPicture(&picture);
    view.ShowPic(1);
    threads.RunFor(10);
    view.ShowPic(2);
  }
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(threads.WorkerCount(), 0u);
}

// Every style: a show-out leaves exactly the background that was under the picture.
TEST(Transitions, EveryShowOutEndsOnTheBackground) {
  TMotionRig rig({48, 36}, {48, 36});
  rig.View.SetBgStyle(TBgStyle::bsGradient);
  rig.View.SetBgGradientFromColor(0x00FF0000);
  rig.View.SetBgGradientToColor(0x0000FF00);
  rig.View.Repaint();
  const TBitmap32 background = rig.Base.Surface.Screen();
  const TPicture picture = testing::PatternPicture(31, 22);
  for (int style = 0; style <= 78; ++style) {
    SCOPED_TRACE("style " + std::to_string(style));
    rig.ShowAtOnce(picture);
    ASSERT_TRUE(rig.View.PicShown());
    ASSERT_NE(rig.Base.Surface.Screen(), background);
    rig.View.SetShowOutStyle(style);
    rig.View.ShowPic(2);
    ASSERT_EQ(rig.View.EffectStyle(), style);
    rig.Threads.RunUntilIdle();
    ASSERT_TRUE(testing::SameBitmap("show_out_" + std::to_string(style), background, rig.Base.Surface.Screen()));
  }
}

TEST(Transitions, ShowOutOfAMaskedPictureRevealsTheBackgroundItWasComposedOver) {
  TMotionRig rig({40, 30}, {40, 30});
  rig.View.SetBgSolidColor(0x00336699);
  rig.View.Repaint();
  const TBitmap32 background = rig.Base.Surface.Screen();
  const TPicture picture = testing::PatternPicture(20, 10);
  const TPicture mask = testing::SolidPicture(20, 10, 0xFF808080u);
  rig.View.SetPicMaskedPicture(&mask);
  rig.View.SetPicMasked(true);
  rig.ShowAtOnce(picture);
  rig.View.SetShowOutStyle(47);
  rig.View.ShowPic(2);
  rig.Threads.RunUntilIdle();
  EXPECT_TRUE(testing::SameBitmap("masked_show_out", background, rig.Base.Surface.Screen()));
}

// The display goes dark mid-transition: the workers' clock stands still however long it
// stays dark, then the transition goes on from the frame it held at, with the same frames.
TEST(Transitions, APausedHostHoldsTheTransitionWhereItIsAndResumesIt) {
  TMotionRig rig({800, 600}, {800, 600});
  const TPicture picture = testing::PatternPicture(640, 480);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(1);
  rig.View.SetShowSpeed(5);
  rig.View.ShowPic(1);
  rig.Threads.RunFor(1000);
  const std::uint64_t frames = rig.Threads.SynchronizedCalls();
  const std::uint32_t tick = rig.Threads.TickCount();
  ASSERT_GT(frames, 3u);
  rig.Threads.SetPaused(true);
  rig.Threads.RunFor(60000);
  rig.Threads.RunUntilIdle();
  EXPECT_EQ(rig.Threads.SynchronizedCalls(), frames);
  EXPECT_EQ(rig.Threads.TickCount(), tick);
  EXPECT_TRUE(rig.View.Showing());
  rig.Threads.SetPaused(false);
  const std::vector<std::uint32_t> ticks = FrameTicks(rig);
  EXPECT_EQ(frames + ticks.size(), 642u);
  ASSERT_FALSE(ticks.empty());
  EXPECT_LT(ticks.front() - tick, 20u) << "the next frame comes as soon as the clock moves again";
  EXPECT_TRUE(rig.View.PicShown());
}

// A repaint in the middle of a show-in puts the background back under the picture; the
// frames after it must not count on what the frames before drew, and the last one shows
// the whole picture.
TEST(Transitions, AFrameRepaintedMidwayIsDrawnAgainInFull) {
  const TPicture picture = testing::PatternPicture(60, 40);
  for (int style : {1, 19, 37, 60}) {
    SCOPED_TRACE("style " + std::to_string(style));
    TMotionRig rig({80, 60}, {80, 60});
    rig.View.SetPicture(&picture);
    rig.View.SetShowInStyle(style);
    rig.View.ShowPic(1);
    const std::uint64_t half = style == 1 ? 30 : 50;
    ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() == half; }));
    rig.View.Repaint();
    // Up to the frame that completes the picture (the view's repaint at the end would
    // hide a fault).
    const std::uint64_t last = static_cast<std::uint64_t>(rig.View.StepCount()) + 1;
    ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() == last; }));
    ASSERT_TRUE(rig.View.Showing());
    const TRect r = rig.View.PicRect();
    TBitmap32 shown(r.Width(), r.Height());
    shown.CopyRect(0, 0, rig.Base.Surface.Screen(), r);
    EXPECT_TRUE(testing::SameBitmap("repainted_" + std::to_string(style), picture.Bitmap(), shown));
  }
}

TEST(Transitions, WithoutAThreadHostATransitionEndsAtOnce) {
  testing::TViewRig<> rig({40, 30}, {40, 30});
  const TPicture picture = testing::SolidPicture(10, 10, kBlue);
  rig.View.SetPicture(&picture);
  rig.View.ShowPic(1);
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_TRUE(rig.View.PicShown());
}

}  // namespace
}  // namespace lumora
