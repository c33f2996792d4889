// Regions: scan conversion of the shapes, region algebra against a per-pixel reference,
// and the canonical band form.
#include "imaging/region.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace lumora {
namespace {

// Draws the region's pixels inside [0, w) x [0, h) as rows of '#' and '.'.
std::vector<std::string> Picture(const TRegion& region, int w, int h) {
  std::vector<std::string> rows(static_cast<std::size_t>(h), std::string(static_cast<std::size_t>(w), '.'));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (region.Contains(x, y)) rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = '#';
  return rows;
}

// Sorted by top then left, bands share top and bottom, spans neither overlap nor touch,
// touching bands differ.
::testing::AssertionResult IsCanonical(const TRegion& region) {
  const auto rects = region.Rects();
  std::size_t band = 0;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const TRect& r = rects[i];
    if (r.Empty()) return ::testing::AssertionFailure() << "empty rectangle " << i;
    if (i > band && r.Top == rects[band].Top) {
      if (r.Bottom != rects[band].Bottom) return ::testing::AssertionFailure() << "band bottoms differ at " << i;
      if (r.Left <= rects[i - 1].Right) return ::testing::AssertionFailure() << "spans touch or overlap at " << i;
    } else if (i > 0) {
      if (r.Top < rects[i - 1].Bottom) return ::testing::AssertionFailure() << "bands overlap at " << i;
      band = i;
    }
  }
  // Coalescing: touching consecutive bands must have different spans.
  std::vector<std::pair<std::size_t, std::size_t>> bands;
  for (std::size_t i = 0; i < rects.size();) {
    std::size_t j = i + 1;
    while (j < rects.size() && rects[j].Top == rects[i].Top) ++j;
    bands.emplace_back(i, j);
    i = j;
  }
  for (std::size_t k = 1; k < bands.size(); ++k) {
    const auto [a0, a1] = bands[k - 1];
    const auto [b0, b1] = bands[k];
    if (rects[a0].Bottom != rects[b0].Top || a1 - a0 != b1 - b0) continue;
    bool same = true;
    for (std::size_t q = 0; q < a1 - a0; ++q)
      same = same && rects[a0 + q].Left == rects[b0 + q].Left && rects[a0 + q].Right == rects[b0 + q].Right;
    if (same) return ::testing::AssertionFailure() << "bands " << k - 1 << " and " << k << " should be merged";
  }
  return ::testing::AssertionSuccess();
}

using TMask = std::vector<std::vector<bool>>;
constexpr int kGrid = 48;

TMask MaskOf(const TRegion& region) {
  TMask m(kGrid, std::vector<bool>(kGrid));
  for (int y = 0; y < kGrid; ++y)
    for (int x = 0; x < kGrid; ++x) m[y][x] = region.Contains(x - 4, y - 4);
  return m;
}

TRegion RandomRegion(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(-2, 40);
  std::uniform_int_distribution<int> kind(0, 2);
  std::vector<TRect> rects;
  TRegion region;
  const int count = std::uniform_int_distribution<int>(0, 6)(rng);
  for (int i = 0; i < count; ++i) {
    const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
    switch (kind(rng)) {
      case 0:
        rects.push_back(TRect{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)});
        break;
      case 1:
        region = Union(region, TRegion::RoundRect(x0, y0, x1, y1, coord(rng) / 2, coord(rng) / 2));
        break;
      default: {
        const std::vector<TPoint> pts{{x0, y0}, {x1, y1}, {coord(rng), coord(rng)}, {coord(rng), coord(rng)}};
        region = Union(region, TRegion::Polygon(pts));
      }
    }
  }
  return Union(region, TRegion::FromRects(rects));
}

TEST(RegionShapes, RectanglesAreHalfOpenAndEmptyOnesVanish) {
  const TRegion r = TRegion::FromRect(2, 1, 5, 3);
  EXPECT_EQ(Picture(r, 6, 4), (std::vector<std::string>{"......", "..###.", "..###.", "......"}));
  EXPECT_EQ(r.Bounds(), (TRect{2, 1, 5, 3}));
  EXPECT_EQ(r.Area(), 6);
  EXPECT_TRUE(TRegion::FromRect(3, 3, 3, 9).Empty());
  EXPECT_TRUE(TRegion::FromRect(5, 0, 2, 4).Empty()) << "a reversed rectangle is empty, as a native one is";
  EXPECT_EQ(TRegion().Bounds(), TRect{});
}

