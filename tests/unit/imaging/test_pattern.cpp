// The pattern painter: the string grammar, the catalogue's 32-bit arithmetic, the
// painted pixels and the failure rules.
#include "imaging/pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

namespace lumora {
namespace {


TPixel Rgb(int r, int g, int b) { return MakePixel(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)); }

std::int32_t Value(int index, const TPatternSettings& s, std::int32_t y, std::int32_t x) {
  std::int32_t v = 0;
  EXPECT_TRUE(PatternFunctions[static_cast<std::size_t>(index)](s, y, x, v)) << "function " << index;
  return v;
}

TEST(PatternList, SplitsOnCommasAndBlanks) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitPatternList("  1, 2\t3 ,4"), (V{"1", "2", "3", "4"}));
  EXPECT_EQ(SplitPatternList("1,,2"), (V{"1", "", "2"}));
  EXPECT_EQ(SplitPatternList("1,"), (V{"1"})) << "a comma at the very end adds nothing";
  EXPECT_EQ(SplitPatternList(",1"), (V{"", "1"}));
  EXPECT_EQ(SplitPatternList(""), V{});
  EXPECT_EQ(SplitPatternList("1,2,3,4", 2), (V{"1", "2"}));
}

TEST(PatternList, QuotedItemsHoldSeparatorsAndDoubledQuotes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitPatternList(R"("1, 2",3)"), (V{"1, 2", "3"}));
  EXPECT_EQ(SplitPatternList(R"("a""b" c)"), (V{"a\"b", "c"}));
  EXPECT_EQ(SplitPatternList(R"("",4)"), (V{"", "4"}));
  EXPECT_EQ(SplitPatternList(R"("12"34)"), (V{"12", "34"}));
  EXPECT_EQ(SplitPatternList(R"("unclosed, still)"), (V{"unclosed, still"}));
}

TEST(PatternInteger, ReadsDecimalAndHexadecimalWithinThirtyTwoBits) {
  EXPECT_EQ(ParsePatternInteger("0"), 0);
  EXPECT_EQ(ParsePatternInteger("+17"), 17);
  EXPECT_EQ(ParsePatternInteger("-17"), -17);
  EXPECT_EQ(ParsePatternInteger("$1F"), 31);
  EXPECT_EQ(ParsePatternInteger("x1f"), 31);
  EXPECT_EQ(ParsePatternInteger("X10"), 16);
  EXPECT_EQ(ParsePatternInteger("0x10"), 16);
  EXPECT_EQ(ParsePatternInteger("0XfF"), 255);
  EXPECT_EQ(ParsePatternInteger("-$10"), -16);
  EXPECT_EQ(ParsePatternInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParsePatternInteger("2147483647"), INT_MAX);
  EXPECT_EQ(ParsePatternInteger("-2147483648"), INT_MIN);
  EXPECT_EQ(ParsePatternInteger("000000000000042"), 42);
  for (const char* bad : {"", "+", "-", "$", "x", "0x", "1a", "12 ", " 12", "2147483648", "-2147483649",
                          "$100000000", "1.5", "0x-1", "--1", "$G"}) {
    EXPECT_FALSE(ParsePatternInteger(bad)) << '"' << bad << '"';
  }
}

TEST(PatternString, ReadsSevenNumbersAfterTheFirstBar) {
  TPatternSettings s;
  ASSERT_EQ(ParsePatternString("My, pattern|1 2 3,300,$1FF,-1,256,99", s), TPatternParse::Ok);
  EXPECT_EQ(s, (TPatternSettings{1, 2, 3, 44, 255, 255, 0}));
  ASSERT_EQ(ParsePatternString(R"(|"40",0x28,  40 ,0,0,0,0,junk)", s), TPatternParse::Ok);
  EXPECT_EQ(s.FunctionR, 40);

  EXPECT_EQ(ParsePatternString("0,0,0,1,1,1,1", s), TPatternParse::NoBar);
  EXPECT_EQ(ParsePatternString("a|b|0,0,0,1,1,1,1", s), TPatternParse::Malformed);
  EXPECT_EQ(ParsePatternString("a|0,0,0,1,1,1", s), TPatternParse::Malformed);
  EXPECT_EQ(ParsePatternString("a|0,0,0,1,,1,1", s), TPatternParse::Malformed);
  EXPECT_EQ(ParsePatternString("a|0,0,0,1,1,1,one", s), TPatternParse::Malformed);
  EXPECT_EQ(ParsePatternString("a|41,0,0,1,1,1,1", s), TPatternParse::Malformed);
  EXPECT_EQ(ParsePatternString("a|0,-1,0,1,1,1,1", s), TPatternParse::Malformed);
  EXPECT_EQ(ParsePatternString("a|", s), TPatternParse::Malformed);
}

