// The 32-bit bitmap's drawing operations: clipping, region copies, colour keys and
// filtered stretching.
#include "imaging/bitmap32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace lumora {
namespace {

constexpr TPixel kRed = MakePixel(255, 0, 0);
constexpr TPixel kBlue = MakePixel(0, 0, 255);

TBitmap32 Numbered(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.At(x, y) = MakePixel(std::uint8_t(x), std::uint8_t(y), 7);
  return b;
}

TBitmap32 Grey(std::initializer_list<int> values) {
  TBitmap32 b(static_cast<int>(values.size()), 1);
  int x = 0;
  for (int v : values) b.At(x++, 0) = MakePixel(std::uint8_t(v), std::uint8_t(v), std::uint8_t(v));
  return b;
}

TEST(Bitmap32Copy, FillAndCopyAreClippedToBothBitmaps) {
  TBitmap32 b(4, 3);
  EXPECT_EQ(b.At(3, 2), kWhitePixel) << "a fresh bitmap is white";
  b.FillRect(TRect{-5, 1, 2, 99}, kRed);
  EXPECT_EQ(b.At(0, 1), kRed);
  EXPECT_EQ(b.At(1, 2), kRed);
  EXPECT_EQ(b.At(2, 1), kWhitePixel);
  EXPECT_EQ(b.At(0, 0), kWhitePixel);

  const TBitmap32 src = Numbered(5, 5);
  TBitmap32 dst(4, 4, 0);
  dst.CopyRect(-1, 2, src, TRect{1, 1, 6, 4});  // source rect reaches past src; target past dst
  // Pixel (x, y) of dst comes from src (x + 2, y - 1) for x in 0..2, y in 2..3.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool copied = x <= 2 && y >= 2;
      EXPECT_EQ(dst.At(x, y), copied ? src.At(x + 2, y - 1) : 0u) << x << "," << y;
    }
  dst.CopyRect(10, 10, src, src.Bounds());  // entirely outside: nothing
}

TEST(Bitmap32Copy, OverlappingCopiesWithinOneBitmapKeepTheSource) {
  TBitmap32 b = Numbered(6, 6);
  const TBitmap32 before = b;
  b.CopyRect(1, 1, b, TRect{0, 0, 5, 5});
  for (int y = 1; y < 6; ++y)
    for (int x = 1; x < 6; ++x) ASSERT_EQ(b.At(x, y), before.At(x - 1, y - 1)) << x << "," << y;
  b = before;
  b.CopyRect(0, 0, b, TRect{1, 1, 6, 6});
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(b.At(x, y), before.At(x + 1, y + 1)) << x << "," << y;
}

TEST(Bitmap32Copy, RegionAndKeyLimitWhatIsCopied) {
  const TBitmap32 src = Numbered(6, 6);
  TBitmap32 dst(10, 10, 0);
  const TRegion clip = Union(TRegion::FromRect(0, 0, 4, 4), TRegion::FromRect(6, 6, 20, 20));
  dst.CopyThroughRegion(2, 2, src, clip);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool placed = x >= 2 && x < 8 && y >= 2 && y < 8;
      const bool want = placed && clip.Contains(x, y);
      EXPECT_EQ(dst.At(x, y), want ? src.At(x - 2, y - 2) : 0u) << x << "," << y;
    }

  TBitmap32 sprite(3, 1);
  sprite.At(0, 0) = kRed;
  sprite.At(1, 0) = kBlue & 0x00FFFFFFu;  // the key colour, whatever its alpha
  sprite.At(2, 0) = kBlue;
  TBitmap32 canvas(4, 1, 0);
  canvas.DrawTransparent(1, 0, sprite, kBlue);
  EXPECT_EQ(canvas.At(0, 0), 0u);
  EXPECT_EQ(canvas.At(1, 0), kRed);
  EXPECT_EQ(canvas.At(2, 0), 0u);
  EXPECT_EQ(canvas.At(3, 0), 0u);
}

TEST(Bitmap32Stretch, ShrinkingAveragesTheCoveredArea) {
  TBitmap32 dst(2, 1, 0);
  dst.StretchDraw(TRect{0, 0, 2, 1}, Grey({0, 100, 200, 255}));
  EXPECT_EQ(PixelG(dst.At(0, 0)), 50);
  EXPECT_EQ(PixelG(dst.At(1, 0)), 228);  // (200 + 255) / 2 = 227.5
  // Three onto two: each target pixel covers one and a half source pixels.
  dst.StretchDraw(TRect{0, 0, 2, 1}, Grey({0, 90, 180}));
  EXPECT_EQ(PixelG(dst.At(0, 0)), 30);
  EXPECT_EQ(PixelG(dst.At(1, 0)), 150);
  // A fine checkerboard shrunk to a quarter is an even grey, not a pattern.
  TBitmap32 checker(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) checker.At(x, y) = ((x + y) & 1) ? kWhitePixel : MakePixel(0, 0, 0);
  TBitmap32 small(16, 16, 0);
  small.StretchDraw(small.Bounds(), checker);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_NEAR(PixelG(small.At(x, y)), 128, 1) << x << "," << y;
}