TEST(RegionShapes, RoundedCornersTakeThePixelsWhoseCentresLieOnTheEllipse) {
  // A 4 x 4 box with a 4 x 4 ellipse: the corner pixels' centres lie outside.
  EXPECT_EQ(Picture(TRegion::RoundRect(0, 0, 4, 4, 4, 4), 4, 4),
            (std::vector<std::string>{".##.", "####", "####", ".##."}));
  EXPECT_EQ(Picture(TRegion::RoundRect(0, 0, 8, 6, 6, 4), 8, 6),
            (std::vector<std::string>{".######.", "########", "########", "########", "########", ".######."}));
  EXPECT_EQ(Picture(TRegion::RoundRect(0, 0, 10, 10, 10, 10), 10, 10),
            (std::vector<std::string>{"...####...", ".########.", ".########.", "##########", "##########",
                                      "##########", "##########", ".########.", ".########.", "...####..."}));
  // Degenerate corner ellipses give the plain rectangle; reversed corners are swapped;
  // an ellipse larger than the box is limited to it.
  EXPECT_EQ(TRegion::RoundRect(1, 1, 5, 4, 0, 0), TRegion::FromRect(1, 1, 5, 4));
  EXPECT_EQ(TRegion::RoundRect(1, 1, 5, 4, 1, 9), TRegion::FromRect(1, 1, 5, 4));
  EXPECT_EQ(TRegion::RoundRect(4, 4, 0, 0, 4, 4), TRegion::RoundRect(0, 0, 4, 4, 4, 4));
  EXPECT_EQ(TRegion::RoundRect(0, 0, 4, 4, 40, 40), TRegion::RoundRect(0, 0, 4, 4, 4, 4));
}

TEST(RegionShapes, RoundedRectanglesMatchTheEllipseTestOnEveryPixel) {
  for (int w = 1; w <= 13; ++w)
    for (int h = 1; h <= 11; ++h)
      for (int ew = 2; ew <= w; ew += 3)
        for (int eh = 2; eh <= h; eh += 2) {
          const TRegion r = TRegion::RoundRect(3, 2, 3 + w, 2 + h, ew, eh);
          ASSERT_TRUE(IsCanonical(r));
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
              // Doubled coordinates: centre (2x + 1, 2y + 1) clamped into the inner box.
              const long cx = std::clamp<long>(2 * x + 1, ew, 2L * w - ew);
              const long cy = std::clamp<long>(2 * y + 1, eh, 2L * h - eh);
              const long dx = 2 * x + 1 - cx, dy = 2 * y + 1 - cy;
              const bool inside = dx * dx * eh * eh + dy * dy * ew * ew <= long(ew) * ew * eh * eh;
              ASSERT_EQ(r.Contains(3 + x, 2 + y), inside) << w << "x" << h << " ellipse " << ew << "x" << eh
                                                          << " pixel " << x << "," << y;
            }
        }
}

TEST(RegionShapes, PolygonEdgesTakeLeftAndTopPixelsOnly) {
  const std::vector<TPoint> box{{1, 1}, {5, 1}, {5, 4}, {1, 4}};
  EXPECT_EQ(TRegion::Polygon(box), TRegion::FromRect(1, 1, 5, 4)) << "integer corners give the half-open rectangle";
  const std::vector<TPoint> triangle{{0, 0}, {4, 0}, {0, 4}};
  EXPECT_EQ(Picture(TRegion::Polygon(triangle), 4, 4), (std::vector<std::string>{"###.", "##..", "#...", "...."}));
  const std::vector<TPoint> reversed{{0, 4}, {4, 0}, {0, 0}};
  EXPECT_EQ(TRegion::Polygon(reversed), TRegion::Polygon(triangle));
  EXPECT_TRUE(TRegion::Polygon(std::vector<TPoint>{{0, 0}, {5, 5}}).Empty());
  EXPECT_TRUE(TRegion::Polygon(std::vector<TPoint>{{0, 0}, {5, 0}, {9, 0}}).Empty());
}

