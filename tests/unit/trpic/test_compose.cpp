// Composition: the masked picture over the background behind it, stamping into the
// overlay and clearing it, what a repaint draws while a transition or floating runs,
// the order of the show events, and mouse input.
#include "view_rig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumora::testing {
namespace {

constexpr TPixel kWhite = MakePixel(255, 255, 255);
constexpr TPixel kRed = MakePixel(255, 0, 0);
constexpr TPixel kBlue = MakePixel(0, 0, 255);
// The overlay's stand-in for white: the colour 0x00FFFFFE, red one short.
constexpr TPixel kStampWhite = MakePixel(0xFE, 0xFF, 0xFF);

// A view whose transitions stay running until the test ends them.
class THeldTrPic : public TTrPic {
 public:
  using TTrPic::TTrPic;
  void Finish(int mode) {
    if (mode == 1) SetPicShown(true);
    TransitionEnded(mode);
  }
  int Started = 0;

 protected:
  void StartTransition(int mode) override { ++Started; }
};

// White with a red centre.
TPicture WhiteFramedPicture() {
  TPicture picture;
  picture.Bitmap() = TBitmap32(100, 100, kWhite);
  picture.Bitmap().FillRect(TRect{25, 25, 75, 75}, kRed);
  return picture;
}

TPicture LeftWhiteMask(int width, int height) {
  TPicture mask;
  mask.Bitmap() = TBitmap32(width, height, MakePixel(0, 0, 0));
  mask.Bitmap().FillRect(TRect{0, 0, width / 2, height}, kWhite);
  return mask;
}

TEST(TrPicCompose, AMaskWithAWhiteLeftHalfShowsThePictureLeftAndTheRedBackgroundRight) {
  TViewRig rig({300, 200}, {300, 200});
  rig.View.SetBgSolidColor(0x000000FF);  // red
  const TPicture picture = SolidPicture(100, 100, kBlue);
  const TPicture mask = LeftWhiteMask(10, 10);  // stretched to the picture's size
  rig.View.SetPicture(&picture);
  rig.View.SetPicMaskedPicture(&mask);
  rig.View.SetPicMasked(true);
  rig.View.ShowPic(1);
  ASSERT_EQ(rig.View.PicRect(), (TRect{100, 50, 200, 150}));
  TBitmap32 expected(300, 200, kRed);
  // Every channel that would be 0 comes out as 1.
  expected.FillRect(TRect{100, 50, 150, 150}, MakePixel(1, 1, 255));
  expected.FillRect(TRect{150, 50, 200, 150}, MakePixel(255, 1, 1));
  EXPECT_TRUE(SameBitmap("mask_white_left_over_red", expected, rig.Surface.Screen()));

  // Opacity: only the low byte counts, so 256 composes like 0 (the background alone).
  rig.View.ClearPic(true, false);
  rig.View.SetPicOpacity(256);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.Surface.Screen().At(110, 60), MakePixel(255, 1, 1));

  // The masked picture carries the background it was composed over, until the overlay
  // is cleared and it is composed again over the new background.
  rig.View.SetPicOpacity(255);
  rig.View.ClearPic(true, false);
  rig.View.ShowPic(1);
  rig.View.SetBgSolidColor(0x0000FF00);  // green
  EXPECT_EQ(rig.Surface.Screen().At(190, 60), MakePixel(255, 1, 1));
  EXPECT_EQ(rig.Surface.Screen().At(10, 10), MakePixel(0, 255, 0));
  rig.View.ClearPic(false, true);
  EXPECT_EQ(rig.Surface.Screen().At(190, 60), MakePixel(1, 255, 1));
  EXPECT_EQ(rig.Surface.Screen().At(110, 60), MakePixel(1, 1, 255));
}