TEST(PatternFunctions, RemaindersTakeTheSignOfTheDividend) {
  const TPatternSettings m10{0, 0, 0, 0, 0, 0, 10};
  EXPECT_EQ(Value(2, m10, 3, 0), -3);
  EXPECT_EQ(Value(2, m10, 3, 0) & 0xFF, 253);
  EXPECT_EQ(Value(9, m10, 0, 23), 3);
  EXPECT_EQ(Value(25, m10, 7, 12), 7);  // x >= m: y mod x
  EXPECT_EQ(Value(25, m10, 17, 4), 7);  // otherwise y mod m
  EXPECT_EQ(Value(26, m10, 12, 7), 7);
  EXPECT_EQ(Value(27, m10, 3, 14), 4);  // (14 mod 5) mod 19
  EXPECT_EQ(Value(30, m10, 13, 19), 1);  // 9 mod (3 + 1)
  EXPECT_EQ(Value(31, m10, 19, 13), -6);
  EXPECT_EQ(Value(36, m10, 5, 77), 77);
  EXPECT_EQ(Value(40, m10, 1, 3), (3 - 10) ^ (1 + 10));
}

TEST(PatternFunctions, ProductsAndSumsWrapAroundThirtyTwoBits) {
  const TPatternSettings s{0, 0, 0, 200, 100, 50, 10};
  // 46341 squared is 2147488281, which wraps to -2147479015.
  EXPECT_EQ(Value(0, s, 46341, 46341), -5);
  EXPECT_EQ(Value(11, s, 65536, 65536), 10) << "2^32 wraps to 0";
  EXPECT_EQ(Value(38, s, 65536, 0), 0);
  EXPECT_EQ(Value(39, s, 2, INT_MAX), static_cast<std::int32_t>(static_cast<std::uint32_t>(2u * INT_MAX) *
                                                                (static_cast<std::uint32_t>(INT_MAX) + 2u)));
  EXPECT_EQ(Value(12, s, 1, INT_MAX), INT_MIN ^ 10);
  EXPECT_EQ(Value(19, s, 0, INT_MAX), static_cast<std::int32_t>(static_cast<std::uint32_t>(INT_MAX) * 200u));
  // The lowest value divided by -1 gives remainder 0 instead of a trap.
  EXPECT_EQ(Value(27, s, -3, INT_MIN), 0);
}

TEST(PatternFunctions, DivisionByZeroIsReported) {
  const TPatternSettings m0{};
  std::int32_t v = 0;
  for (const int index : {0, 1, 2, 3, 4, 9, 10, 28, 29, 30, 31, 32, 33, 34, 36}) {
    EXPECT_FALSE(PatternFunctions[static_cast<std::size_t>(index)](m0, 5, 6, v)) << "function " << index;
  }
  EXPECT_FALSE(PatternFunctions[25](m0, 5, 0, v));  // y mod x at x = 0
  EXPECT_TRUE(PatternFunctions[25](m0, 5, 3, v));
  EXPECT_FALSE(PatternFunctions[26](m0, 0, 5, v));
  EXPECT_FALSE(PatternFunctions[27](m0, -2, 5, v));
  for (const int index : {5, 6, 7, 8, 11, 17, 18, 19, 35, 37, 38, 39, 40}) {
    EXPECT_TRUE(PatternFunctions[static_cast<std::size_t>(index)](m0, 5, 6, v)) << "function " << index;
  }
}

TEST(PaintPattern, DefaultStringPaintsEveryPixelOne) {
  TBitmap32 bitmap;
  ASSERT_EQ(PaintPattern(bitmap, 31, 17, DefaultPatternString), TPatternPaint::Painted);
  ASSERT_EQ(bitmap.Width(), 31);
  ASSERT_EQ(bitmap.Height(), 17);
  for (const TPixel p : bitmap.Pixels()) ASSERT_EQ(p, Rgb(1, 1, 1));
}

TEST(PaintPattern, PaintsTheWorkedPixels) {
  TBitmap32 bitmap;
  ASSERT_EQ(PaintPattern(bitmap, 6, 2, "stripes|9,9,9,0,0,0,2"), TPatternPaint::Painted);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(bitmap.At(x, 1), x % 2 ? Rgb(1, 1, 1) : Rgb(0, 0, 0)) << x;

  ASSERT_EQ(PaintPattern(bitmap, 300, 270, "xy|18,17,35,0,0,0,0"), TPatternPaint::Painted);
  for (const auto& [x, y] : {std::pair{0, 0}, {255, 3}, {256, 7}, {299, 269}, {100, 260}}) {
    EXPECT_EQ(bitmap.At(x, y), Rgb((x ^ y) & 0xFF, y & 0xFF, x & 0xFF)) << x << "," << y;
  }

  ASSERT_EQ(PaintPattern(bitmap, 1, 4, "|2,17,18,0,0,0,10"), TPatternPaint::Painted);
  EXPECT_EQ(PixelB(bitmap.At(0, 3)), 253) << "(0 - 3) mod 10 = -3";

  // Offsets are added modulo 256; 300 acts as 44 and a parameter of 256 as 0.
  ASSERT_EQ(PaintPattern(bitmap, 3, 3, "|6,6,18,300,-1,255,256"), TPatternPaint::Painted);
  EXPECT_EQ(bitmap.At(2, 2), Rgb(1, 255, 44));
}

