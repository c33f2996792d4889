// Regions: sets of pixels held as band lists of half-open rectangles, the way a
// window system holds them. Used for effect clipping, glyph masks and window shapes.
//
// Canonical form (kept after every operation, so that equal pixel sets compare equal):
// - the rectangles are sorted by Top, then by Left;
// - rectangles with the same Top form a band and all share its Top and Bottom;
// - the spans of one band neither overlap nor touch;
// - bands do not overlap; two bands that touch vertically never have identical spans
//   (they are merged into one).
// Every rectangle is [Left, Right) x [Top, Bottom): right and bottom exclusive.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lumora {

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Left, Top inclusive; Right, Bottom exclusive unless a caller's documentation says
// otherwise.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The overlap of two half-open rectangles (empty rectangles come out with Right <= Left
// or Bottom <= Top).
TRect IntersectRect(const TRect& a, const TRect& b);

class TRegion {
 public:
  TRegion() = default;
  explicit TRegion(const TRect& rect);

  static TRegion FromRect(int left, int top, int right, int bottom) { return TRegion(TRect{left, top, right, bottom}); }
  // Any list of rectangles, in any order, overlapping or not; empty ones are ignored.
  static TRegion FromRects(std::span<const TRect> rects);
  // Rounded rectangle with a corner ellipse of ellipseWidth x ellipseHeight; see region.cpp
  // for which pixels a corner takes.
  static TRegion RoundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
  // Polygon, closed back to its first point, filled by the non-zero winding rule.
  static TRegion Polygon(std::span<const TPoint> points);

  friend TRegion Union(const TRegion& a, const TRegion& b);
  friend TRegion Intersect(const TRegion& a, const TRegion& b);
  friend TRegion Xor(const TRegion& a, const TRegion& b);
  friend TRegion Subtract(const TRegion& a, const TRegion& b);  // a without b

  void Offset(int dx, int dy);

  bool Empty() const { return rects_.empty(); }
  // The smallest rectangle holding every pixel; all zero for an empty region.
  TRect Bounds() const;
  bool Contains(int x, int y) const;
  std::int64_t Area() const;

  // The rectangles in canonical order. This is also the conversion hook for backends: a
  // native region is made from exactly these rectangles (they are already in the
  // y-then-x banded order that native region data expects).
  std::span<const TRect> Rects() const { return rects_; }
  std::size_t RectCount() const { return rects_.size(); }

  friend bool operator==(const TRegion&, const TRegion&) = default;

 private:
  friend class TRegionBuilder;
  std::vector<TRect> rects_;
};

// Appends bands from the top down and keeps the canonical form (merging a band into the
// previous one when it touches it and has the same spans).
class TRegionBuilder {
 public:
  // Spans as (left, right) pairs sorted by left, neither overlapping nor touching.
  void AddBand(int top, int bottom, std::span<const std::pair<int, int>> spans);
  // Appends a whole region lying at or below everything added so far.
  void AppendRegion(const TRegion& region);
  // Removes the last band and returns it as a region (empty when nothing was added).
  TRegion PopLastBand();
  // Bottom of the last band (INT_MIN when nothing was added).
  int LastBottom() const;
  TRegion Take();

 private:
  std::vector<TRect> rects_;
  std::size_t lastBandStart_ = 0;
};

}  // namespace lumora
