// Headless text: the cell metrics the caption layout relies on, glyph pixels inside
// the measured extent, and the same pixels on every run.
#include "platform/headless/headless_text.h"

#include <gtest/gtest.h>

namespace lumora::platform {
namespace {

int CountNonWhite(const TBitmap32& b, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(b.Height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(b.Width(), x1); ++x) n += b.At(x, y) != kWhitePixel;
  return n;
}

TEST(HeadlessText, CellHeightFollowsTheHeightRulesAndIsIndependentOfTheText) {
  THeadlessTextRasterizer text;
  TTextFont font{.Name = "DejaVu Sans", .Height = -24};
  const TTextExtent a = text.TextExtent(font, "Hg");
  const TTextExtent b = text.TextExtent(font, "..");
  EXPECT_EQ(a.Height, b.Height);
  EXPECT_GT(a.Height, 24) << "the cell is taller than the character height";
  EXPECT_LT(a.Height, 36);
  EXPECT_GT(a.Width, b.Width);
  font.Height = 30;  // positive: the cell height itself
  EXPECT_EQ(text.TextExtent(font, "x").Height, 30);
  EXPECT_EQ(text.TextExtent(font, "").Width, 0);
  EXPECT_GT(text.TextExtent(TTextFont{}, "x").Height, 0) << "height 0 takes the default size";
}

TEST(HeadlessText, GlyphsLandInsideTheirExtentInTheGivenColour) {
  THeadlessTextRasterizer text;
  const TTextFont font{.Name = "DejaVu Sans", .Height = -20};
  const TTextExtent e = text.TextExtent(font, "Lumora");
  TBitmap32 bitmap(e.Width + 20, e.Height + 20);
  text.PaintText(bitmap, 10, 10, font, "Lumora", MakePixel(0, 0, 0));
  EXPECT_GT(CountNonWhite(bitmap, 10, 10, 10 + e.Width, 10 + e.Height), 50);
  EXPECT_EQ(CountNonWhite(bitmap, 0, 0, bitmap.Width(), 10), 0);
  EXPECT_EQ(CountNonWhite(bitmap, 0, 10 + e.Height, bitmap.Width(), bitmap.Height()), 0);
  bool sawBlack = false;
  for (const TPixel p : bitmap.Pixels()) sawBlack |= p == MakePixel(0, 0, 0);
  EXPECT_TRUE(sawBlack) << "glyph cores are fully covered";

  TBitmap32 again(bitmap.Width(), bitmap.Height());
  text.PaintText(again, 10, 10, font, "Lumora", MakePixel(0, 0, 0));
  EXPECT_EQ(again, bitmap) << "renders are deterministic";

  TBitmap32 clipped(5, 5);
  text.PaintText(clipped, -3, -8, font, "Lumora", MakePixel(0, 0, 0));  // must not write outside
}

// A line's extent is its whole cell: descenders, accents and the overhang of slanted
// and bold glyphs all land inside it, at every size and style.
TEST(HeadlessText, EveryPixelOfALineLandsInsideItsExtent) {
  THeadlessTextRasterizer text;
  const std::string line = "Dog jumps, gently f|_\xC7\xC5";
  for (int height = -8; height >= -80; height -= 3) {
    for (int style = 0; style < 4; ++style) {
      const TTextFont font{.Name = "DejaVu Sans", .Height = height, .Bold = (style & 1) != 0, .Italic = (style & 2) != 0};
      const TTextExtent e = text.TextExtent(font, line);
      constexpr int kMargin = 40;
      TBitmap32 bitmap(e.Width + 2 * kMargin, e.Height + 2 * kMargin);
      text.PaintText(bitmap, kMargin, kMargin, font, line, MakePixel(0, 0, 0));
      const int all = CountNonWhite(bitmap, 0, 0, bitmap.Width(), bitmap.Height());
      EXPECT_EQ(CountNonWhite(bitmap, kMargin, kMargin, kMargin + e.Width, kMargin + e.Height), all)
          << "height " << height << " style " << style;
    }
  }
}

TEST(HeadlessText, MissingFacesFallBackToTheDefaultFaceAndStylesPickTheirFaces) {
  THeadlessTextRasterizer text;
  const std::string plain = text.FaceFile(TTextFont{.Name = "DejaVu Sans"});
  EXPECT_NE(plain.find("DejaVuSans"), std::string::npos);
  EXPECT_EQ(text.FaceFile(TTextFont{.Name = "No Such Face At All"}), plain);
  EXPECT_EQ(text.FaceFile(TTextFont{.Name = "MS Sans Serif"}), plain);
  EXPECT_NE(text.FaceFile(TTextFont{.Name = "DejaVu Sans", .Bold = true}), plain);
  const TTextFont bold{.Name = "DejaVu Sans", .Height = -20, .Bold = true};
  const TTextFont regular{.Name = "DejaVu Sans", .Height = -20};
  EXPECT_GT(text.TextExtent(bold, "Wide text").Width, text.TextExtent(regular, "Wide text").Width);
}

TEST(HeadlessText, AnsiBytesMapToTheirCharacters) {
  EXPECT_EQ(UnicodeFromAnsi('A'), U'A');
  EXPECT_EQ(UnicodeFromAnsi(0x80), U'\u20AC');
  EXPECT_EQ(UnicodeFromAnsi(0xE9), U'\u00E9');
  THeadlessTextRasterizer text;
  TTextFont font;
  font.Height = -16;
  EXPECT_GT(text.TextExtent(font, "caf\xE9").Width, text.TextExtent(font, "caf").Width);
}

}  // namespace
}  // namespace lumora::platform