TEST(TrPicCompose, StampingKeepsWhiteVisibleAndClearingTheOverlayRemovesIt) {
  TViewRig rig({400, 300}, {400, 300});
  rig.View.SetBgSolidColor(0x00FF0000);  // blue
  const TPicture picture = WhiteFramedPicture();
  rig.View.SetPicture(&picture);
  rig.View.ShowPic(1);
  ASSERT_TRUE(rig.View.PicShown());
  rig.View.StampPic();
  EXPECT_TRUE(rig.View.Stamped());
  rig.View.ClearPic(true, false);
  EXPECT_TRUE(rig.View.PicBitmap().Empty());
  EXPECT_FALSE(rig.View.PicShown());

  TBitmap32 expected(400, 300, kBlue);
  expected.FillRect(TRect{150, 100, 250, 200}, kStampWhite);
  expected.FillRect(TRect{175, 125, 225, 175}, kRed);
  EXPECT_TRUE(SameBitmap("stamped", expected, rig.Surface.Screen()));
  EXPECT_EQ(rig.View.OverlayBitmap().At(150, 100), kStampWhite);
  EXPECT_EQ(rig.View.OverlayBitmap().At(0, 0) & 0xFFFFFFu, 0xFFFFFFu) << "the rest stays transparent";

  // The overlay survives a change of background...
  rig.View.SetBgSolidColor(0x0000FF00);
  EXPECT_EQ(rig.Surface.Screen().At(160, 110), kStampWhite);
  EXPECT_EQ(rig.Surface.Screen().At(10, 10), MakePixel(0, 255, 0));
  // ...until it is cleared.
  rig.View.ClearPic(false, true);
  EXPECT_FALSE(rig.View.Stamped());
  EXPECT_TRUE(rig.View.OverlayBitmap().Empty());
  EXPECT_EQ(rig.Surface.Screen().At(160, 110), MakePixel(0, 255, 0));
}

TEST(TrPicCompose, AScaledPictureIsStampedAtScreenSizeAndScreenPosition) {
  TViewRig rig({200, 150}, {400, 300});
  rig.View.SetAsScreen(true);
  const TPicture picture = WhiteFramedPicture();
  rig.View.SetPicture(&picture);
  rig.View.ShowPic(1);
  ASSERT_EQ(rig.View.PicRect(), (TRect{75, 50, 125, 100}));
  rig.View.StampPic();
  const TBitmap32& overlay = rig.View.OverlayBitmap();
  ASSERT_EQ(overlay.Width(), 400);
  EXPECT_EQ(overlay.At(150, 100), kStampWhite);
  EXPECT_EQ(overlay.At(249, 199), kStampWhite);
  EXPECT_EQ(overlay.At(200, 150), kRed);
  EXPECT_EQ(overlay.At(250, 200) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(200, 150), kRed);
}

TEST(TrPicCompose, ARepaintWhileShowingOrFloatingDrawsBackgroundAndCaptionButNoPicture) {
  TViewRig<THeldTrPic> rig({300, 200}, {300, 200});
  rig.View.SetBgSolidColor(0x00FF0000);
  rig.View.SetCaption({"Caption"});
  rig.View.Relayout(true, true, false, false);
  const TPicture picture = SolidPicture(100, 100, kRed);
  rig.View.SetPicture(&picture);
  rig.View.ShowPic(1);
  ASSERT_TRUE(rig.View.Showing());
  rig.View.Finish(1);
  ASSERT_FALSE(rig.View.Showing());
  ASSERT_EQ(rig.Surface.Screen().At(150, 100), kRed) << "static display draws the picture";

  rig.View.ShowPic(2);
  ASSERT_TRUE(rig.View.Showing());
  rig.View.StampPic();
  EXPECT_FALSE(rig.View.Stamped()) << "StampPic does nothing while a transition runs";
  rig.Surface.SendPaint();
  EXPECT_EQ(rig.Surface.Screen().At(150, 100), kBlue);
  const TPoint at = rig.View.CaptionPos();
  const TRect glyph = rig.View.CaptionRegion().Rects()[0];
  EXPECT_EQ(rig.Surface.Screen().At(at.X + glyph.Left, at.Y + glyph.Top), MakePixel(0, 0, 0)) << "caption stays";
  rig.View.StopShowing();
  EXPECT_FALSE(rig.View.Showing());

  rig.View.ClearPic(true, false);
  rig.View.ShowPic(1);
  rig.View.Finish(1);

  rig.View.StartFloating();
  ASSERT_TRUE(rig.View.Floating());
  rig.Surface.SendPaint();
  EXPECT_EQ(rig.Surface.Screen().At(150, 100), kBlue);
  rig.View.StopFloating();
  rig.Surface.SendPaint();
  EXPECT_EQ(rig.Surface.Screen().At(150, 100), kRed) << "the picture stays where it was";
}

