// Background rendering: every style, the centred picture over its fill, plain and smart
// tiling, the desktop copy, which writes rebuild, and an invalid pattern string.
#include "view_rig.h"

#include "trpic/compose.h"

#include <gtest/gtest.h>

namespace lumora::testing {
namespace {

constexpr TPixel kBlack = MakePixel(0, 0, 0);
constexpr TPixel kRed = MakePixel(255, 0, 0);
constexpr TPixel kGreen = MakePixel(0, 255, 0);
constexpr TPixel kBlue = MakePixel(0, 0, 255);

// Every pixel different, so that any misplacement shows.
TPicture PatternPicture(int width, int height) {
  TPicture picture;
  picture.Bitmap() = TBitmap32(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.Bitmap().At(x, y) = MakePixel(x & 0xFF, y & 0xFF, (x ^ y) & 0x7F);
  return picture;
}

// Left half red, right half green.
TPicture HalvesPicture(int width, int height) {
  TPicture picture;
  picture.Bitmap() = TBitmap32(width, height, kGreen);
  picture.Bitmap().FillRect(TRect{0, 0, width / 2, height}, kRed);
  return picture;
}

TEST(TrPicBackground, ACentredPictureSitsAtTheCentreOverABlackFill) {
  TViewRig rig({1024, 768}, {1024, 768});
  const TPicture picture = PatternPicture(400, 300);
  rig.View.SetBgPicture(&picture);
  rig.View.SetBgStyle(TBgStyle::bsPicture);
  TBitmap32 expected(1024, 768, kBlack);
  expected.CopyRect(312, 234, picture.Bitmap(), picture.Bitmap().Bounds());
  EXPECT_TRUE(SameBitmap("centred_bpnone", expected, rig.View.ScreenBgBitmap()));
  EXPECT_TRUE(SameBitmap("centred_bpnone_screen", expected, rig.Surface.Screen())) << "a rebuild repaints";

  // Over a solid fill.
  rig.View.SetBgSolidColor(0x00FF0000);
  rig.View.SetBgBgpStyle(TBgBgpStyle::bpSolid);
  expected.FillRect(expected.Bounds(), kBlue);
  expected.CopyRect(312, 234, picture.Bitmap(), picture.Bitmap().Bounds());
  EXPECT_TRUE(SameBitmap("centred_bpsolid", expected, rig.View.ScreenBgBitmap()));
}

TEST(TrPicBackground, SmartTilingTakesTheNearerWholeNumberOfTiles) {
  EXPECT_EQ(SmartTileExtent(1024, 300, false), 341) << "3 rem 124, 124 <= 150: 3 tiles";
  EXPECT_EQ(SmartTileExtent(1024, 300, true), 256) << "forced up: 4 tiles";
  EXPECT_EQ(SmartTileExtent(1100, 300, false), 275) << "3 rem 200 > 150: 4 tiles";
  EXPECT_EQ(SmartTileExtent(200, 300, false), 200) << "a tile wider than the area: one tile as wide";
  EXPECT_EQ(SmartTileExtent(100, 300, false), 100) << "at least one tile";

  struct TCase {
    int ScreenW;
    bool FixHor;
    int TileW;
  };
  for (const TCase c : {TCase{1024, false, 341}, TCase{1024, true, 256}, TCase{1100, false, 275}, TCase{1100, true, 275}}) {
    TViewRig rig({c.ScreenW, 400}, {c.ScreenW, 400});
    const TPicture picture = HalvesPicture(300, 400);
    rig.View.SetBgPicture(&picture);
    rig.View.SetBgPictureMode(TBgMode::bmSmartTiled);
    rig.View.SetBgBgpFixHor(c.FixHor);
    rig.View.SetBgStyle(TBgStyle::bsPicture);
    const TBitmap32& bg = rig.View.ScreenBgBitmap();
    for (int left = 0; left + c.TileW <= c.ScreenW; left += c.TileW) {
      EXPECT_EQ(bg.At(left + 3, 200), kRed) << c.ScreenW << (c.FixHor ? " fixed" : "") << ": tile at " << left;
      EXPECT_EQ(bg.At(left + c.TileW - 4, 200), kGreen) << c.ScreenW << ": tile at " << left;
    }
  }
}

TEST(TrPicBackground, PlainTilesRepeatAtTheirOwnSizeElevenByEight) {
  TViewRig rig({1024, 768}, {1024, 768});
  TPicture tile;
  tile.Bitmap() = TBitmap32(100, 100, kRed);
  tile.Bitmap().At(0, 0) = kBlue;
  rig.View.SetBgPicture(&tile);
  rig.View.SetBgPictureMode(TBgMode::bmTiled);
  rig.View.SetBgBgpFixHor(true);  // no effect on plain tiles
  rig.View.SetBgStyle(TBgStyle::bsPicture);
  const TBitmap32& bg = rig.View.ScreenBgBitmap();
  int corners = 0;
  for (int y = 0; y < bg.Height(); ++y)
    for (int x = 0; x < bg.Width(); ++x)
      if (bg.At(x, y) == kBlue) {
        EXPECT_EQ(x % 100, 0);
        EXPECT_EQ(y % 100, 0);
        ++corners;
      }
  EXPECT_EQ(corners, 11 * 8);
  EXPECT_EQ(bg.At(1023, 767), kRed);
}

TEST(TrPicBackground, StretchedPicturesCoverTheScreenAndIgnoreTheFillStyle) {
  TViewRig rig({400, 300}, {400, 300});
  const TPicture picture = HalvesPicture(40, 30);
  rig.View.SetBgPicture(&picture);
  rig.View.SetBgPictureMode(TBgMode::bmStretched);
  rig.View.SetBgStyle(TBgStyle::bsPicture);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(5, 5), kRed);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(395, 295), kGreen);

