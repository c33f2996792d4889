// The banded gradient: the table's truncated extended-precision entries, the band
// geometry, and the eight directions.
#include "imaging/gradient.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

namespace lumora {
namespace {
using enum TDirection;

constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;

int Red(TColor c) { return c & 0xFF; }
int Green(TColor c) { return (c >> 8) & 0xFF; }
int Blue(TColor c) { return (c >> 16) & 0xFF; }
TPixel Grey(int v) { return MakePixel(std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)); }

TEST(MulDiv, RoundsHalvesAwayFromZeroWithA64BitProduct) {
  EXPECT_EQ(MulDiv(1, 1, 2), 1);
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(5, 1, -2), -3);
  EXPECT_EQ(MulDiv(-5, -1, -2), -3);
  EXPECT_EQ(MulDiv(1, 100, 453), 0);    // 0.22
  EXPECT_EQ(MulDiv(3, 100, 453), 1);    // 0.66
  EXPECT_EQ(MulDiv(452, 100, 453), 100);
  EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
  EXPECT_EQ(MulDiv(INT_MIN + 1, 1, 1), INT_MIN + 1);
}

TEST(MulDiv, FailsWithMinusOneOnZeroDivisorOrOverflow) {
  EXPECT_EQ(MulDiv(7, 3, 0), -1);
  EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
  EXPECT_EQ(MulDiv(INT_MIN, -1, 1), -1);
}

TEST(GradientTable, EntriesAreTruncatedTowardZero) {
  const TGradientTable up = BuildGradientTable(kBlack, kWhite);
  EXPECT_EQ(up[0], kBlack);
  EXPECT_EQ(up[452], 0xFEFEFE) << "from black to white the last entry is 254 in every channel";

  // Red falls 200 -> 100, green rises 100 -> 200, blue stays: each channel on its own.
  const TColor start = 200 | (100 << 8) | (50 << 16);
  const TColor end = 100 | (200 << 8) | (50 << 16);
  const TGradientTable t = BuildGradientTable(start, end);
  EXPECT_EQ(t[0], start);
  EXPECT_EQ(Red(t[1]), 199);    // 199.779
  EXPECT_EQ(Red(t[452]), 100);  // 100.221
  EXPECT_EQ(Green(t[1]), 100);  // 100.221
  EXPECT_EQ(Green(t[452]), 199);
  EXPECT_EQ(Blue(t[1]), 50);
  EXPECT_EQ(Blue(t[452]), 50);
  EXPECT_EQ(t[452] >> 24, 0) << "entries carry no top byte";
}

TEST(GradientTable, UsesExtendedPrecisionProductsOfTheDoubleStep) {
  // The step 151/453 is stored as a double just below 1/3; three of them in extended
  // precision stay below 1 and truncate to 0, where double arithmetic would round to 1.
  const TGradientTable t = BuildGradientTable(0, 151);
  EXPECT_EQ(Red(t[3]), 0);
  EXPECT_EQ(Red(t[6]), 1);
  EXPECT_EQ(Red(t[4]), 1);
}

TEST(GradientTable, IgnoresTheTopByteOfColours) {
  EXPECT_EQ(BuildGradientTable(0x7F332211, 0x7F332211)[100], 0x332211);
}

TEST(PixelFromColor, SwapsRedAndBlueIntoAnOpaquePixel) {
  EXPECT_EQ(PixelFromColor(0x00332211), 0xFF112233u);
  EXPECT_EQ(PixelFromColor(static_cast<TColor>(0x80332211u)), 0xFF112233u);
}

TEST(GradientBands, PlainRowDirectionsRunTopToBottom) {
  TBitmap32 bitmap;
  PaintGradient(bitmap, 3, 453, kBlack, kWhite, bdUp);
  EXPECT_EQ(bitmap.At(0, 0), Grey(0));
  EXPECT_EQ(bitmap.At(2, 452), Grey(254));
  EXPECT_EQ(bitmap.At(1, 226), Grey(127));  // 226 * 255 / 453 = 127.2

  PaintGradient(bitmap, 3, 453, kBlack, kWhite, bdDown);
  EXPECT_EQ(bitmap.At(0, 0), Grey(255));
  EXPECT_EQ(bitmap.At(2, 452), Grey(0));  // 0.563
}

TEST(GradientBands, PlainColumnDirectionsRunLeftToRight) {
  const TColor red = 0x0000FF;
  const TColor blue = 0xFF0000;
  TBitmap32 bitmap;
  PaintGradient(bitmap, 453, 2, red, blue, bdLeft);
  EXPECT_EQ(bitmap.At(0, 1), MakePixel(255, 0, 0));
  EXPECT_EQ(bitmap.At(452, 1), MakePixel(0, 0, 254));
  PaintGradient(bitmap, 453, 2, red, blue, bdRight);
  EXPECT_EQ(bitmap.At(0, 0), MakePixel(0, 0, 255));
  EXPECT_EQ(bitmap.At(452, 0), MakePixel(254, 0, 0));
}

