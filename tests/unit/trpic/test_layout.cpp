// Picture sizing and placement: the worked numbers, every position, the random range
// of pictures larger than the client, poCurrent, resizing, and the clamped properties.
#include "view_rig.h"

#include <gtest/gtest.h>

namespace lumora::testing {
namespace {

using platform::TSize;

constexpr TPixel kRed = MakePixel(255, 0, 0);

struct TSizeCase {
  TPicSize Size;
  TPicSizeRef Ref;
  float Hor, Ver;
  bool Scaled;
  TSize Expected;
};

TEST(TrPicLayout, PictureSizesForEverySizingAndReferenceWithAndWithoutScaling) {
  // 800 x 600 picture, 400 x 300 client, 1600 x 1200 screen.
  const TSizeCase cases[] = {
      {TPicSize::psOriginal, TPicSizeRef::psrScreen, 100, 100, true, {200, 150}},
      {TPicSize::psOriginal, TPicSizeRef::psrScreen, 100, 100, false, {800, 600}},
      {TPicSize::psFullWindow, TPicSizeRef::psrScreen, 100, 100, true, {400, 300}},
      {TPicSize::psFullWindow, TPicSizeRef::psrScreen, 100, 100, false, {400, 300}},
      {TPicSize::psUser, TPicSizeRef::psrScreen, 50, 50, true, {200, 150}},
      {TPicSize::psUser, TPicSizeRef::psrScreen, 50, 50, false, {800, 600}},
      {TPicSize::psUser, TPicSizeRef::psrOriginal, 50, 50, true, {100, 75}},
      {TPicSize::psUser, TPicSizeRef::psrOriginal, 50, 50, false, {400, 300}},
      // Trunc(1600 * 400 * 33.3) / 160000 = 133; Trunc(1200 * 33.3) / 100 = 399.
      {TPicSize::psUser, TPicSizeRef::psrScreen, 33.3f, 33.3f, true, {133, 99}},
      {TPicSize::psUser, TPicSizeRef::psrScreen, 33.3f, 33.3f, false, {532, 399}},
  };
  for (const TSizeCase& c : cases) {
    TViewRig rig({400, 300}, {1600, 1200});
    const TPicture picture = SolidPicture(800, 600, kRed);
    rig.View.SetPicture(&picture);
    rig.View.SetPicSize(c.Size);
    rig.View.SetPicSizeRef(c.Ref);
    rig.View.SetPicSizeHor(c.Hor);
    rig.View.SetPicSizeVer(c.Ver);
    const TSize size = rig.View.ComputePicSize(c.Scaled);
    EXPECT_EQ(size, c.Expected) << "size " << int(c.Size) << " ref " << int(c.Ref) << " " << c.Hor << "% scaled "
                                << c.Scaled << ": got " << size.Width << "x" << size.Height;
    // A show-in lays the picture out with AsScreen as the scaling.
    rig.View.SetAsScreen(c.Scaled);
    rig.View.ShowPic(1);
    EXPECT_EQ(rig.View.PicBitmap().Width(), c.Expected.Width);
    EXPECT_EQ(rig.View.PicBitmap().Height(), c.Expected.Height);
  }
}

TEST(TrPicLayout, EmptyPicturesHaveNoSizeToFillTheWindowWith) {
  TViewRig rig({400, 300}, {1600, 1200});
  rig.View.SetPicSize(TPicSize::psFullWindow);
  EXPECT_EQ(rig.View.ComputePicSize(true), (TSize{0, 0}));
  rig.View.Relayout(false, false, true, true);  // stops at once without a picture
  EXPECT_TRUE(rig.View.PicBitmap().Empty());
}

TEST(TrPicLayout, EveryPositionPlacesThePictureAsDescribed) {
  struct TPosCase {
    TPicPos Pos;
    int X, Y;
  };
  // 200 x 150 picture (psOriginal, scaled) in a 400 x 300 client.
  const TPosCase cases[] = {
      {TPicPos::poCenter, 100, 75},      {TPicPos::poTopLeft, 0, 0},        {TPicPos::poTopCenter, 100, 0},
      {TPicPos::poTopRight, 200, 0},     {TPicPos::poBottomLeft, 0, 150},   {TPicPos::poBottomCenter, 100, 150},
      {TPicPos::poBottomRight, 200, 150}, {TPicPos::poUser, 100, 30},
  };
  for (const TPosCase& c : cases) {
    TViewRig rig({400, 300}, {1600, 1200});
    const TPicture picture = SolidPicture(800, 600, kRed);
    rig.View.SetAsScreen(true);
    rig.View.SetPicture(&picture);
    rig.View.SetPicPos(c.Pos);
    rig.View.SetPicPosHor(25);
    rig.View.SetPicPosVer(10);
    rig.View.ShowPic(1);
    EXPECT_EQ(rig.View.PicRect(), (TRect{c.X, c.Y, c.X + 200, c.Y + 150})) << "position " << int(c.Pos);
    EXPECT_EQ(rig.Surface.Screen().At(c.X, c.Y), kRed) << "position " << int(c.Pos);
  }
}

TEST(TrPicLayout, UserPositionsReferToTheVirtualScreenWithAsScreenOff) {
  TViewRig rig({400, 300}, {1600, 1200});
  const TPicture picture = SolidPicture(80, 60, kRed);
  rig.View.SetPicture(&picture);
  rig.View.SetPicPos(TPicPos::poUser);
  rig.View.SetPicPosHor(25);
  rig.View.SetPicPosVer(10);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.View.PicRect(), (TRect{200, 60, 280, 120})) << "percent of the 800 x 600 virtual screen";
  rig.View.ClearPic(true, false);
  rig.View.SetScreenScaleWidth(1000);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.View.PicRect().Left, 250);
}