TEST(PaintPattern, ItemsAfterTheSeventhChangeNothing) {
  TBitmap32 seven;
  TBitmap32 eight;
  ASSERT_EQ(PaintPattern(seven, 40, 30, "|0,28,39,3,4,5,7"), TPatternPaint::Painted);
  ASSERT_EQ(PaintPattern(eight, 40, 30, "|0,28,39,3,4,5,7,99"), TPatternPaint::Painted);
  EXPECT_EQ(seven, eight);
}

TEST(PaintPattern, MissingBarFailsSilentlyAndMalformedListsAreReported) {
  const TBitmap32 original(5, 4, Rgb(9, 8, 7));
  TBitmap32 bitmap = original;

  EXPECT_EQ(PaintPattern(bitmap, 50, 50, "0,0,0,1,1,1,1"), TPatternPaint::NoBar);
  EXPECT_EQ(bitmap, original);

  for (const char* bad : {"six|0,0,0,1,1,1", "index|0,41,0,1,1,1,1", "negative|-1,0,0,1,1,1,1",
                          "empty|0,0,0,,1,1,1", "word|0,0,0,1,1,1,m"}) {
    EXPECT_EQ(PaintPattern(bitmap, 50, 50, bad), TPatternPaint::Error) << bad;
    EXPECT_EQ(bitmap, original) << bad;
  }
}

TEST(PaintPattern, DivisionByZeroIsReportedAfterSizingTheBitmap) {
  TBitmap32 bitmap;
  EXPECT_EQ(PaintPattern(bitmap, 20, 10, "zeros|0,0,0,0,0,0,0"), TPatternPaint::Error);
  ASSERT_EQ(bitmap.Width(), 20);
  ASSERT_EQ(bitmap.Height(), 10);
  for (const TPixel p : bitmap.Pixels()) ASSERT_EQ(p, kWhitePixel);

  // A divider in the red channel only fails just the same.
  EXPECT_EQ(PaintPattern(bitmap, 20, 10, "|18,17,26,0,0,0,0"), TPatternPaint::Error);

  // An empty bitmap evaluates nothing and so cannot fail.
  EXPECT_EQ(PaintPattern(bitmap, 0, 10, "zeros|0,0,0,0,0,0,0"), TPatternPaint::Painted);
  EXPECT_TRUE(bitmap.Empty());
}

TEST(PaintPattern, PaintedPixelsMatchTheCatalogueForEveryFunction) {
  // The painter takes remainders by m through reciprocals, computes one period of a
  // repeating row and copies it, and shares work between channels; every pixel must
  // still be what the catalogue entry gives. The bitmap is wider than the longest
  // period (256 columns) and taller than several values of m.
  std::mt19937 random(7);
  TBitmap32 bitmap;
  // With m = 0 only the functions that never divide by m can paint.
  const std::vector<int> withoutM = {5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 27, 35, 37, 38, 39, 40};
  const auto other = [&](int m) {
    return static_cast<std::int32_t>(m == 0 ? withoutM[random() % withoutM.size()] : random() % PatternFunctionCount);
  };
  for (const int m : {0, 1, 2, 7, 10, 200, 255}) {
    for (int f = 0; f < PatternFunctionCount; ++f) {
      if (m == 0 && std::find(withoutM.begin(), withoutM.end(), f) == withoutM.end()) continue;
      const TPatternSettings s{f,
                               other(m),
                               f % 3 ? f : other(m),
                               static_cast<std::uint8_t>(random()),
                               static_cast<std::uint8_t>(random()),
                               static_cast<std::uint8_t>(random()),
                               static_cast<std::uint8_t>(m)};
      bitmap.SetSize(601, 270);
      ASSERT_TRUE(PaintPatternSettings(bitmap, s)) << f;
      // Rows with small y, and rows where y passes m = 200 and m = 255 (functions 25, 26).
      TBitmap32 expected = bitmap;
      for (int y = 0; y < bitmap.Height(); ++y) {
        if (!(y < 12 || (y >= 196 && y < 204) || y >= 252)) continue;
        for (int x = 0; x < bitmap.Width(); ++x) {
          std::int32_t b = 0, g = 0, r = 0;
          PatternFunctions[static_cast<std::size_t>(s.FunctionB)](s, y, x, b);
          PatternFunctions[static_cast<std::size_t>(s.FunctionG)](s, y, x, g);
          PatternFunctions[static_cast<std::size_t>(s.FunctionR)](s, y, x, r);
          expected.At(x, y) = Rgb((r + s.Or) & 0xFF, (g + s.Og) & 0xFF, (b + s.Ob) & 0xFF);
        }
      }
      if (bitmap == expected) continue;
      for (int i = 0; i < static_cast<int>(expected.Pixels().size()); ++i) {
        ASSERT_EQ(bitmap.Pixels()[static_cast<std::size_t>(i)], expected.Pixels()[static_cast<std::size_t>(i)])
            << "functions " << s.FunctionB << "," << s.FunctionG << "," << s.FunctionR << " m=" << m << " at "
            << i % bitmap.Width() << "," << i / bitmap.Width();
      }
    }
  }
}

}  // namespace
}  // namespace lumora