TEST(TrPicCompose, QueuedTransitionsRaiseTheNextBeginBeforeThePreviousCompletion) {
  TViewRig<THeldTrPic> rig({300, 200}, {300, 200});
  std::vector<std::string> events;
  rig.View.OnShowInBegin = [&](TCustomTrPic&) { events.push_back("in-begin"); };
  rig.View.OnShowInComplete = [&](TCustomTrPic&) { events.push_back("in-complete"); };
  rig.View.OnShowOutBegin = [&](TCustomTrPic&) { events.push_back("out-begin"); };
  rig.View.OnShowOutComplete = [&](TCustomTrPic&) { events.push_back("out-complete"); };
  const TPicture picture = SolidPicture(60, 40, kRed);
  rig.View.SetPicture(&picture);
  rig.View.ShowPic(1);
  rig.View.ShowPic(1);  // already showing in: ignored
  rig.View.ShowPic(2);  // queued
  EXPECT_EQ(rig.View.Started, 1);
  rig.View.Finish(1);
  EXPECT_EQ(events, (std::vector<std::string>{"in-begin", "out-begin", "in-complete"}));
  EXPECT_EQ(rig.View.Started, 2);
  EXPECT_EQ(rig.View.ShowMode(), 2);
  rig.View.Finish(2);
  EXPECT_EQ(events.back(), "out-complete");
  EXPECT_FALSE(rig.View.Showing());
  EXPECT_FALSE(rig.View.PicShown());
  EXPECT_TRUE(rig.View.PicBitmap().Empty());
}

TEST(TrPicCompose, TheShowOutRevealsTheBackgroundUnderThePictureAndStepCountsFollowTheStyle) {
  TViewRig<THeldTrPic> rig({300, 200}, {300, 200});
  rig.View.SetBgSolidColor(0x00FF0000);
  const TPicture picture = SolidPicture(60, 40, kRed);
  rig.View.SetPicture(&picture);
  rig.View.SetShowInStyle(3);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.View.StepCount(), 40) << "style 3 steps over the height";
  rig.View.Finish(1);
  rig.View.SetShowOutStyle(-1);
  rig.Random.Queue(16);  // Random(78) + 1 = 17
  rig.View.ShowPic(2);
  EXPECT_EQ(rig.View.EffectStyle(), 17);
  EXPECT_EQ(rig.View.StepCount(), 60);
  EXPECT_EQ(rig.View.PicBitmap().At(0, 0), kBlue) << "the picture bitmap holds the background patch";
  EXPECT_EQ(rig.View.PicBitmap().Width(), 60);
}

TEST(TrPicCompose, MouseInputReachesTheHandlersOnceAndMovesSetTheDefaultCursor) {
  TViewRig rig({100, 100}, {100, 100});
  std::vector<std::string> seen;
  rig.View.OnMouseDown = [&](TMouseSource s, platform::TMouseButton, platform::TShiftState, int x, int y) {
    seen.push_back("down " + std::to_string(int(s)) + " " + std::to_string(x) + "," + std::to_string(y));
  };
  rig.View.OnMouseMove = [&](TMouseSource s, platform::TShiftState, int x, int y) {
    seen.push_back("move " + std::to_string(int(s)) + " " + std::to_string(x) + "," + std::to_string(y));
  };
  rig.View.OnMouseUp = [&](TMouseSource s, platform::TMouseButton, platform::TShiftState, int x, int y) {
    seen.push_back("up " + std::to_string(int(s)));
  };
  rig.Surface.SendMouse(platform::TMouseAction::Move, platform::TMouseButton::mbLeft, {}, 3, 4);
  rig.Surface.SendMouse(platform::TMouseAction::Down, platform::TMouseButton::mbLeft, {}, 5, 6);
  rig.Surface.SendMouse(platform::TMouseAction::Up, platform::TMouseButton::mbLeft, {}, 5, 6);
  rig.View.ForwardMouse(TMouseSource::VideoPanel, platform::TMouseAction::Move, platform::TMouseButton::mbLeft, {}, 1, 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"move 0 3,4", "down 0 5,6", "up 0", "move 3 1,2"}));
  EXPECT_EQ(rig.Surface.DefaultCursorCount(), 2);
}

TEST(TrPicCompose, APaintPresentsTheWholeClientOnceAndNestedPaintsAreDropped) {
  TViewRig rig({120, 80}, {120, 80});
  rig.Surface.ForgetPresentedRects();
  int nested = 0;
  rig.View.OnDrawingCaptionBegin = [&](TCustomTrPic& v) {
    nested += v.InPaint();
  };
  rig.Surface.SendPaint();
  ASSERT_EQ(rig.Surface.PresentedRects().size(), 1u);
  EXPECT_EQ(rig.Surface.PresentedRects()[0], (TRect{0, 0, 120, 80}));
  EXPECT_FALSE(rig.View.InPaint());
  EXPECT_EQ(nested, 0);
}

}  // namespace
}  // namespace lumora::testing
