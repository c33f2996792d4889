#include "imaging/region.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace lumora {

namespace {

using TSpan = std::pair<int, int>;
using TSpanList = std::vector<TSpan>;

// End of the band that starts at index i.
std::size_t BandEnd(std::span<const TRect> rects, std::size_t i) {
  std::size_t j = i + 1;
  while (j < rects.size() && rects[j].Top == rects[i].Top) ++j;
  return j;
}

void BandSpans(std::span<const TRect> rects, std::size_t begin, std::size_t end, TSpanList& spans) {
  spans.clear();
  for (std::size_t k = begin; k < end; ++k) spans.emplace_back(rects[k].Left, rects[k].Right);
}

// Merges two span lists of one band with a Boolean operation. Both inputs are sorted and
// free of overlaps; so is the output, and its spans never touch because every boundary
// of both inputs at the same x is crossed at once.
template <class TOp>
void CombineSpans(const TSpanList& a, const TSpanList& b, TOp op, TSpanList& out) {
  out.clear();
  std::size_t i = 0;
  std::size_t j = 0;
  bool inA = false;
  bool inB = false;
  int start = 0;
  while (i < a.size() || j < b.size()) {
    const int xa = i < a.size() ? (inA ? a[i].second : a[i].first) : INT_MAX;
    const int xb = j < b.size() ? (inB ? b[j].second : b[j].first) : INT_MAX;
    const int x = std::min(xa, xb);
    const bool before = op(inA, inB);
    if (xa == x) {
      inA = !inA;
      if (!inA) ++i;
    }
    if (xb == x) {
      inB = !inB;
      if (!inB) ++j;
    }
    const bool after = op(inA, inB);
    if (!before && after) start = x;
    if (before && !after) out.emplace_back(start, x);
  }
}

// Sweeps both band lists from the top down; every y-interval in which neither input
// changes becomes one output band.
template <class TOp>
TRegion Combine(const TRegion& a, const TRegion& b, TOp op) {
  const std::span<const TRect> va = a.Rects();
  const std::span<const TRect> vb = b.Rects();
  TRegionBuilder out;
  TSpanList sa, sb, so;
  const TSpanList none;
  std::size_t ia = 0;
  std::size_t ib = 0;
  std::size_t ea = va.empty() ? 0 : BandEnd(va, 0);
  std::size_t eb = vb.empty() ? 0 : BandEnd(vb, 0);
  int y = INT_MIN;
  while (ia < va.size() || ib < vb.size()) {
    const int aTop = ia < va.size() ? va[ia].Top : INT_MAX;
    const int bTop = ib < vb.size() ? vb[ib].Top : INT_MAX;
    y = std::max(y, std::min(aTop, bTop));
    const bool aActive = ia < va.size() && aTop <= y;
    const bool bActive = ib < vb.size() && bTop <= y;
    const int aNext = aActive ? va[ia].Bottom : aTop;
    const int bNext = bActive ? vb[ib].Bottom : bTop;
    const int yEnd = std::min(aNext, bNext);
    if (aActive) BandSpans(va, ia, ea, sa);
    if (bActive) BandSpans(vb, ib, eb, sb);
    CombineSpans(aActive ? sa : none, bActive ? sb : none, op, so);
    out.AddBand(y, yEnd, so);
    y = yEnd;
    if (aActive && va[ia].Bottom <= y) {
      ia = ea;
      if (ia < va.size()) ea = BandEnd(va, ia);
    }
    if (bActive && vb[ib].Bottom <= y) {
      ib = eb;
      if (ib < vb.size()) eb = BandEnd(vb, ib);
    }
  }
  return out.Take();
}

// Integer division rounding toward positive infinity (d > 0).
__int128 CeilDiv(__int128 n, __int128 d) { return n >= 0 ? (n + d - 1) / d : -((-n) / d); }

}  // namespace

TRect IntersectRect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

