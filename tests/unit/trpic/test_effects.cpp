// The effect frames on their own: progress, step counts, the band regions of the worked
// examples, and for every style the frame sequence of a show-in.
#include "platform/headless/headless_random.h"
#include "base/mul_div.h"
#include "trpic/effects.h"
#include "motion_rig.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace lumora {
namespace {

using effects::BandRegion;
using effects::Progress;
using effects::SnapDistance;
using effects::StepCount;
using effects::StyleRegion;

TRegion Rects(std::initializer_list<TRect> rects) { return TRegion::FromRects(std::vector<TRect>(rects)); }

TEST(Effects, WorkedNumbers) {
  EXPECT_EQ(Progress(200, 100, 50, 100), (TPoint{100, 50}));
  EXPECT_EQ(Progress(100, 200, 50, 100), (TPoint{50, 100}));
  EXPECT_EQ(Progress(640, 480, 0, 640), (TPoint{0, 0}));
  EXPECT_EQ(Progress(640, 480, 640, 640), (TPoint{640, 480}));
  // Snap distance: max / 90 rounded; nothing below 45 pixels.
  EXPECT_EQ(SnapDistance(44, 10), 0);
  EXPECT_EQ(SnapDistance(10, 44), 0);
  EXPECT_EQ(SnapDistance(45, 10), 1);
  EXPECT_EQ(SnapDistance(1920, 1080), 21);
  // Step counts.
  EXPECT_EQ(StepCount(0, 640, 480), 1);
  EXPECT_EQ(StepCount(1, 640, 480), 640);
  EXPECT_EQ(StepCount(3, 640, 480), 480);
  EXPECT_EQ(StepCount(12, 640, 480), 640);
  EXPECT_EQ(StepCount(13, 640, 480), 480);
  for (int style = 15; style <= 18; ++style) {
    EXPECT_EQ(StepCount(style, 30, 30), 30);  // square: H
    EXPECT_EQ(StepCount(style, 40, 30), 40);
    EXPECT_EQ(StepCount(style, 30, 40), 40);
  }
  for (int style = 19; style <= 78; ++style) EXPECT_EQ(StepCount(style, 640, 480), 100);
}

TEST(Effects, Style21OnA100By20Picture) {
  platform::THeadlessRandom random;
  ASSERT_EQ(SnapDistance(100, 20), 1);
  // k = 25: band argument 50, the even bands from the right.
  EXPECT_EQ(StyleRegion(21, 25, 100, 100, 20, random), Rects({{50, 0, 100, 5}, {50, 10, 100, 15}, {50, 20, 100, 25}}));
  // k = 75: band argument 150, overshoot: even bands full, odd bands from the right.
  EXPECT_EQ(StyleRegion(21, 75, 100, 100, 20, random),
            Rects({{0, 0, 100, 5}, {0, 10, 100, 15}, {50, 5, 100, 10}, {50, 15, 100, 20}}));
  EXPECT_TRUE(StyleRegion(21, 0, 100, 100, 20, random).Empty());
}

TEST(Effects, BandsSnapOnlyFromFortyFivePixels) {
  // 40 wide: D = 0, a band one pixel short stays short.
  EXPECT_EQ(BandRegion(39, 0, 40, 5, SnapDistance(40, 5), 1, 0), Rects({{1, 0, 40, 5}}));
  // 180 wide: D = 2, one pixel short snaps to the whole width, two short do not.
  EXPECT_EQ(BandRegion(179, 0, 180, 5, SnapDistance(180, 5), 2, 0), Rects({{0, 0, 180, 5}}));
  EXPECT_EQ(BandRegion(178, 0, 180, 5, SnapDistance(180, 5), 2, 0), Rects({{0, 0, 178, 5}}));
  // Kind 3 alternates sides; columns mirror rows.
  EXPECT_EQ(BandRegion(4, 0, 10, 10, 0, 3, 0), Rects({{6, 0, 10, 5}, {0, 5, 4, 10}, {6, 10, 10, 15}, {0, 15, 4, 20}}));
  EXPECT_EQ(BandRegion(0, 4, 10, 10, 0, 0, 3), Rects({{0, 6, 5, 10}, {5, 0, 10, 4}, {10, 6, 15, 10}, {15, 0, 20, 4}}));
  // Overshoot of kind 5: odd bands from the left.
  EXPECT_EQ(BandRegion(13, 0, 10, 10, 0, 5, 0), Rects({{0, 0, 10, 5}, {0, 5, 3, 10}}));
}

// Style 78's triangles are filled row by row; they must be the polygon fill's pixels.
TEST(Effects, GridTrianglesAreThePolygonsOfTheCatalogue) {
  platform::THeadlessRandom random;
  for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{37, 23}, std::pair{23, 37}, std::pair{100, 100}}) {
    for (int k = 1; k < 100; k += 7) {
      const TPoint progress = Progress(w, h, k, 100);
      const int a = progress.X / 5;
      const int b = MulDiv(a, h, w);
      TRegion expected;
      for (int i = 0; i <= 9; ++i)
        for (int j = 0; j <= 9; ++j) {
          const int p = w * i / 10, q = h * j / 10;
          expected = Union(expected, effects::TriangleRegion({p, q}, {p + a, q}, {p, q + b}));
        }
      EXPECT_EQ(StyleRegion(78, k, 100, w, h, random), expected) << w << "x" << h << " k " << k;
    }
  }
}