TEST(TrPicLayout, RandomPositionsStayInsideOrMirrorForLargerPictures) {
  TViewRig rig({400, 300}, {400, 300});
  rig.View.SetPicPos(TPicPos::poRandom);
  // Narrower: X in [0, CW - W).
  const TPicture small = SolidPicture(100, 100, kRed);
  rig.View.SetPicture(&small);
  rig.Random.Queue(299);
  rig.Random.Queue(199);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.View.PicRect().Left, 299);
  EXPECT_EQ(rig.View.PicRect().Top, 199);
  rig.View.ClearPic(true, false);
  // Wider: X in (-(W - CW), 0].
  const TPicture large = SolidPicture(500, 450, kRed);
  rig.View.SetPicture(&large);
  rig.Random.Queue(99);
  rig.Random.Queue(0);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.View.PicRect().Left, -99);
  EXPECT_EQ(rig.View.PicRect().Top, 0);
  for (int i = 0; i < 200; ++i) {
    rig.View.ClearPic(true, false);
    rig.View.ShowPic(1);
    ASSERT_GT(rig.View.PicRect().Left, -100);
    ASSERT_LE(rig.View.PicRect().Left, 0);
    ASSERT_GT(rig.View.PicRect().Top, -150);
    ASSERT_LE(rig.View.PicRect().Top, 0);
  }
}

TEST(TrPicLayout, CurrentPositionKeepsThePreviousTopLeftCorner) {
  TViewRig rig({400, 300}, {400, 300});
  const TPicture first = SolidPicture(100, 50, kRed);
  rig.View.SetPicture(&first);
  rig.View.SetPicPos(TPicPos::poBottomRight);
  rig.View.ShowPic(1);
  ASSERT_EQ(rig.View.PicRect(), (TRect{300, 250, 400, 300}));
  rig.View.ShowPic(2);
  const TPicture second = SolidPicture(30, 20, kRed);
  rig.View.SetPicture(&second);
  rig.View.SetPicPos(TPicPos::poCurrent);
  rig.View.ShowPic(1);
  EXPECT_EQ(rig.View.PicRect(), (TRect{300, 250, 330, 270}));
}