TEST(Bitmap32Stretch, EnlargingInterpolatesBetweenPixelCentres) {
  TBitmap32 dst(4, 1, 0);
  dst.StretchDraw(TRect{0, 0, 4, 1}, Grey({0, 200}));
  // Target centres 0.5, 1.5, 2.5, 3.5 map to source positions -0.25, 0.25, 0.75, 1.25.
  EXPECT_EQ(PixelG(dst.At(0, 0)), 0);
  EXPECT_EQ(PixelG(dst.At(1, 0)), 50);
  EXPECT_EQ(PixelG(dst.At(2, 0)), 150);
  EXPECT_EQ(PixelG(dst.At(3, 0)), 200);
}

TEST(Bitmap32Stretch, FlatColourStaysExactAndMirroringSwapsSides) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> size(1, 40);
  const TPixel colour = MakePixel(13, 200, 77, 99);
  for (int round = 0; round < 50; ++round) {
    const TBitmap32 src(size(rng), size(rng), colour);
    TBitmap32 dst(size(rng), size(rng), 0);
    dst.StretchDraw(dst.Bounds(), src);
    for (TPixel p : dst.Pixels()) ASSERT_EQ(p, colour) << "round " << round;
  }
  const TBitmap32 src = Numbered(3, 2);
  TBitmap32 mirrored(3, 2, 0);
  mirrored.StretchDraw(TRect{3, 2, 0, 0}, src);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(mirrored.At(x, y), src.At(2 - x, 1 - y)) << x << "," << y;
  // Partly outside the target: the visible part is what a larger target would show.
  TBitmap32 big(8, 8, 0);
  big.StretchDraw(TRect{0, 0, 8, 8}, Numbered(4, 4));
  TBitmap32 part(4, 4, 0);
  part.StretchDraw(TRect{-4, -4, 4, 4}, Numbered(4, 4));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(part.At(x, y), big.At(x + 4, y + 4));
}

// Rows handed over one at a time give StretchDraw's pixels, shrinking, growing and
// keeping either axis, and every target pixel is written.
TEST(Bitmap32Stretch, RowByRowGivesTheSamePixels) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  const struct { int sw, sh, dw, dh; } cases[] = {{300, 200, 192, 108}, {31, 17, 7, 5}, {16, 16, 16, 9},
                                                  {9, 40, 9, 40},       {5, 3, 12, 11}, {64, 48, 1, 1}};
  for (const auto& c : cases) {
    TBitmap32 src(c.sw, c.sh);
    for (TPixel& p : src.Pixels())
      p = MakePixel(std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng)));
    TBitmap32 whole(c.dw, c.dh, 0);
    whole.StretchDraw(whole.Bounds(), src);
    TBitmap32 rows(c.dw, c.dh, 0x12345678u);
    {
      TRowStretcher stretcher(c.sw, c.sh, rows);
      for (int y = 0; y < c.sh; ++y) stretcher.AddRow(src.Row(y));
    }
    EXPECT_TRUE(rows == whole) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
  }
}

// Only what lies outside the kept part is given up: those pixels stay as they were, and
// on Linux the pages wholly outside it are no longer resident.
TEST(Bitmap32Memory, ReleasingOutsideKeepsThePart) {
  const TRect keeps[] = {{300, 40, 700, 90}, {0, 0, 2048, 1}, {2000, 199, 2048, 200}, {}};
  for (const TRect& keep : keeps) {
    TBitmap32 b = Numbered(2048, 200);
    const TBitmap32 before = b;
    b.ReleaseOutside(keep);
    for (int y = keep.Top; y < keep.Bottom; ++y)
      for (int x = keep.Left; x < keep.Right; ++x) ASSERT_EQ(b.At(x, y), before.At(x, y)) << x << "," << y;
#if defined(__linux__)
    // Rows 100 to 190 lie outside every part kept but the last row's: 8 KiB a row, whole pages.
    const long page = ::sysconf(_SC_PAGESIZE);
    const auto first = (reinterpret_cast<std::uintptr_t>(b.Row(100)) + page - 1) & ~std::uintptr_t(page - 1);
    const auto last = reinterpret_cast<std::uintptr_t>(b.Row(190)) & ~std::uintptr_t(page - 1);
    std::vector<unsigned char> resident((last - first) / page);
    ASSERT_EQ(::mincore(reinterpret_cast<void*>(first), last - first, resident.data()), 0);
    for (const unsigned char r : resident) EXPECT_EQ(r & 1, 0);
#endif
  }
}

}  // namespace
}  // namespace lumora
