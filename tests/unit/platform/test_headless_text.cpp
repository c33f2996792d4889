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
  // The faces shows name most, in their metric-compatible free faces.
  for (const auto& [face, file] : {std::pair{"Arial", "LiberationSans-Regular"}, std::pair{"times new roman", "LiberationSerif-Regular"},
                                   std::pair{"Courier New", "LiberationMono-Regular"}, std::pair{"Calibri", "Carlito-Regular"},
                                   std::pair{"Cambria", "Caladea-Regular"}})
    EXPECT_NE(text.FaceFile(TTextFont{.Name = face}).find(file), std::string::npos) << face;
  EXPECT_NE(text.FaceFile(TTextFont{.Name = "Arial", .Bold = true}).find("LiberationSans-Bold"), std::string::npos);
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

// Caption text is in the code page of its font's character set: Russian, Greek and
// Chinese captions read as written, in glyphs that differ from the same bytes read as
// Western text, the Chinese ones from a face of that script.
TEST(HeadlessText, TextIsReadInTheCodePageOfItsCharacterSet) {
  struct TCase {
    int Charset;
    std::string Bytes;
    std::u32string Expected;
  };
  const TCase cases[] = {
      {204, "\xCF\xF0\xE8\xE2\xE5\xF2", U"\u041F\u0440\u0438\u0432\u0435\u0442"},  // cp1251
      {161, "\xC3\xE5\xE9\xDC", U"\u0393\u03B5\u03B9\u03AC"},                         // cp1253
      {134, "\xC4\xE3\xBA\xC3", U"\u4F60\u597D"},                                       // cp936
      {0, "caf\xE9\x80", U"caf\u00E9\u20AC"},
      {134, "a\x81", U"a\uFFFD"},  // a character cut off at the end
  };
  THeadlessTextRasterizer text;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Charset);
    EXPECT_EQ(UnicodeFromCodePage(c.Bytes, CodePageOfCharset(c.Charset)), c.Expected);
    const TTextFont font{.Name = "Arial", .Charset = c.Charset, .Height = -24};
    const TTextExtent e = text.TextExtent(font, c.Bytes);
    TBitmap32 own(e.Width, e.Height);
    text.PaintText(own, 0, 0, font, c.Bytes, MakePixel(0, 0, 0));
    EXPECT_GT(CountNonWhite(own, 0, 0, own.Width(), own.Height()), 20);
    if (c.Charset == 0) continue;
    TTextFont western = font;
    western.Charset = 0;
    TBitmap32 other(e.Width, e.Height);
    text.PaintText(other, 0, 0, western, c.Bytes, MakePixel(0, 0, 0));
    EXPECT_NE(own, other);
  }
  // Full-width ideographs: two characters about two ems wide, not two narrow boxes.
  EXPECT_GT(text.TextExtent(TTextFont{.Name = "SimSun", .Charset = 134, .Height = -24}, "\xC4\xE3\xBA\xC3").Width, 40);
  EXPECT_EQ(UnicodeFromCodePage("\xE9", 1), U"\u0398") << "the OEM code page is 437";
}

}  // namespace
}  // namespace lumora::platform