TEST(TrPicLayout, ResizingKeepsTheRelativePositionOfAShownPicture) {
  TViewRig rig({400, 300}, {1600, 1200});
  const TPicture picture = SolidPicture(800, 600, kRed);
  rig.View.SetAsScreen(true);
  rig.View.SetPicture(&picture);
  rig.View.SetPicPos(TPicPos::poUser);
  rig.View.SetPicPosHor(25);
  rig.View.SetPicPosVer(10);
  rig.View.ShowPic(1);
  ASSERT_EQ(rig.View.PicRect(), (TRect{100, 30, 300, 180}));
  rig.Surface.Resize(800, 600);
  // 400 x 300 now; X = 100 * 400 / 200, Y = 30 * 300 / 150.
  EXPECT_EQ(rig.View.PicRect(), (TRect{200, 60, 600, 360}));
  EXPECT_EQ(rig.Surface.Screen().At(200, 60), kRed);
  EXPECT_EQ(rig.Surface.Screen().At(199, 60), MakePixel(255, 255, 255)) << "the fresh background is white";
  EXPECT_EQ(rig.View.CompositeBitmap().Width(), 800);

  // With AsScreen off the corner stays where it was.
  rig.View.SetAsScreen(false);
  const TRect before = rig.View.PicRect();
  rig.Surface.Resize(500, 500);
  EXPECT_EQ(rig.View.PicRect().Left, before.Left);
  EXPECT_EQ(rig.View.PicRect().Top, before.Top);
}

TEST(TrPicLayout, OutOfRangeWritesAreClampedAndDefaultsAreSet) {
  TViewRig rig({100, 100}, {640, 480});
  TTrPic& v = rig.View;
  EXPECT_EQ(v.ScreenScaleWidth(), 800);
  EXPECT_EQ(v.ScreenScaleHeight(), 600);
  EXPECT_EQ(v.CapPos(), TCapPos::cpTopCenter);
  EXPECT_EQ(v.PicPos(), TPicPos::poCenter);
  EXPECT_EQ(v.PicSizeRef(), TPicSizeRef::psrScreen);
  EXPECT_EQ(v.PicSizeHor(), 100.0f);
  EXPECT_EQ(v.PicOpacity(), 255);
  EXPECT_EQ(v.ShowInStyle(), 1);
  EXPECT_TRUE(v.CanShow() && v.CanFloat() && v.CapVisible());
  EXPECT_EQ(rig.Random.RandomizeCount(), 1) << "seeded once at construction";

  v.SetScreenScaleWidth(500);
  EXPECT_EQ(v.ScreenScaleWidth(), 640);
  v.SetScreenScaleHeight(100);
  EXPECT_EQ(v.ScreenScaleHeight(), 480);
  v.SetShowSpeed(0);
  EXPECT_EQ(v.ShowSpeed(), 1);
  v.SetFloatSpeed(0);
  EXPECT_EQ(v.FloatSpeed(), 1);
  v.SetShowInStyle(-5);
  EXPECT_EQ(v.ShowInStyle(), -1);
  v.SetShowOutStyle(-1);
  EXPECT_EQ(v.ShowOutStyle(), -1);
  v.SetBgSolidColor(0);
  EXPECT_EQ(v.BgSolidColor(), 1);

  const TPicture mask = SolidPicture(2, 2, kRed);
  v.SetPicMaskedPicture(&mask);
  v.SetPicMasked(true);
  v.SetPicMaskedPicture(nullptr);
  EXPECT_FALSE(v.PicMasked());
  EXPECT_TRUE(v.PicMaskedPicture().Empty());

  v.SetAsScreen(true);
  v.SetAutoSize(true);
  EXPECT_FALSE(v.AutoSize()) << "forced off with AsScreen";
  v.SetAsScreen(false);
  const TPicture picture = SolidPicture(120, 90, kRed);
  v.SetPicture(&picture);
  v.SetAutoSize(true);
  EXPECT_TRUE(v.AutoSize());
  EXPECT_EQ(rig.Surface.ClientSize(), (TSize{120, 90})) << "the client takes the picture's size";
  v.SetAlign(TAlign::alClient);
  EXPECT_FALSE(v.AutoSize());
}

}  // namespace
}  // namespace lumora::testing