void TRegionBuilder::AddBand(int top, int bottom, std::span<const std::pair<int, int>> spans) {
  if (spans.empty() || bottom <= top) return;
  if (!rects_.empty()) {
    const TRect& last = rects_[lastBandStart_];
    const std::size_t lastCount = rects_.size() - lastBandStart_;
    if (last.Bottom == top && lastCount == spans.size()) {
      bool same = true;
      for (std::size_t k = 0; k < lastCount && same; ++k)
        same = rects_[lastBandStart_ + k].Left == spans[k].first && rects_[lastBandStart_ + k].Right == spans[k].second;
      if (same) {
        for (std::size_t k = lastBandStart_; k < rects_.size(); ++k) rects_[k].Bottom = bottom;
        return;
      }
    }
  }
  lastBandStart_ = rects_.size();
  for (const auto& [left, right] : spans) rects_.push_back(TRect{left, top, right, bottom});
}

void TRegionBuilder::AppendRegion(const TRegion& region) {
  const std::span<const TRect> r = region.rects_;
  TSpanList spans;
  for (std::size_t i = 0; i < r.size();) {
    const std::size_t e = BandEnd(r, i);
    BandSpans(r, i, e, spans);
    AddBand(r[i].Top, r[i].Bottom, spans);
    i = e;
  }
}

TRegion TRegionBuilder::PopLastBand() {
  TRegion band;
  if (rects_.empty()) return band;
  band.rects_.assign(rects_.begin() + static_cast<std::ptrdiff_t>(lastBandStart_), rects_.end());
  rects_.resize(lastBandStart_);
  lastBandStart_ = rects_.size();
  while (lastBandStart_ > 0 && rects_[lastBandStart_ - 1].Top == (rects_.empty() ? 0 : rects_.back().Top))
    --lastBandStart_;
  return band;
}

int TRegionBuilder::LastBottom() const { return rects_.empty() ? INT_MIN : rects_.back().Bottom; }

TRegion TRegionBuilder::Take() {
  TRegion region;
  region.rects_ = std::move(rects_);
  rects_.clear();
  lastBandStart_ = 0;
  return region;
}

TRegion::TRegion(const TRect& rect) {
  if (!rect.Empty()) rects_.push_back(rect);
}

TRegion TRegion::FromRects(std::span<const TRect> rects) {
  // Rectangles already in band order (as a row scan produces them) are taken as they are;
  // the builder only merges equal touching bands.
  bool banded = true;
  for (std::size_t i = 0; i < rects.size() && banded; ++i) {
    const TRect& r = rects[i];
    if (r.Empty()) {
      banded = false;
    } else if (i > 0) {
      const TRect& p = rects[i - 1];
      banded = (r.Top == p.Top && r.Bottom == p.Bottom && r.Left > p.Right) || r.Top >= p.Bottom;
    }
  }
  if (banded) {
    TRegionBuilder out;
    TSpanList spans;
    for (std::size_t i = 0; i < rects.size();) {
      const std::size_t e = BandEnd(rects, i);
      BandSpans(rects, i, e, spans);
      out.AddBand(rects[i].Top, rects[i].Bottom, spans);
      i = e;
    }
    return out.Take();
  }
  std::vector<TRect> sorted;
  sorted.reserve(rects.size());
  std::vector<int> ys;
  ys.reserve(rects.size() * 2);
  for (const TRect& r : rects) {
    if (r.Empty()) continue;
    sorted.push_back(r);
    ys.push_back(r.Top);
    ys.push_back(r.Bottom);
  }
  std::sort(sorted.begin(), sorted.end(), [](const TRect& a, const TRect& b) { return a.Top < b.Top; });
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  TRegionBuilder out;
  std::vector<TRect> active;
  TSpanList spans;
  std::size_t next = 0;
  for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
    const int y0 = ys[k];
    const int y1 = ys[k + 1];
    while (next < sorted.size() && sorted[next].Top <= y0) active.push_back(sorted[next++]);
    std::erase_if(active, [y0](const TRect& r) { return r.Bottom <= y0; });
    if (active.empty()) continue;
    spans.clear();
    for (const TRect& r : active) spans.emplace_back(r.Left, r.Right);
    std::sort(spans.begin(), spans.end());
    // Merge overlapping and touching spans.
    std::size_t w = 0;
    for (std::size_t i = 1; i < spans.size(); ++i) {
      if (spans[i].first <= spans[w].second)
        spans[w].second = std::max(spans[w].second, spans[i].second);
      else
        spans[++w] = spans[i];
    }
    spans.resize(w + 1);
    out.AddBand(y0, y1, spans);
  }
  return out.Take();
}