// The frames copy through rectangle lists; they must give the region's pixels exactly.
TEST(Effects, RegionStylesCopyExactlyTheirRegion) {
  const TPicture picture = testing::PatternPicture(97, 61);
  for (int style = 19; style <= 78; ++style) {
    for (int k : {1, 13, 37, 50, 64, 88, 99}) {
      platform::THeadlessRandom forRegion(3), forFrame(3);
      TRegion region = StyleRegion(style, k, 100, 97, 61, forRegion);
      region.Offset(4, 3);
      TBitmap32 expected(105, 70, 0xFF000000u), actual(105, 70, 0xFF000000u);
      expected.CopyThroughRegion(4, 3, picture.Bitmap(), region);
      effects::PaintEffectStep(actual, 4, 3, picture.Bitmap(), style, k, 100, forFrame);
      ASSERT_TRUE(testing::SameBitmap("region_" + std::to_string(style) + "_" + std::to_string(k), expected, actual));
    }
  }
}

TEST(Effects, RaggedBandsJitterWhileMovingAndRestWhenComplete) {
  platform::THeadlessRandom random;
  // Complete: no jitter, the whole width; each band is 5 + H mod 5 high.
  EXPECT_EQ(effects::RaggedBandRegion(70, 0, 70, 12, 1, 0, random), Rects({{0, 0, 70, 17}}));
  // Moving: every edge stays within W / 7 of where it would be.
  for (int round = 0; round < 20; ++round) {
    const TRegion r = effects::RaggedBandRegion(30, 0, 70, 12, 2, 0, random);
    for (const TRect& rect : r.Rects()) {
      EXPECT_EQ(rect.Left, 0);
      EXPECT_LE(std::abs(rect.Right - 30), 9);
    }
  }
}

// Every style, a few picture sizes: frames only ever change pixels inside the picture's
// place, the presented rectangle holds every change, picture pixels once drawn stay (the
// mirror strips of 11..14 draw a folded preview first), and the last frame is the
// picture.
TEST(Effects, EveryStyleBuildsThePictureInsideItsPlace) {
  constexpr TPixel kBackground = 0xFF102030u;
  const std::pair<int, int> sizes[] = {{37, 23}, {23, 37}, {96, 50}};
  for (const auto& [w, h] : sizes) {
    const TPicture picture = testing::PatternPicture(w, h);
    const TRect place{6, 4, 6 + w, 4 + h};
    for (int style = 0; style < effects::kStyleCount; ++style) {
      SCOPED_TRACE("style " + std::to_string(style) + " on " + std::to_string(w) + "x" + std::to_string(h));
      platform::THeadlessRandom random(7);
      TBitmap32 frame(w + 12, h + 10, kBackground);
      const int n = StepCount(style, w, h);
      const bool mirrors = style >= 11 && style <= 14;
      bool ok = true;
      std::int64_t presented = 0;
      for (int k = 0; k <= n + 1 && ok; ++k) {
        const TBitmap32 before = frame;
        const TRect changed = effects::PaintEffectStep(frame, place.Left, place.Top, picture.Bitmap(), style, k, n, random);
        if (k == 0 && style >= 19) {
          EXPECT_TRUE(changed.Empty()) << "region styles draw nothing at k = 0";
        }
        if (k == n + 1) {
          EXPECT_TRUE(changed.Empty()) << "the closing frame repeats the picture: nothing to present";
        }
        presented += std::int64_t(changed.Width()) * changed.Height();
        for (int y = 0; y < frame.Height() && ok; ++y)
          for (int x = 0; x < frame.Width() && ok; ++x) {
            const TPixel now = frame.At(x, y), was = before.At(x, y);
            const bool inside = x >= place.Left && x < place.Right && y >= place.Top && y < place.Bottom;
            const TPixel own = inside ? picture.Bitmap().At(x - place.Left, y - place.Top) : kBackground;
            if (now != was) {
              ok = ok && inside && x >= changed.Left && x < changed.Right && y >= changed.Top && y < changed.Bottom;
              EXPECT_TRUE(ok) << "frame " << k << " changed (" << x << ", " << y << ") outside its place or report";
            }
            if (!mirrors && ok) {
              ok = now == kBackground || now == own;
              EXPECT_TRUE(ok) << "frame " << k << " drew a foreign pixel at (" << x << ", " << y << ")";
              ok = ok && !(was == own && inside && now != own);
              EXPECT_TRUE(ok) << "frame " << k << " took back the picture at (" << x << ", " << y << ")";
            }
          }
      }
      // A curved front presents the band it sweeps in each frame, not all it has covered
      // (which would add up to some 75 pictures over the show-in).
      if (style == 19 || style == 30) {
        EXPECT_LE(presented, 30 * w * h);
      }
      TBitmap32 expected(w + 12, h + 10, kBackground);
      expected.CopyRect(place.Left, place.Top, picture.Bitmap(), picture.Bitmap().Bounds());
      EXPECT_EQ(frame, expected) << "the last frame is the whole picture";
    }
  }
}