  // A fill style written in stretched mode is stored without a rebuild.
  rig.View.SetBgBgpStyle(TBgBgpStyle::bpScreen);
  EXPECT_EQ(rig.Desktop.CaptureCount(), 0);
  rig.View.SetBgPictureMode(TBgMode::bmCentered);
  EXPECT_EQ(rig.Desktop.CaptureCount(), 1) << "centred over the desktop copy";
}

TEST(TrPicBackground, SolidGradientPatternAndDesktopStyles) {
  TViewRig rig({640, 453}, {640, 453});
  rig.View.SetBgSolidColor(0);  // stored as 1
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(10, 10), MakePixel(1, 0, 0));

  rig.View.SetBgGradientFromColor(0x00000000);
  rig.View.SetBgGradientToColor(0x00FFFFFF);
  rig.View.SetBgStyle(TBgStyle::bsGradient);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(0, 0), kBlack);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(639, 452), MakePixel(254, 254, 254));
  rig.View.SetBgGradientDirection(TDirection::bdDown);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(0, 452), kBlack);

  rig.View.SetBgPatternString("User Define|0,0,0,1,2,3,1");
  rig.View.SetBgStyle(TBgStyle::bsPattern);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(17, 33), MakePixel(3, 2, 1));
  EXPECT_TRUE(rig.Messages.Shown().empty());

  TBitmap32 desktop(320, 200, kBlue);
  rig.Desktop.SetPicture(desktop);
  rig.View.SetBgStyle(TBgStyle::bsScreen);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(10, 10), kBlue);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(400, 300), kBlack) << "beyond the desktop picture";
  // A resize only rescales; the desktop is not read again.
  rig.View.SetAsScreen(true);
  rig.Surface.Resize(320, 226);
  EXPECT_EQ(rig.Desktop.CaptureCount(), 1);
  EXPECT_EQ(rig.Surface.Screen().At(5, 5), kBlue);
}

TEST(TrPicBackground, AnInvalidPatternLeavesTheBackgroundAndSkipsTheOverlay) {
  TViewRig rig({200, 100}, {200, 100});
  rig.View.SetBgSolidColor(0x000000FF);
  const TBitmap32 before = rig.View.ScreenBgBitmap();
  rig.View.SetBgPatternString("Broken|1,2");
  rig.View.SetBgStyle(TBgStyle::bsPattern);
  ASSERT_EQ(rig.Messages.Shown().size(), 1u);
  EXPECT_EQ(rig.Messages.Shown()[0], "Error in Pattern String.");
  EXPECT_TRUE(SameBitmap("invalid_pattern", before, rig.View.ScreenBgBitmap()));

  // The same through the centred fill: the picture is not drawn either.
  const TPicture picture = SolidPicture(20, 20, kGreen);
  rig.View.SetBgPicture(&picture);
  rig.View.SetBgBgpStyle(TBgBgpStyle::bpPattern);
  rig.View.SetBgStyle(TBgStyle::bsPicture);
  EXPECT_EQ(rig.Messages.Shown().size(), 2u);
  EXPECT_EQ(rig.View.ScreenBgBitmap().At(100, 50), kRed);
}

TEST(TrPicBackground, TheScaledBackgroundFillsTheClientAndTheOneToOneOneItsCorner) {
  TViewRig rig({200, 150}, {800, 600});
  const TPicture picture = HalvesPicture(800, 600);
  rig.View.SetBgPicture(&picture);
  rig.View.SetBgPictureMode(TBgMode::bmStretched);
  rig.View.SetBgStyle(TBgStyle::bsPicture);
  // AsScreen off: the top-left 200 x 150 of the background, all red.
  EXPECT_EQ(rig.Surface.Screen().At(199, 149), kRed);
  rig.View.SetAsScreen(true);
  EXPECT_EQ(rig.Surface.Screen().At(10, 75), kRed);
  EXPECT_EQ(rig.Surface.Screen().At(190, 75), kGreen);
  EXPECT_EQ(rig.View.ClientBgBitmap().Width(), 200);
}

}  // namespace
}  // namespace lumora::testing