TEST(RegionShapes, PolygonsFillByTheWindingRule) {
  // A five-pointed star drawn in one stroke: its centre is wound twice and stays filled.
  const std::vector<TPoint> star{{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  const TRegion r = TRegion::Polygon(star);
  EXPECT_TRUE(r.Contains(50, 50));
  EXPECT_TRUE(r.Contains(50, 5));
  EXPECT_FALSE(r.Contains(50, 85)) << "between two lower points";
  EXPECT_TRUE(IsCanonical(r));
  // Two overlapping squares wound the same way: union; wound opposite ways: the overlap
  // cancels.
  const std::vector<TPoint> same{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
  EXPECT_EQ(TRegion::Polygon(same), Union(TRegion::FromRect(0, 0, 4, 4), TRegion::FromRect(2, 2, 6, 6)));
  const std::vector<TPoint> opposite{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {2, 2}, {2, 6}, {6, 6}, {6, 2}, {2, 2}};
  EXPECT_EQ(TRegion::Polygon(opposite), Xor(TRegion::FromRect(0, 0, 4, 4), TRegion::FromRect(2, 2, 6, 6)));
}

TEST(RegionAlgebra, MatchesAPerPixelReferenceOnRandomShapes) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    TRegion a = RandomRegion(rng);
    TRegion b = RandomRegion(rng);
    if (round % 3 == 0) b.Offset(3, -2);
    ASSERT_TRUE(IsCanonical(a));
    ASSERT_TRUE(IsCanonical(b));
    const TMask ma = MaskOf(a), mb = MaskOf(b);
    const TRegion results[4] = {Union(a, b), Intersect(a, b), Xor(a, b), Subtract(a, b)};
    const char* names[4] = {"union", "intersection", "xor", "difference"};
    for (int op = 0; op < 4; ++op) {
      ASSERT_TRUE(IsCanonical(results[op])) << names[op] << " round " << round;
      const TMask m = MaskOf(results[op]);
      std::int64_t count = 0;
      for (int y = 0; y < kGrid; ++y)
        for (int x = 0; x < kGrid; ++x) {
          const bool pa = ma[y][x], pb = mb[y][x];
          const bool want = op == 0 ? (pa || pb) : op == 1 ? (pa && pb) : op == 2 ? (pa != pb) : (pa && !pb);
          ASSERT_EQ(m[y][x], want) << names[op] << " round " << round << " pixel " << x - 4 << "," << y - 4;
          count += want;
        }
      EXPECT_EQ(results[op].Area(), count) << names[op] << " reaches outside the reference grid";
    }
    // Equal pixel sets give equal regions, however they were built.
    EXPECT_EQ(Union(Subtract(a, b), Intersect(a, b)), a);
    EXPECT_EQ(Xor(Xor(a, b), b), a);
  }
}

TEST(RegionAlgebra, OffsetBoundsAndRectangleListsAgree) {
  const std::vector<TRect> rects{{0, 0, 4, 2}, {2, 1, 6, 3}, {10, 0, 12, 1}, {12, 0, 14, 1}, {5, 5, 5, 9}};
  TRegion r = TRegion::FromRects(rects);
  EXPECT_TRUE(IsCanonical(r));
  EXPECT_EQ(r.Area(), 8 + 8 - 2 + 4);
  EXPECT_EQ(r.Bounds(), (TRect{0, 0, 14, 3}));
  EXPECT_TRUE(r.Contains(13, 0)) << "touching rectangles join";
  r.Offset(-3, 7);
  EXPECT_EQ(r.Bounds(), (TRect{-3, 7, 11, 10}));
  EXPECT_TRUE(r.Contains(-3, 7));
  EXPECT_FALSE(r.Contains(11, 7));
  // The rectangles a backend receives cover the region exactly once.
  std::int64_t area = 0;
  for (const TRect& q : r.Rects()) area += std::int64_t(q.Width()) * q.Height();
  EXPECT_EQ(area, r.Area());
}

}  // namespace
}  // namespace lumora