// Rounded rectangle. The rectangle [left, right) x [top, bottom) is normalised (reversed
// edges swapped); the corner ellipse is ellipseWidth x ellipseHeight (signs ignored),
// limited to the rectangle's size; below 2 in either direction the corners stay square.
// Each corner is a quarter of that ellipse placed in the rectangle's corner. Scan rule: a
// pixel of a corner belongs to the region when its centre lies inside or on the ellipse;
// rows are symmetric (a row near the top has the same inset as its mirror row near the
// bottom, and the inset is the same at the left and right end), and rows outside the
// corner ellipse's top and bottom halves are full width.
TRegion TRegion::RoundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const std::int64_t w = std::int64_t(right) - left;
  const std::int64_t h = std::int64_t(bottom) - top;
  if (w <= 0 || h <= 0) return TRegion();
  const std::int64_t ew = std::min<std::int64_t>(std::llabs(ellipseWidth), w);
  const std::int64_t eh = std::min<std::int64_t>(std::llabs(ellipseHeight), h);
  if (ew < 2 || eh < 2) return FromRect(left, top, right, bottom);
  // Doubled coordinates keep the test exact: centre (2k + 1, 2i + 1) against the ellipse
  // centred at (ew, eh) with radii ew, eh.
  const auto inside = [&](std::int64_t k, std::int64_t i) {
    const __int128 dx = 2 * k + 1 - ew;
    const __int128 dy = 2 * i + 1 - eh;
    return dx * dx * eh * eh + dy * dy * ew * ew <= __int128(ew) * ew * eh * eh;
  };
  const std::int64_t cornerRows = eh / 2;
  std::vector<std::int64_t> insets(static_cast<std::size_t>(cornerRows));
  for (std::int64_t i = 0; i < cornerRows; ++i) {
    const double a = ew / 2.0;
    const double b = eh / 2.0;
    const double dy = b - (i + 0.5);
    const double dx = a * std::sqrt(std::max(0.0, 1.0 - (dy * dy) / (b * b)));
    std::int64_t k = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(a - dx - 0.5)));
    while (k > 0 && inside(k - 1, i)) --k;
    while (k < ew / 2 && !inside(k, i)) ++k;
    insets[static_cast<std::size_t>(i)] = k;
  }
  TRegionBuilder out;
  TSpanList span(1);
  const auto row = [&](std::int64_t y0, std::int64_t y1, std::int64_t inset) {
    if (2 * inset >= w) return;
    span[0] = {static_cast<int>(left + inset), static_cast<int>(right - inset)};
    out.AddBand(static_cast<int>(y0), static_cast<int>(y1), span);
  };
  for (std::int64_t i = 0; i < cornerRows; ++i) row(top + i, top + i + 1, insets[static_cast<std::size_t>(i)]);
  row(top + cornerRows, bottom - cornerRows, 0);
  for (std::int64_t i = cornerRows - 1; i >= 0; --i)
    row(bottom - 1 - i, bottom - i, insets[static_cast<std::size_t>(i)]);
  return out.Take();
}