TEST(GradientBands, ShortExtentGivesEveryRowExactlyOneBand) {
  TBitmap32 bitmap;
  PaintGradient(bitmap, 5, 100, kBlack, kWhite, bdUp);
  // Row 0 lies in band 2 ([0, 1)); bands 451 and 452 are empty, so row 99 is band 450.
  EXPECT_EQ(bitmap.At(0, 0), Grey(1));
  EXPECT_EQ(bitmap.At(0, 99), Grey(253));
  std::set<TPixel> colours;
  for (int y = 0; y < 100; ++y) {
    for (int x = 1; x < 5; ++x) ASSERT_EQ(bitmap.At(x, y), bitmap.At(0, y)) << "row " << y;
    colours.insert(bitmap.At(0, y));
  }
  EXPECT_EQ(colours.size(), 100u) << "100 non-empty bands, each a different grey";
}

TEST(GradientBands, MirroredDirectionsUseOddStepsAndRepeatStepOneAtTheFarEdge) {
  EXPECT_EQ(MirroredBandStep(0), 1);
  EXPECT_EQ(MirroredBandStep(225), 451);
  EXPECT_EQ(MirroredBandStep(226), 451);
  EXPECT_EQ(MirroredBandStep(451), 1);
  EXPECT_EQ(MirroredBandStep(452), 1);

  const TGradientTable table = BuildGradientTable(kBlack, kWhite);
  const auto grey = [&](int step) { return PixelFromColor(table[static_cast<std::size_t>(step)]); };
  TBitmap32 bitmap;
  PaintGradient(bitmap, 2, 453, kBlack, kWhite, bdHorzIn);
  EXPECT_EQ(bitmap.At(0, 0), grey(1));
  EXPECT_EQ(bitmap.At(0, 451), grey(1));
  EXPECT_EQ(bitmap.At(0, 452), grey(1));
  EXPECT_EQ(bitmap.At(1, 225), grey(451));
  EXPECT_EQ(bitmap.At(1, 226), grey(451));
  EXPECT_EQ(bitmap.At(0, 1), grey(3));

  const TGradientTable reversed = BuildGradientTable(kWhite, kBlack);
  PaintGradient(bitmap, 453, 2, kBlack, kWhite, bdVertOut);
  EXPECT_EQ(bitmap.At(0, 1), PixelFromColor(reversed[1]));
  EXPECT_EQ(bitmap.At(452, 1), PixelFromColor(reversed[1]));
  EXPECT_EQ(bitmap.At(226, 0), PixelFromColor(reversed[451]));
}

TEST(GradientBands, EqualColoursGiveAUniformBitmapInEveryDirection) {
  const TColor colour = 0x405060;
  for (int d = 0; d < EnumCount(TDirection{}); ++d) {
    TBitmap32 bitmap;
    PaintGradient(bitmap, 37, 29, colour, colour, static_cast<TDirection>(d));
    for (const TPixel p : bitmap.Pixels()) ASSERT_EQ(p, PixelFromColor(colour)) << "direction " << d;
  }
}

TEST(MakeGradientBitmap, SizesTheBitmapAndLeavesUnknownDirectionsWhite) {
  EXPECT_TRUE(MakeGradientBitmap(0, 10, kBlack, kWhite, bdUp).Empty());
  EXPECT_TRUE(MakeGradientBitmap(10, 0, kBlack, kWhite, bdLeft).Empty());
  EXPECT_TRUE(MakeGradientBitmap(-4, 10, kBlack, kWhite, bdLeft).Empty());

  const TBitmap32& painted = MakeGradientBitmap(8, 6, kBlack, kBlack, bdUp);
  EXPECT_EQ(painted.Width(), 8);
  EXPECT_EQ(painted.At(7, 5), Grey(0));
  for (const int d : {-1, 8}) {
    const TBitmap32& unpainted = MakeGradientBitmap(8, 6, kBlack, kBlack, static_cast<TDirection>(d));
    ASSERT_EQ(unpainted.Height(), 6);
    for (const TPixel p : unpainted.Pixels()) ASSERT_EQ(p, kWhitePixel) << "direction " << d;
  }
  const TBitmap32& resized = MakeGradientBitmap(3, 4, kWhite, kWhite, bdVertIn);
  EXPECT_EQ(resized.Width(), 3);
  EXPECT_EQ(resized.Height(), 4);
  EXPECT_EQ(resized.At(2, 3), Grey(255));
}

}  // namespace
}  // namespace lumora