TEST(Effects, PicturePartlyOutsideTheFrameIsClipped) {
  const TPicture picture = testing::PatternPicture(40, 30);
  for (int style : {1, 11, 14, 21, 46, 78}) {
    platform::THeadlessRandom random;
    TBitmap32 frame(30, 20, 0xFF000000u);
    const int n = StepCount(style, 40, 30);
    for (int k = 0; k <= n + 1; ++k) {
      const TRect changed = effects::PaintEffectStep(frame, -5, -7, picture.Bitmap(), style, k, n, random);
      EXPECT_TRUE(changed.Empty() || (changed.Left >= 0 && changed.Top >= 0 && changed.Right <= 30 && changed.Bottom <= 20));
    }
    EXPECT_EQ(frame.At(0, 0), picture.Bitmap().At(5, 7));
  }
}

// A frame drawn with the memory of the frames before it leaves the same pixels and reports
// the same rectangle as one drawn without: every style, inside the frame, a tall picture,
// one cut off on all four sides, and a show-out (the picture holds a background, partly
// equal to what the frame shows). Halfway, the same frames continue under a memory that
// was cleared, and a memory carried over from another place starts afresh.
TEST(Effects, FramesDrawnWithTheirMemoryAreTheFramesDrawnWithout) {
  struct TCase {
    int W, H, Left, Top, FrameW, FrameH;
    bool ShowOut;
  };
  const TCase cases[] = {{97, 61, 4, 3, 105, 70, false},
                         {45, 130, 2, 2, 50, 140, false},
                         {203, 117, -9, -5, 190, 108, false},
                         {64, 48, 3, 5, 70, 60, true}};
  for (int style = 0; style < effects::kStyleCount; ++style) {
    effects::TFrameMemory memory;
    for (const TCase& c : cases) {
      SCOPED_TRACE("style " + std::to_string(style) + " on " + std::to_string(c.W) + "x" + std::to_string(c.H));
      const TPicture shown = testing::PatternPicture(c.FrameW, c.FrameH);
      TBitmap32 picture(c.W, c.H, 0xFF102030u);
      if (c.ShowOut) {
        // The background under the picture's place, with stripes the frame shows already.
        for (int y = 0; y < c.H; ++y)
          for (int x = 0; x < c.W; ++x)
            picture.At(x, y) = (x / 3 + y) % 4 == 0 ? shown.Bitmap().At(x + c.Left, y + c.Top) : MakePixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(2 * y), 9);
      } else {
        picture = testing::PatternPicture(c.W, c.H).Bitmap();
      }
      TBitmap32 plain = c.ShowOut ? shown.Bitmap() : TBitmap32(c.FrameW, c.FrameH, 0xFF102030u);
      TBitmap32 remembered = plain;
      platform::THeadlessRandom forPlain(5), forRemembered(5);
      const int n = StepCount(style, c.W, c.H);
      for (int k = 0; k <= n + 1; ++k) {
        if (k == n / 2) memory.Clear();
        const TRect a = effects::PaintEffectStep(plain, c.Left, c.Top, picture, style, k, n, forPlain);
        const TRect b = effects::PaintEffectStep(remembered, c.Left, c.Top, picture, style, k, n, forRemembered, &memory);
        ASSERT_EQ(a, b) << "frame " << k;
        ASSERT_TRUE(plain == remembered) << "frame " << k;
      }
      EXPECT_GT(memory.HeldPixels(), 0);
    }
  }
}