// Polygon scan conversion. Pixel (x, y) belongs to the polygon when its centre
// (x + 0.5, y + 0.5) has a non-zero winding number. Per row the centre line y + 0.5 is
// crossed by every edge whose lower end (smaller y) is at or above it and whose upper end
// is below it (horizontal edges never cross). A crossing at real x starts or ends the run
// at pixel ceil(x - 0.5), so a pixel whose centre lies exactly on a left edge is inside
// and one on a right edge is outside: a polygon with integer corners along a rectangle's
// edges gives exactly that half-open rectangle. Crossings are computed exactly in integer
// arithmetic.
TRegion TRegion::Polygon(std::span<const TPoint> points) {
  if (points.size() < 3) return TRegion();
  int minY = INT_MAX;
  int maxY = INT_MIN;
  for (const TPoint& p : points) {
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
  }
  struct TCrossing {
    std::int64_t X;
    int Dir;
  };
  std::vector<TCrossing> crossings;
  TSpanList spans;
  TRegionBuilder out;
  const std::size_t n = points.size();
  for (std::int64_t y = minY; y < maxY; ++y) {
    crossings.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const TPoint& p0 = points[i];
      const TPoint& p1 = points[(i + 1) % n];
      if (p0.Y == p1.Y) continue;
      const int lo = std::min(p0.Y, p1.Y);
      const int hi = std::max(p0.Y, p1.Y);
      if (y < lo || y >= hi) continue;
      // x - 0.5 = (2 x0 (y1 - y0) + (2y + 1 - 2 y0)(x1 - x0) - (y1 - y0)) / (2 (y1 - y0))
      const __int128 dy = __int128(p1.Y) - p0.Y;
      __int128 num = 2 * __int128(p0.X) * dy + (2 * __int128(y) + 1 - 2 * __int128(p0.Y)) * (__int128(p1.X) - p0.X) - dy;
      __int128 den = 2 * dy;
      if (den < 0) {
        num = -num;
        den = -den;
      }
      crossings.push_back({static_cast<std::int64_t>(CeilDiv(num, den)), p1.Y > p0.Y ? 1 : -1});
    }
    std::sort(crossings.begin(), crossings.end(), [](const TCrossing& a, const TCrossing& b) { return a.X < b.X; });
    spans.clear();
    int winding = 0;
    std::int64_t start = 0;
    for (const TCrossing& c : crossings) {
      const int before = winding;
      winding += c.Dir;
      if (before == 0 && winding != 0) start = c.X;
      if (before != 0 && winding == 0 && c.X > start) {
        if (!spans.empty() && spans.back().second >= start)
          spans.back().second = static_cast<int>(c.X);
        else
          spans.emplace_back(static_cast<int>(start), static_cast<int>(c.X));
      }
    }
    out.AddBand(static_cast<int>(y), static_cast<int>(y + 1), spans);
  }
  return out.Take();
}

TRegion Union(const TRegion& a, const TRegion& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  // Regions built from the top down (the region builder's batches) only ever append.
  const TRegion* upper = &a;
  const TRegion* lower = &b;
  if (b.rects_.back().Bottom <= a.rects_.front().Top) std::swap(upper, lower);
  if (upper->rects_.back().Bottom <= lower->rects_.front().Top) {
    TRegionBuilder out;
    out.AppendRegion(*upper);
    out.AppendRegion(*lower);
    return out.Take();
  }
  return Combine(a, b, [](bool x, bool y) { return x || y; });
}

TRegion Intersect(const TRegion& a, const TRegion& b) {
  return Combine(a, b, [](bool x, bool y) { return x && y; });
}

TRegion Xor(const TRegion& a, const TRegion& b) {
  return Combine(a, b, [](bool x, bool y) { return x != y; });
}

TRegion Subtract(const TRegion& a, const TRegion& b) {
  return Combine(a, b, [](bool x, bool y) { return x && !y; });
}

void TRegion::Offset(int dx, int dy) {
  for (TRect& r : rects_) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
  }
}

TRect TRegion::Bounds() const {
  if (rects_.empty()) return TRect{};
  TRect b{INT_MAX, rects_.front().Top, INT_MIN, rects_.back().Bottom};
  for (const TRect& r : rects_) {
    b.Left = std::min(b.Left, r.Left);
    b.Right = std::max(b.Right, r.Right);
  }
  return b;
}

bool TRegion::Contains(int x, int y) const {
  auto it = std::upper_bound(rects_.begin(), rects_.end(), y, [](int v, const TRect& r) { return v < r.Bottom; });
  for (; it != rects_.end() && it->Top <= y; ++it) {
    if (x < it->Left) return false;
    if (x < it->Right) return true;
  }
  return false;
}

std::int64_t TRegion::Area() const {
  std::int64_t area = 0;
  for (const TRect& r : rects_) area += std::int64_t(r.Width()) * r.Height();
  return area;
}

}  // namespace lumora