// Every pixel of every frame and every reported rectangle of every style, folded into one
// number per style: the frames are drawn by hand-tuned loops, and these sums were taken
// from the plain span-by-span copy they replaced. Three placements: inside the frame, a
// tall picture, and a picture cut off on all four sides; some picture pixels equal the
// background, so that "changed" is tested where a span's ends are already right.
TEST(Effects, EveryFrameOfEveryStyleMatchesItsReference) {
  constexpr TPixel kBackground = 0xFF102030u;
  struct TCase {
    int W, H, Left, Top, FrameW, FrameH;
  };
  const TCase cases[] = {{97, 61, 4, 3, 105, 70}, {45, 130, 2, 2, 50, 140}, {203, 117, -9, -5, 190, 108}};
  static constexpr std::uint64_t kReference[effects::kStyleCount] = {
      0x519ecdca46acf09eull, 0xe512503530dbd7a9ull, 0x562117e185cc9045ull, 0x639c3864cf40ffa7ull, 0x480c1bee9835e785ull,
      0xf193c9ea8b6f3042ull, 0x12f8816022dc82b5ull, 0x90496b656c464141ull, 0xed9d51b88208082full, 0x886adbeb50ec31adull,
      0x372ae7d11e32390bull, 0x9efa5b5cae691a2full, 0xf6cca77a2e416017ull, 0x8fe8972a7fd55c46ull, 0x2ca4525f51b6b52bull,
      0xcc0717ff91f8b5cbull, 0xafb80137848a9231ull, 0xc48099749f4fd346ull, 0x38251858c7f8ae44ull, 0x63e15ed3bada5ae4ull,
      0xf681d70345c53ca5ull, 0xdd111c08f29fbe35ull, 0x24600b373cec46e1ull, 0x54ccf7674698b1d9ull, 0x657ab7000667e301ull,
      0x7bacdaa6008d6dc3ull, 0xe26e97b94f109ffcull, 0x0e361c536679ce95ull, 0xb4640d220f94afcdull, 0x32e93c24364e3000ull,
      0x3f50b895d4ae772eull, 0x60dfc1233b807729ull, 0x1602064fad350583ull, 0xdb138b4ac58402d5ull, 0xc000dedf3836e3acull,
      0x15e624c1c99f9ecaull, 0xc0cd1455d0e5358bull, 0xdbe72b5cefbca4ebull, 0x3a7536dda3333accull, 0x0263ccb974ea7ce2ull,
      0xea97432589c2373eull, 0xd8460318f112465full, 0x3f80f89f51dbda68ull, 0xc06ca3b8a82adba3ull, 0x1e11d7004896e700ull,
      0x194837dd7b4930adull, 0x6bd7e8a4831a0cfcull, 0x9ed922c98dbfb0e2ull, 0x0adab83dece5e97eull, 0xc838dde49f059e83ull,
      0x58a773b9825edf93ull, 0x0457a5010aee58d7ull, 0x9c46e877e3451b9bull, 0x6f9c3b8f1caf9dabull, 0xe8aa455c1575d3daull,
      0x309c08538896d148ull, 0x71769244275ebcdcull, 0x2af4ff440168ef65ull, 0x6848f60ef1d2f23dull, 0x16fec30eaa653209ull,
      0xb548139c9730f19full, 0x3d4741f1ea7dec5full, 0xfcfdb8d10d19a5b9ull, 0xf6a6e8ce89fe42beull, 0x7de6c86e1a01e3b5ull,
      0x12b541fc4171aeeeull, 0xb19ed8e085e2b514ull, 0x37658ebb35a58d70ull, 0xba5277dba789b6c9ull, 0x21db6a108e802e5dull,
      0x8385eaf392bb765bull, 0xb4b68508b6012c51ull, 0xe40ef9c2fef66d6bull, 0xaf7e393b3298c9c2ull, 0x7f73555034c8606bull,
      0x93b4b703b2c7a186ull, 0xcd4379b4d177d427ull, 0x00b609d1c88279cdull, 0x7148836eaf1a02ccull,
  };
  std::string got;
  for (int style = 0; style < effects::kStyleCount; ++style) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&hash](std::uint32_t v) { hash = (hash ^ v) * 1099511628211ull; };
    for (const TCase& c : cases) {
      TPicture picture = testing::PatternPicture(c.W, c.H);
      for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x)
          if ((3 * x + y) % 11 == 0) picture.Bitmap().At(x, y) = kBackground;
      platform::THeadlessRandom random(5);
      TBitmap32 frame(c.FrameW, c.FrameH, kBackground);
      const int n = StepCount(style, c.W, c.H);
      for (int k = 0; k <= n + 1; ++k) {
        const TRect r = effects::PaintEffectStep(frame, c.Left, c.Top, picture.Bitmap(), style, k, n, random);
        for (int v : {r.Left, r.Top, r.Right, r.Bottom}) add(static_cast<std::uint32_t>(v));
        for (TPixel p : frame.Pixels()) add(p);
      }
    }
    char text[32];
    std::snprintf(text, sizeof text, "0x%016llxull, ", static_cast<unsigned long long>(hash));
    got += text;
    EXPECT_EQ(hash, kReference[style]) << "style " << style;
  }
  if (HasFailure()) std::printf("Sums: %s\n", got.c_str());
}

}  // namespace
}  // namespace lumora
