#include "trpic/effects.h"

#include "base/mul_div.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lumora::effects {
namespace {

void AddRect(std::vector<TRect>& rects, int left, int top, int right, int bottom) {
  if (right > left && bottom > top) rects.push_back(TRect{left, top, right, bottom});
}

// Random(c) - Random(c), the two draws in this order.
int Jitter(platform::IRandom& random, int c) {
  const int a = random.Random(c);
  const int b = random.Random(c);
  return a - b;
}

TRegion Triangle(int x1, int y1, int x2, int y2, int x3, int y3) {
  return TriangleRegion(TPoint{x1, y1}, TPoint{x2, y2}, TPoint{x3, y3});
}

TRegion RoundRect(int x1, int y1, int x2, int y2, int ew, int eh) { return TRegion::RoundRect(x1, y1, x2, y2, ew, eh); }

// Copies the columns or rows [from, to) of a strip of the picture (picture coordinates),
// mirrored, onto the frame rectangle dst (frame coordinates, dst's edges already pushed
// outward), clipped to clip.
TRect MirrorStrip(TBitmap32& target, const TBitmap32& picture, const TRect& src, const TRect& dst, bool horizontal,
                  const TRect& clip) {
  const TRect visible = IntersectRect(IntersectRect(dst, clip), target.Bounds());
  if (visible.Empty() || src.Empty()) return TRect{};
  TBitmap32 strip(dst.Width(), dst.Height());
  const TRect mirrored = horizontal ? TRect{strip.Width(), 0, 0, strip.Height()} : TRect{0, strip.Height(), strip.Width(), 0};
  strip.StretchDraw(mirrored, picture, src);
  target.CopyRect(visible.Left, visible.Top, strip,
                  TRect{visible.Left - dst.Left, visible.Top - dst.Top, visible.Right - dst.Left, visible.Bottom - dst.Top});
  return visible;
}

TRect Union(const TRect& a, const TRect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}

// One write of a line frame, in picture coordinates: picture pixels, or a mirrored strip
// (pixels that are not the picture's).
struct TLineWrite {
  TRect Rect;
  bool Picture;
};

// Draws picture pixels of rect (picture coordinates) at their place; returns the frame
// rectangle that changed. With a record, lists each write in the order made.
class TLinePainter {
 public:
  TLinePainter(TBitmap32& target, int left, int top, const TBitmap32& picture, std::vector<TLineWrite>* record)
      : target_(target), left_(left), top_(top), picture_(picture), record_(record) {}

  void Pixels(int l, int t, int r, int b) {
    const TRect src = IntersectRect(TRect{l, t, r, b}, picture_.Bounds());
    if (src.Empty()) return;
    const TRect dst = IntersectRect(TRect{left_ + src.Left, top_ + src.Top, left_ + src.Right, top_ + src.Bottom},
                                    target_.Bounds());
    if (dst.Empty()) return;
    target_.CopyRect(dst.Left, dst.Top, picture_,
                     TRect{dst.Left - left_, dst.Top - top_, dst.Right - left_, dst.Bottom - top_});
    changed_ = Union(changed_, dst);
    Record(dst, true);
  }
  void Col(int c) { Pixels(c, 0, c + 1, picture_.Height()); }
  void Row(int r) { Pixels(0, r, picture_.Width(), r + 1); }
  void ColRows(int c, int t, int b) { Pixels(c, t, c + 1, b); }
  void RowCols(int r, int l, int rr) { Pixels(l, r, rr, r + 1); }
  // A mirrored strip: src in picture coordinates, dst in picture coordinates before the
  // push outward.
  void Mirror(const TRect& src, const TRect& dst, bool horizontal) {
    const TRect pushed = horizontal ? TRect{left_ + dst.Left - 1, top_ + dst.Top, left_ + dst.Right + 1, top_ + dst.Bottom}
                                    : TRect{left_ + dst.Left, top_ + dst.Top - 1, left_ + dst.Right, top_ + dst.Bottom + 1};
    const TRect clip{left_, top_, left_ + picture_.Width(), top_ + picture_.Height()};
    const TRect drawn = MirrorStrip(target_, picture_, IntersectRect(src, picture_.Bounds()), pushed, horizontal, clip);
    changed_ = Union(changed_, drawn);
    Record(drawn, false);
  }
  TRect Changed() const { return changed_; }

 private:
  void Record(const TRect& drawn, bool picture) {
    if (record_ != nullptr && !drawn.Empty())
      record_->push_back(TLineWrite{
          TRect{drawn.Left - left_, drawn.Top - top_, drawn.Right - left_, drawn.Bottom - top_}, picture});
  }

  TBitmap32& target_;
  int left_, top_;
  const TBitmap32& picture_;
  std::vector<TLineWrite>* record_;
  TRect changed_{};
};

void PaintLineStyle(TLinePainter& p, int style, int x, int y, int w, int h) {
  switch (style) {
    case 1: p.Col(x); break;
    case 2: p.Col(w - x); break;
    case 3: p.Row(y); break;
    case 4: p.Row(h - y); break;
    case 5: p.Col(x / 2); p.Col(w - x / 2); break;
    case 6: p.Col((w - x) / 2); p.Col((w + x) / 2); break;
    case 7: p.Row(y / 2); p.Row(h - y / 2); break;
    case 8: p.Row((h - y) / 2); p.Row((h + y) / 2); break;
    case 9:
      if (x % 2 != 0) p.Col(x);
      else p.Col(w % 2 != 0 ? w - x - 1 : w - x);
      break;
    case 10:
      if (y % 2 != 0) p.Row(y);
      else p.Row(h % 2 != 0 ? h - y - 1 : h - y);
      break;
    case 11:
      if (x + 1 < w - 20) p.Mirror(TRect{x, 0, x + 20, h}, TRect{x, 0, x + 20, h}, true);
      p.Col(x);
      break;
    case 12:
      if (w - x - 1 > 20) p.Mirror(TRect{w - x - 20, 0, w - x - 1, h}, TRect{w - x - 20, 0, w - x - 2, h}, true);
      p.Col(w - x);
      break;
    case 13:
      if (y + 1 < h - 20) p.Mirror(TRect{0, y, w, y + 20}, TRect{0, y, w, y + 20}, false);
      p.Row(y);
      break;
    case 14:
      if (h - y - 1 > 20) p.Mirror(TRect{0, h - y - 20, w, h - y - 1}, TRect{0, h - y - 20, w, h - y - 2}, false);
      p.Row(h - y);
      break;
    case 15: p.ColRows(x, 0, y); p.RowCols(y, 0, x + 1); break;
    case 16: p.ColRows(w - x, 0, y); p.RowCols(y, w - x, w); break;
    case 17: p.ColRows(x, h - y, h); p.RowCols(h - y, 0, x); break;
    case 18: p.ColRows(w - x, h - y, h); p.RowCols(h - y, w - x, w); break;
    default: break;
  }
}

// Pixel runs are compared a block at a time, so that a block costs a few vector
// instructions instead of a call or a branch per pixel: long runs through the C
// library's comparison (the widest instructions the processor has) while nothing
// differs, masked runs through 64-pixel blocks of 16-byte vectors with four
// accumulators, then 16-pixel blocks and single pixels to find the first difference.
constexpr int kRun = 256, kLongBlock = 64, kShortBlock = 16;

#if defined(__GNUC__)
typedef TPixel TVector __attribute__((vector_size(16)));
inline TVector Load(const TPixel* p) {
  TVector v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
#endif

// Whether any of the n pixels of a and b differ (where mask is set, if given).
template <int n>
inline bool BlockDiffers(const TPixel* __restrict a, const TPixel* __restrict b) {
  TPixel acc = 0;
  for (int j = 0; j < n; ++j) acc |= a[j] ^ b[j];
  return acc != 0;
}
template <int n>
inline bool BlockDiffers(const TPixel* __restrict a, const TPixel* __restrict b, const TPixel* __restrict mask) {
#if defined(__GNUC__)
  if constexpr (n % 16 == 0) {
    TVector c0 = {}, c1 = {}, c2 = {}, c3 = {};
    for (int j = 0; j < n; j += 16) {
      c0 |= (Load(a + j) ^ Load(b + j)) & Load(mask + j);
      c1 |= (Load(a + j + 4) ^ Load(b + j + 4)) & Load(mask + j + 4);
      c2 |= (Load(a + j + 8) ^ Load(b + j + 8)) & Load(mask + j + 8);
      c3 |= (Load(a + j + 12) ^ Load(b + j + 12)) & Load(mask + j + 12);
    }
    c0 |= c1 | c2 | c3;
    return (c0[0] | c0[1] | c0[2] | c0[3]) != 0;
  }
#endif
  TPixel acc = 0;
  for (int j = 0; j < n; ++j) acc |= (a[j] ^ b[j]) & mask[j];
  return acc != 0;
}
template <>
inline bool BlockDiffers<kLongBlock>(const TPixel* __restrict a, const TPixel* __restrict b) {
#if defined(__GNUC__)
  TVector c0 = {}, c1 = {}, c2 = {}, c3 = {};
  for (int j = 0; j < kLongBlock; j += 16) {
    c0 |= Load(a + j) ^ Load(b + j);
    c1 |= Load(a + j + 4) ^ Load(b + j + 4);
    c2 |= Load(a + j + 8) ^ Load(b + j + 8);
    c3 |= Load(a + j + 12) ^ Load(b + j + 12);
  }
  c0 |= c1 | c2 | c3;
  return (c0[0] | c0[1] | c0[2] | c0[3]) != 0;
#else
  TPixel acc = 0;
  for (int j = 0; j < kLongBlock; ++j) acc |= a[j] ^ b[j];
  return acc != 0;
#endif
}

inline bool RunDiffers(const TPixel* a, const TPixel* b) { return std::memcmp(a, b, kRun * sizeof(TPixel)) != 0; }

// The first i in [l, r) where a and b differ (under mask, if given), or r.
template <typename... TMask>
inline int FirstDifference(const TPixel* a, const TPixel* b, int l, int r, const TMask*... mask) {
  if constexpr (sizeof...(mask) == 0)
    while (l + kRun <= r && !RunDiffers(a + l, b + l)) l += kRun;
  while (l + kLongBlock <= r && !BlockDiffers<kLongBlock>(a + l, b + l, (mask + l)...)) l += kLongBlock;
  while (l + kShortBlock <= r && !BlockDiffers<kShortBlock>(a + l, b + l, (mask + l)...)) l += kShortBlock;
  while (l < r && !BlockDiffers<1>(a + l, b + l, (mask + l)...)) ++l;
  return l;
}

// One past the last i in (l, r) where a and b differ (under mask, if given), knowing
// that they differ at l.
template <typename... TMask>
inline int LastDifference(const TPixel* a, const TPixel* b, int l, int r, const TMask*... mask) {
  if constexpr (sizeof...(mask) == 0)
    while (r - kRun > l && !RunDiffers(a + r - kRun, b + r - kRun)) r -= kRun;
  while (r - kLongBlock > l && !BlockDiffers<kLongBlock>(a + r - kLongBlock, b + r - kLongBlock, (mask + r - kLongBlock)...))
    r -= kLongBlock;
  while (r - kShortBlock > l &&
         !BlockDiffers<kShortBlock>(a + r - kShortBlock, b + r - kShortBlock, (mask + r - kShortBlock)...))
    r -= kShortBlock;
  while (!BlockDiffers<1>(a + r - 1, b + r - 1, (mask + r - 1)...)) --r;
  return r;
}

// Copies n pixels; the narrow spans of the band effects without a call.
inline void CopyPixels(TPixel* __restrict to, const TPixel* __restrict from, int n) {
  if (n > 12) {
    std::memcpy(to, from, static_cast<std::size_t>(n) * sizeof(TPixel));
    return;
  }
  for (int i = 0; i < n; ++i) to[i] = from[i];
}

// Copies the pixels of [l, r) that mask holds, writing the others back unchanged.
inline void CopyMasked(TPixel* __restrict to, const TPixel* __restrict from, const TPixel* __restrict mask, int l,
                       int r) {
  for (int i = l; i < r; ++i) to[i] ^= (to[i] ^ from[i]) & mask[i];
}

// The bounding rectangle of the spans a frame really changed. A region frame covers
// everything earlier frames drew as well; only what is new has to reach the window.
class TChangedBounds {
 public:
  void Add(int l, int r, int row) {
    left_ = std::min(left_, l);
    right_ = std::max(right_, r);
    top_ = std::min(top_, row);
    bottom_ = std::max(bottom_, row + 1);
  }
  // In frame coordinates, for a picture placed at (left, top).
  TRect Rect(int left, int top) const {
    if (right_ <= left_) return TRect{};
    return TRect{left_ + left, top_ + top, right_ + left, bottom_ + top};
  }

 private:
  int left_ = INT_MAX, right_ = INT_MIN, top_ = INT_MAX, bottom_ = INT_MIN;
};

// Copies the span [l, r) of one row where it differs from what the frame holds: from its
// first differing pixel to its last. The frame and the picture are different bitmaps.
inline void CopySpanIfChanged(TPixel* to, const TPixel* from, int l, int r, int row, TChangedBounds& changed) {
  const int first = FirstDifference(to, from, l, r);
  if (first == r) return;
  const int last = LastDifference(to, from, first, r);
  CopyPixels(to + first, from + first, last - first);
  changed.Add(first, last, row);
}

// The same for a row of many narrow spans, given as a mask over [l, r) (all bits set
// where a span holds the pixel, indexed like the row): the row is compared and blended
// whole instead of span by span.
inline void CopyMaskedIfChanged(TPixel* to, const TPixel* from, const TPixel* mask, int l, int r, int row,
                                TChangedBounds& changed) {
  const int first = FirstDifference(to, from, l, r, mask);
  if (first == r) return;
  const int last = LastDifference(to, from, first, r, mask);
  CopyMasked(to, from, mask, first, last);
  changed.Add(first, last, row);
}

// A set of pixels as stretches of rows that share the same spans (sorted, neither
// overlapping nor touching): the shape a sweep over rectangles produces. All spans live
// in one array; a band names its slice.
struct TSpan {
  int Left, Right;
};
struct TSpanBand {
  int Top, Bottom;
  std::size_t First, Count;
};
struct TSpanBands {
  std::vector<TSpanBand> Bands;
  std::vector<TSpan> Spans;
  void Clear() {
    Bands.clear();
    Spans.clear();
  }
};

// The working storage of frames, kept from one frame to the next, so that a frame
// neither allocates nor makes the system clear fresh pages for its rectangles and
// spans. Each thread that draws frames has its own (the UI thread, in a test the
// thread that runs it).
struct TScratch {
  std::vector<TRect> Rects, Other, Sorted, Active;
  std::vector<std::size_t> Start;
  TSpanBands Bands, BandsA, BandsB;
  std::vector<TSpan> Row;
  std::vector<TPixel> Mask;
};

TScratch& Scratch() {
  thread_local TScratch scratch;
  return scratch;
}

// Sorts rects by Top: by counting where the tops lie close together, as they do once
// clipped to a picture.
void SortByTop(std::vector<TRect>& rects, TScratch& scratch) {
  int lo = INT_MAX, hi = INT_MIN;
  for (const TRect& r : rects) {
    lo = std::min(lo, r.Top);
    hi = std::max(hi, r.Top);
  }
  const std::int64_t range = std::int64_t(hi) - lo + 1;
  if (range > 4 * std::int64_t(rects.size()) + 4096) {
    std::sort(rects.begin(), rects.end(), [](const TRect& a, const TRect& b) { return a.Top < b.Top; });
    return;
  }
  std::vector<std::size_t>& start = scratch.Start;
  start.assign(static_cast<std::size_t>(range) + 1, 0);
  for (const TRect& r : rects) ++start[static_cast<std::size_t>(r.Top - lo) + 1];
  for (std::size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
  std::vector<TRect>& sorted = scratch.Sorted;
  sorted.resize(rects.size());
  for (const TRect& r : rects) sorted[start[static_cast<std::size_t>(r.Top - lo)]++] = r;
  rects.swap(sorted);
}

// The union of rects (overlapping or not) as span bands, from the top down, into out.
void SpanBands(std::vector<TRect>& rects, TSpanBands& out, TScratch& scratch) {
  out.Clear();
  if (rects.empty()) return;
  SortByTop(rects, scratch);
  const auto byLeft = [](const TRect& a, const TRect& b) { return a.Left < b.Left; };
  std::vector<TRect>& active = scratch.Active;  // sorted by Left
  active.clear();
  std::size_t next = 0;
  int y = rects.front().Top;
  while (next < rects.size() || !active.empty()) {
    if (active.empty()) y = std::max(y, rects[next].Top);
    std::size_t added = 0;
    for (std::size_t i = next; i < rects.size() && rects[i].Top <= y; ++i) ++added;
    if (added > 16) {
      active.insert(active.end(), rects.begin() + static_cast<std::ptrdiff_t>(next),
                    rects.begin() + static_cast<std::ptrdiff_t>(next + added));
      std::sort(active.begin(), active.end(), byLeft);
    } else {
      for (std::size_t i = next; i < next + added; ++i)
        active.insert(std::upper_bound(active.begin(), active.end(), rects[i], byLeft), rects[i]);
    }
    next += added;
    int until = next < rects.size() ? rects[next].Top : INT_MAX;
    for (const TRect& r : active) until = std::min(until, r.Bottom);
    const std::size_t first = out.Spans.size();
    for (const TRect& r : active) {
      if (out.Spans.size() > first && r.Left <= out.Spans.back().Right)
        out.Spans.back().Right = std::max(out.Spans.back().Right, r.Right);
      else
        out.Spans.push_back(TSpan{r.Left, r.Right});
    }
    out.Bands.push_back(TSpanBand{y, until, first, out.Spans.size() - first});
    y = until;
    active.erase(std::remove_if(active.begin(), active.end(), [y](const TRect& r) { return r.Bottom <= y; }),
                 active.end());
  }
}

// The pixels in both a and b, into out.
void IntersectBands(const TSpanBands& a, const TSpanBands& b, TSpanBands& out) {
  out.Clear();
  std::size_t i = 0, j = 0;
  while (i < a.Bands.size() && j < b.Bands.size()) {
    const TSpanBand& ba = a.Bands[i];
    const TSpanBand& bb = b.Bands[j];
    const int top = std::max(ba.Top, bb.Top), bottom = std::min(ba.Bottom, bb.Bottom);
    if (top < bottom) {
      const std::size_t first = out.Spans.size();
      std::size_t p = ba.First, q = bb.First;
      const std::size_t pe = ba.First + ba.Count, qe = bb.First + bb.Count;
      while (p < pe && q < qe) {
        const TSpan& sa = a.Spans[p];
        const TSpan& sb = b.Spans[q];
        const int l = std::max(sa.Left, sb.Left), r = std::min(sa.Right, sb.Right);
        if (l < r) out.Spans.push_back(TSpan{l, r});
        if (sa.Right < sb.Right) ++p; else ++q;
      }
      if (out.Spans.size() > first) out.Bands.push_back(TSpanBand{top, bottom, first, out.Spans.size() - first});
    }
    if (ba.Bottom < bb.Bottom) ++i; else ++j;
  }
}

// Ends the band [top, bottom) of out whose spans start at first: an empty band is
// dropped, and one with the spans of the band just above it joins that band, so that a
// set built frame by frame stays as few bands as its shape needs.
void CloseBand(TSpanBands& out, int top, int bottom, std::size_t first) {
  const std::size_t count = out.Spans.size() - first;
  if (count == 0) return;
  if (!out.Bands.empty()) {
    TSpanBand& above = out.Bands.back();
    const auto same = [](const TSpan& s, const TSpan& t) { return s.Left == t.Left && s.Right == t.Right; };
    const auto from = out.Spans.begin() + static_cast<std::ptrdiff_t>(above.First);
    if (above.Bottom == top && above.Count == count &&
        std::equal(from, from + static_cast<std::ptrdiff_t>(count), out.Spans.begin() + static_cast<std::ptrdiff_t>(first), same)) {
      above.Bottom = bottom;
      out.Spans.resize(first);
      return;
    }
  }
  out.Bands.push_back(TSpanBand{top, bottom, first, count});
}

// The spans of a or b (each sorted, neither overlapping nor touching), appended to out.
void UnionSpans(const TSpan* a, std::size_t na, const TSpan* b, std::size_t nb, std::vector<TSpan>& out) {
  const std::size_t first = out.size();
  std::size_t p = 0, q = 0;
  while (p < na || q < nb) {
    const TSpan s = (q == nb || (p < na && a[p].Left <= b[q].Left)) ? a[p++] : b[q++];
    if (out.size() > first && s.Left <= out.back().Right)
      out.back().Right = std::max(out.back().Right, s.Right);
    else
      out.push_back(s);
  }
}

// The spans of a outside b, appended to out.
void SubtractSpans(const TSpan* a, std::size_t na, const TSpan* b, std::size_t nb, std::vector<TSpan>& out) {
  std::size_t q = 0;
  for (std::size_t p = 0; p < na; ++p) {
    int l = a[p].Left;
    const int r = a[p].Right;
    while (q < nb && b[q].Right <= l) ++q;
    for (std::size_t t = q; t < nb && b[t].Left < r && l < r; ++t) {
      if (b[t].Left > l) out.push_back(TSpan{l, b[t].Left});
      l = std::max(l, b[t].Right);
    }
    if (l < r) out.push_back(TSpan{l, r});
  }
}

// Combines a and b stretch by stretch of rows where neither changes: combine(spans of a,
// count, spans of b, count, out) appends the stretch's spans. Into out.
template <typename TCombine>
void CombineBands(const TSpanBands& a, const TSpanBands& b, TSpanBands& out, TCombine combine) {
  out.Clear();
  const std::size_t na = a.Bands.size(), nb = b.Bands.size();
  std::size_t i = 0, j = 0;
  int y = INT_MAX;
  if (na > 0) y = a.Bands[0].Top;
  if (nb > 0) y = std::min(y, b.Bands[0].Top);
  while (i < na || j < nb) {
    const bool inA = i < na && a.Bands[i].Top <= y;
    const bool inB = j < nb && b.Bands[j].Top <= y;
    const int ya = i < na ? (inA ? a.Bands[i].Bottom : a.Bands[i].Top) : INT_MAX;
    const int yb = j < nb ? (inB ? b.Bands[j].Bottom : b.Bands[j].Top) : INT_MAX;
    const int until = std::min(ya, yb);
    if (inA || inB) {
      const std::size_t first = out.Spans.size();
      combine(inA ? a.Spans.data() + a.Bands[i].First : nullptr, inA ? a.Bands[i].Count : 0,
              inB ? b.Spans.data() + b.Bands[j].First : nullptr, inB ? b.Bands[j].Count : 0, out.Spans);
      CloseBand(out, y, until, first);
    }
    y = until;
    if (i < na && a.Bands[i].Bottom <= y) ++i;
    if (j < nb && b.Bands[j].Bottom <= y) ++j;
  }
}

void UnionBands(const TSpanBands& a, const TSpanBands& b, TSpanBands& out) { CombineBands(a, b, out, UnionSpans); }
void SubtractBands(const TSpanBands& a, const TSpanBands& b, TSpanBands& out) { CombineBands(a, b, out, SubtractSpans); }

// One rectangle as bands.
void RectBands(const TRect& r, TSpanBands& out) {
  out.Clear();
  if (r.Empty()) return;
  out.Spans.push_back(TSpan{r.Left, r.Right});
  out.Bands.push_back(TSpanBand{r.Top, r.Bottom, 0, 1});
}

// Clips rects (picture coordinates) to the picture and to the frame seen from the
// picture's place.
void ClipRects(std::vector<TRect>& rects, const TRect& limit) {
  std::size_t kept = 0;
  for (const TRect& rect : rects) {
    const TRect r = IntersectRect(rect, limit);
    if (!r.Empty()) rects[kept++] = r;
  }
  rects.resize(kept);
}

// Copies picture, placed at (left, top), where bands hold the pixel (picture
// coordinates, already clipped), row by row; returns the rectangle of target that changed.
// A band of wide spans is compared span by span; one of many narrow spans (the column
// bands, fragmented jagged edges) through a mask of its spans, row by row.
TRect CopyThroughBands(TBitmap32& target, int left, int top, const TBitmap32& picture, const TSpanBands& bands,
                       std::vector<TPixel>& mask) {
  TChangedBounds changed;
  for (const TSpanBand& band : bands.Bands) {
    const TSpan* spans = bands.Spans.data() + band.First;
    const std::size_t count = band.Count;
    const int l = spans[0].Left, r = spans[count - 1].Right;
    if (count >= 4 && std::int64_t(r - l) < 32 * std::int64_t(count)) {
      if (mask.size() < static_cast<std::size_t>(picture.Width())) mask.resize(static_cast<std::size_t>(picture.Width()));
      std::fill(mask.begin() + l, mask.begin() + r, TPixel(0));
      for (std::size_t s = 0; s < count; ++s) std::fill(mask.begin() + spans[s].Left, mask.begin() + spans[s].Right, ~TPixel(0));
      for (int row = band.Top; row < band.Bottom; ++row)
        CopyMaskedIfChanged(target.Row(row + top) + left, picture.Row(row), mask.data(), l, r, row, changed);
      continue;
    }
    for (int row = band.Top; row < band.Bottom; ++row) {
      const TPixel* from = picture.Row(row);
      TPixel* to = target.Row(row + top) + left;
      for (std::size_t s = 0; s < count; ++s) CopySpanIfChanged(to, from, spans[s].Left, spans[s].Right, row, changed);
    }
  }
  return changed.Rect(left, top);
}

TRect PictureLimit(const TBitmap32& target, int left, int top, const TBitmap32& picture) {
  return IntersectRect(picture.Bounds(), TRect{-left, -top, target.Width() - left, target.Height() - top});
}

}  // namespace

int StepCount(int style, int w, int h) {
  switch (style) {
    case 0: return 1;
    case 1: case 2: case 5: case 6: case 9: case 11: case 12: return w;
    case 3: case 4: case 7: case 8: case 10: case 13: case 14: return h;
    case 15: case 16: case 17: case 18: return w > h ? w : h;
    default: return 100;
  }
}

TPoint Progress(int w, int h, int k, int n) {
  const int m = std::max(w, h);
  if (m <= 0 || n <= 0) return TPoint{0, 0};
  const int along = MulDiv(m, k, n);
  if (w >= h) return TPoint{along, MulDiv(along, h, m)};
  return TPoint{MulDiv(along, w, m), along};
}

int SnapDistance(int w, int h) { return MulDiv(std::max(w, h), 1, 90); }

namespace {

void BandRects(std::vector<TRect>& rects, int x, int y, int w, int h, int d, int rowKind, int colKind) {
  if (rowKind != 0) {
    const int s = x > w ? 5 : 0;
    for (int i = s; i < h + 5; i += 10) {
      if (x <= w) {
        const int v = x + d > w ? w : x;
        switch (rowKind) {
          case 1: case 5: AddRect(rects, w - v, i, w, i + 5); break;
          case 2: case 4: AddRect(rects, 0, i, v, i + 5); break;
          case 3: AddRect(rects, w - v, i, w, i + 5); AddRect(rects, 0, i + 5, v, i + 10); break;
          default: break;
        }
      } else {
        AddRect(rects, 0, i - 5, w, i);
        switch (rowKind) {
          case 1: case 4: AddRect(rects, 2 * w - x, i, w, i + 5); break;
          case 2: case 5: AddRect(rects, 0, i, x - w, i + 5); break;
          default: break;
        }
      }
    }
  }
  if (colKind != 0) {
    const int s = y > h ? 5 : 0;
    for (int j = s; j < w + 5; j += 10) {
      if (y <= h) {
        const int v = y + d > h ? h : y;
        switch (colKind) {
          case 1: case 5: AddRect(rects, j, h - v, j + 5, h); break;
          case 2: case 4: AddRect(rects, j, 0, j + 5, v); break;
          case 3: AddRect(rects, j, h - v, j + 5, h); AddRect(rects, j + 5, 0, j + 10, v); break;
          default: break;
        }
      } else {
        AddRect(rects, j - 5, 0, j, h);
        switch (colKind) {
          case 1: case 4: AddRect(rects, j, 2 * h - y, j + 5, h); break;
          case 2: case 5: AddRect(rects, j, 0, j + 5, y - h); break;
          default: break;
        }
      }
    }
  }
}

void RaggedBandRects(std::vector<TRect>& rects, int x, int y, int w, int h, int rowKind, int colKind,
                     platform::IRandom& random) {
  if (rowKind != 0) {
    const int c = x < w ? w / 7 : 0;
    for (int off = 0; off < h; off += 5) {
      const int top = off, bottom = off + 5 + h % 5;
      switch (rowKind) {
        case 1: AddRect(rects, w - x + Jitter(random, c), top, w, bottom); break;
        case 2: AddRect(rects, 0, top, x + Jitter(random, c), bottom); break;
        case 3: {
          const int j1 = Jitter(random, c);
          const int j2 = Jitter(random, c);
          AddRect(rects, (w - x + j1) / 2, top, w / 2, bottom);
          AddRect(rects, w / 2, top, (w + x + j2) / 2, bottom);
          break;
        }
        case 4: {
          const int j1 = Jitter(random, c);
          const int j2 = Jitter(random, c);
          AddRect(rects, w - (x + j1) / 2, top, w, bottom);
          AddRect(rects, 0, top, (x + j2) / 2, bottom);
          break;
        }
        default: break;
      }
    }
  }
  if (colKind != 0) {
    const int c = y < h ? h / 7 : 0;
    for (int off = 0; off < w; off += 5) {
      const int left = off, right = off + 5 + w % 5;
      switch (colKind) {
        case 1: AddRect(rects, left, h - y + Jitter(random, c), right, h); break;
        case 2: AddRect(rects, left, 0, right, y + Jitter(random, c)); break;
        case 3: {
          const int j1 = Jitter(random, c);
          const int j2 = Jitter(random, c);
          AddRect(rects, left, (h - y + j1) / 2, right, h / 2);
          AddRect(rects, left, h / 2, right, (h + y + j2) / 2);
          break;
        }
        case 4: {
          const int j1 = Jitter(random, c);
          const int j2 = Jitter(random, c);
          AddRect(rects, left, h - (y + j1) / 2, right, h);
          AddRect(rects, left, 0, right, (y + j2) / 2);
          break;
        }
        default: break;
      }
    }
  }
}

// The rows of the triangle (p, q), (p + a, q), (p, q + b) with a, b >= 0, exactly as the
// polygon fill takes them: row y in [q, q + b) runs from p to ceil(xh - 1/2), xh being
// the long edge at the row's centre y + 1/2, that is p + a (2 (q + b - y) - 1) / (2 b).
void CornerTriangleRects(std::vector<TRect>& rects, int p, int q, int a, int b) {
  if (a <= 0 || b <= 0) return;
  const std::int64_t d = 2 * std::int64_t(b);
  for (int y = q; y < q + b; ++y) {
    const std::int64_t n = std::int64_t(a) * (2 * (std::int64_t(q) + b - y) - 1) - b;
    const std::int64_t c = n >= 0 ? (n + d - 1) / d : -((-n) / d);
    AddRect(rects, p, y, static_cast<int>(p + c), y + 1);
  }
}

// The grid of corner triangles of style 78 (legs a and b, corners at w i / 10, h j / 10),
// clipped to limit, as one band per row: the spans each row takes from the triangles
// over it, merged, made row by row instead of a rectangle per triangle row sorted and
// swept; into out.
void GridTriangleBands(int w, int h, int a, int b, const TRect& limit, TSpanBands& out, std::vector<TSpan>& row) {
  out.Clear();
  if (a <= 0 || b <= 0) return;
  const std::int64_t d = 2 * std::int64_t(b);
  for (int y = limit.Top; y < limit.Bottom; ++y) {
    row.clear();
    for (int j = 0; j <= 9; ++j) {
      const int q = h * j / 10;
      if (y < q || y - q >= b) continue;
      const std::int64_t n = std::int64_t(a) * (2 * (std::int64_t(q) + b - y) - 1) - b;
      const std::int64_t c = n >= 0 ? (n + d - 1) / d : -((-n) / d);
      if (c <= 0) continue;
      for (int i = 0; i <= 9; ++i) {
        const int p = w * i / 10;
        const int l = std::max(p, limit.Left);
        const int r = static_cast<int>(std::min<std::int64_t>(p + c, limit.Right));
        if (l < r) row.push_back(TSpan{l, r});
      }
    }
    if (row.empty()) continue;
    std::sort(row.begin(), row.end(), [](const TSpan& s, const TSpan& t) { return s.Left < t.Left; });
    const std::size_t first = out.Spans.size();
    for (const TSpan& span : row) {
      if (out.Spans.size() > first && span.Left <= out.Spans.back().Right)
        out.Spans.back().Right = std::max(out.Spans.back().Right, span.Right);
      else
        out.Spans.push_back(span);
    }
    out.Bands.push_back(TSpanBand{y, y + 1, first, out.Spans.size() - first});
  }
}

void AddRegion(std::vector<TRect>& rects, const TRegion& region) {
  rects.insert(rects.end(), region.Rects().begin(), region.Rects().end());
}

}  // namespace

TRegion BandRegion(int x, int y, int w, int h, int d, int rowKind, int colKind) {
  std::vector<TRect> rects;
  BandRects(rects, x, y, w, h, d, rowKind, colKind);
  return TRegion::FromRects(rects);
}

TRegion RaggedBandRegion(int x, int y, int w, int h, int rowKind, int colKind, platform::IRandom& random) {
  std::vector<TRect> rects;
  RaggedBandRects(rects, x, y, w, h, rowKind, colKind, random);
  return TRegion::FromRects(rects);
}

TRegion TriangleRegion(TPoint p1, TPoint p2, TPoint p3) {
  const TPoint points[] = {p1, p2, p3};
  return TRegion::Polygon(points);
}

static void StyleRects(std::vector<TRect>& out, int style, int k, int n, int w, int h, platform::IRandom& random) {
  if (k <= 0 || style < 19 || style > 78) return;
  const TPoint progress = Progress(w, h, k, n);
  const int x = progress.X, y = progress.Y;
  const int d = SnapDistance(w, h);
  switch (style) {
    case 19: AddRegion(out, RoundRect(-2 * w, -5, 2 * x, h + 5, 2 * w, 2 * w)); return;
    case 20: AddRegion(out, RoundRect(w - 2 * x, -5, 3 * w, h + 5, 2 * w, 2 * w)); return;
    case 21: BandRects(out, 2 * x, 0, w, h, d, 1, 0); return;
    case 22: BandRects(out, 2 * x, 0, w, h, d, 2, 0); return;
    case 23: BandRects(out, 2 * x, 0, w, h, d, 4, 0); return;
    case 24: BandRects(out, 2 * x, 0, w, h, d, 5, 0); return;
    case 25: BandRects(out, x, 0, w, h, 0, 3, 0); return;
    case 26: RaggedBandRects(out, x, 0, w, h, 1, 0, random); return;
    case 27: RaggedBandRects(out, x, 0, w, h, 2, 0, random); return;
    case 28: RaggedBandRects(out, x, 0, w, h, 3, 0, random); return;
    case 29: RaggedBandRects(out, x, 0, w, h, 4, 0, random); return;
    case 30: AddRegion(out, RoundRect(-5, -2 * h, w + 5, 2 * y, 2 * h, 2 * h)); return;
    case 31: AddRegion(out, RoundRect(-5, h - 2 * y, w + 5, 3 * h, 2 * h, 2 * h)); return;
    case 32: BandRects(out, 0, 2 * y, w, h, d, 0, 1); return;
    case 33: BandRects(out, 0, 2 * y, w, h, d, 0, 2); return;
    case 34: BandRects(out, 0, 2 * y, w, h, d, 0, 4); return;
    case 35: BandRects(out, 0, 2 * y, w, h, d, 0, 5); return;
    case 36: BandRects(out, 0, y, w, h, 0, 0, 3); return;
    case 37: RaggedBandRects(out, 0, y, w, h, 0, 1, random); return;
    case 38: RaggedBandRects(out, 0, y, w, h, 0, 2, random); return;
    case 39: RaggedBandRects(out, 0, y, w, h, 0, 3, random); return;
    case 40: RaggedBandRects(out, 0, y, w, h, 0, 4, random); return;
    case 41: AddRegion(out, RoundRect(-2 * w, -2 * h, 2 * x, 2 * y, 2 * w, 2 * h)); return;
    case 42: AddRegion(out, RoundRect(w - 2 * x, -2 * h, 3 * w, 2 * y, 2 * w, 2 * h)); return;
    case 43: AddRegion(out, RoundRect(-2 * w, h - 2 * y, 2 * x, 3 * h, 2 * w, 2 * h)); return;
    case 44: AddRegion(out, RoundRect(w - 2 * x, h - 2 * y, 3 * w, 3 * h, 2 * h, 2 * h)); return;
    case 45: AddRegion(out, RoundRect(w / 2 - x, h / 2 - y, w / 2 + x, h / 2 + y, 9 * x / 5, 9 * y / 5)); return;
    case 46:
      AddRegion(out, Xor(TRegion::FromRect(0, 0, w, h), RoundRect(x - w / 2, y - h / 2, 3 * w / 2 - x, 3 * h / 2 - y,
                                                          9 * (w - x) / 5, 9 * (h - y) / 5)));
      return;
    case 47: BandRects(out, 2 * x, 2 * y, w, h, d, 1, 1); return;
    case 48: BandRects(out, 2 * x, 2 * y, w, h, d, 1, 2); return;
    case 49: BandRects(out, 2 * x, 2 * y, w, h, d, 2, 1); return;
    case 50: BandRects(out, 2 * x, 2 * y, w, h, d, 2, 2); return;
    case 51: BandRects(out, 2 * x, 2 * y, w, h, d, 4, 4); return;
    case 52: BandRects(out, 2 * x, 2 * y, w, h, d, 4, 5); return;
    case 53: BandRects(out, 2 * x, 2 * y, w, h, d, 5, 4); return;
    case 54: BandRects(out, 2 * x, 2 * y, w, h, d, 5, 5); return;
    case 55: BandRects(out, x, y, w, h, d, 1, 3); return;
    case 56: BandRects(out, x, y, w, h, d, 2, 3); return;
    case 57: BandRects(out, x, y, w, h, d, 3, 1); return;
    case 58: BandRects(out, x, y, w, h, d, 3, 2); return;
    case 59: BandRects(out, x, y, w, h, 0, 3, 3); return;
    case 60: AddRegion(out, Intersect(BandRegion(2 * x, 2 * y, w, h, d, 2, 2), BandRegion(2 * x, 2 * y, w, h, d, 1, 1))); return;
    case 61: RaggedBandRects(out, x, y, w, h, 1, 1, random); return;
    case 62: RaggedBandRects(out, x, y, w, h, 1, 2, random); return;
    case 63: RaggedBandRects(out, x, y, w, h, 2, 1, random); return;
    case 64: RaggedBandRects(out, x, y, w, h, 2, 2, random); return;
    case 65: RaggedBandRects(out, x, y, w, h, 1, 3, random); return;
    case 66: RaggedBandRects(out, x, y, w, h, 2, 3, random); return;
    case 67: RaggedBandRects(out, x, y, w, h, 3, 1, random); return;
    case 68: RaggedBandRects(out, x, y, w, h, 3, 2, random); return;
    case 69: RaggedBandRects(out, x, y, w, h, 3, 3, random); return;
    case 70: RaggedBandRects(out, x, y, w, h, 4, 4, random); return;
    case 71: AddRegion(out, Triangle(0, 0, 2 * x, 0, 0, 2 * y)); return;
    case 72: AddRegion(out, Triangle(w, 0, w - 2 * x, 0, w, 2 * y)); return;
    case 73: AddRegion(out, Triangle(0, h, 2 * x, h, 0, h - 2 * y)); return;
    case 74: AddRegion(out, Triangle(w, h, w - 2 * x, h, w, h - 2 * y)); return;
    case 75: AddRegion(out, Triangle(0, h, 0, 0, x, h)); AddRegion(out, Triangle(w, h, w, 0, w - x, 0)); return;
    case 76: AddRegion(out, Triangle(w, 0, 0, 0, w, y)); AddRegion(out, Triangle(w, h, 0, h, 0, h - y)); return;
    case 77: {
      const TRegion parts[] = {Triangle(w / 2, h / 2, 0, h, 0, h - y), Triangle(0, 0, x, 0, w / 2, h / 2),
                               Triangle(w - x, h, w / 2, h / 2, w, h), Triangle(w / 2, h / 2, w, 0, w, y)};
      for (const TRegion& part : parts) AddRegion(out, part);
      return;
    }
    case 78: {
      const int a = x / 5;
      const int b = MulDiv(a, h, w);
      for (int i = 0; i <= 9; ++i) {
        for (int j = 0; j <= 9; ++j) {
          const int p = w * i / 10, q = h * j / 10;
          CornerTriangleRects(out, p, q, a, b);
        }
      }
      return;
    }
    default: return;
  }
}

TRegion StyleRegion(int style, int k, int n, int w, int h, platform::IRandom& random) {
  std::vector<TRect> rects;
  StyleRects(rects, style, k, n, w, h, random);
  return TRegion::FromRects(rects);
}

struct TFrameMemory::TState {
  // The transition the set belongs to.
  const TPixel* Target = nullptr;
  const TPixel* Picture = nullptr;
  int TargetW = 0, TargetH = 0, W = 0, H = 0, Left = 0, Top = 0, Style = 0, N = 0, LastK = 0;
  bool Known = false;
  // The picture pixels the target holds (picture coordinates, within the picture's
  // visible part), and room for the next set and a frame's new pixels.
  TSpanBands Held, Next, New;
  std::vector<TLineWrite> Writes;
  TSpanBands One;
};

TFrameMemory::TFrameMemory() : state_(std::make_unique<TState>()) {}
TFrameMemory::~TFrameMemory() = default;
TFrameMemory::TFrameMemory(const TFrameMemory& other) : state_(std::make_unique<TState>(*other.state_)) {}
TFrameMemory& TFrameMemory::operator=(const TFrameMemory& other) {
  *state_ = *other.state_;
  return *this;
}

void TFrameMemory::Clear() {
  state_->Known = false;
  state_->Held.Clear();
}

std::int64_t TFrameMemory::HeldPixels() const {
  std::int64_t count = 0;
  for (const TSpanBand& band : state_->Held.Bands)
    for (std::size_t s = band.First; s < band.First + band.Count; ++s)
      count += std::int64_t(band.Bottom - band.Top) * (state_->Held.Spans[s].Right - state_->Held.Spans[s].Left);
  return count;
}

namespace {

using TMemoryState = TFrameMemory::TState;

// The memory's state for this frame: what it holds if the frame continues the transition
// it remembers, else emptied and made this transition's.
TMemoryState& Continue(TMemoryState& state, const TBitmap32& target, int left, int top, const TBitmap32& picture,
                       int style, int k, int n) {
  const bool same = state.Known && state.Target == target.Pixels().data() && state.TargetW == target.Width() &&
                    state.TargetH == target.Height() && state.Picture == picture.Pixels().data() &&
                    state.W == picture.Width() && state.H == picture.Height() && state.Left == left &&
                    state.Top == top && state.Style == style && state.N == n && k >= state.LastK;
  if (!same) {
    state.Held.Clear();
    state.Target = target.Pixels().data();
    state.TargetW = target.Width();
    state.TargetH = target.Height();
    state.Picture = picture.Pixels().data();
    state.W = picture.Width();
    state.H = picture.Height();
    state.Left = left;
    state.Top = top;
    state.Style = style;
    state.N = n;
    state.Known = true;
  }
  state.LastK = k;
  return state;
}

// Draws the pixels of region (picture coordinates, clipped) the target does not hold yet,
// where they differ from the picture, and remembers the region as held.
TRect CopyNew(TBitmap32& target, int left, int top, const TBitmap32& picture, const TSpanBands& region,
              TMemoryState& state, std::vector<TPixel>& mask) {
  SubtractBands(region, state.Held, state.New);
  const TRect changed = CopyThroughBands(target, left, top, picture, state.New, mask);
  if (!state.New.Bands.empty()) {
    UnionBands(state.Held, region, state.Next);
    std::swap(state.Held, state.Next);
  }
  return changed;
}

// Brings the held set up to date with a line frame's writes, in their order: picture
// pixels join it, a mirrored strip leaves it.
void RememberLines(TMemoryState& state) {
  try {
    for (const TLineWrite& write : state.Writes) {
      RectBands(write.Rect, state.One);
      if (write.Picture)
        UnionBands(state.Held, state.One, state.Next);
      else
        SubtractBands(state.Held, state.One, state.Next);
      std::swap(state.Held, state.Next);
    }
  } catch (...) {
    // A strip that could not leave the set would be taken for the picture.
    state.Held.Clear();
    state.Known = false;
    throw;
  }
}

}  // namespace

TRect PaintEffectStep(TBitmap32& target, int left, int top, const TBitmap32& picture, int style, int k, int n,
                      platform::IRandom& random, TFrameMemory* memory) {
  const int w = picture.Width(), h = picture.Height();
  if (picture.Empty()) return TRect{};
  TMemoryState* const state =
      memory != nullptr ? &Continue(*memory->state_, target, left, top, picture, style, k, n) : nullptr;
  const TRect place = IntersectRect(TRect{left, top, left + w, top + h}, target.Bounds());
  // Style 0 draws the whole picture at every step.
  if (k >= n || style == 0) {
    if (place.Empty()) return TRect{};
    if (state != nullptr) {
      RectBands(PictureLimit(target, left, top, picture), state->One);
      return CopyNew(target, left, top, picture, state->One, *state, Scratch().Mask);
    }
    // The last frames repeat the whole picture over what is mostly there already.
    TChangedBounds changed;
    const int l = place.Left - left, r = place.Right - left;
    for (int row = place.Top - top; row < place.Bottom - top; ++row)
      CopySpanIfChanged(target.Row(row + top) + left, picture.Row(row), l, r, row, changed);
    return changed.Rect(left, top);
  }
  if (style >= 1 && style <= 18) {
    const TPoint progress = Progress(w, h, k, n);
    if (state != nullptr) state->Writes.clear();
    TLinePainter painter(target, left, top, picture, state != nullptr ? &state->Writes : nullptr);
    PaintLineStyle(painter, style, progress.X, progress.Y, w, h);
    if (state != nullptr) RememberLines(*state);
    return painter.Changed();
  }
  const TRect limit = PictureLimit(target, left, top, picture);
  TScratch& scratch = Scratch();
  const auto copy = [&](const TSpanBands& region) {
    return state != nullptr ? CopyNew(target, left, top, picture, region, *state, scratch.Mask)
                            : CopyThroughBands(target, left, top, picture, region, scratch.Mask);
  };
  if (style == 60) {
    // The intersection of two band regions, without making either canonical.
    if (k <= 0) return TRect{};
    const TPoint progress = Progress(w, h, k, n);
    const int d = SnapDistance(w, h);
    std::vector<TRect>& a = scratch.Rects;
    std::vector<TRect>& b = scratch.Other;
    a.clear();
    b.clear();
    BandRects(a, 2 * progress.X, 2 * progress.Y, w, h, d, 2, 2);
    BandRects(b, 2 * progress.X, 2 * progress.Y, w, h, d, 1, 1);
    ClipRects(a, limit);
    ClipRects(b, limit);
    SpanBands(a, scratch.BandsA, scratch);
    SpanBands(b, scratch.BandsB, scratch);
    IntersectBands(scratch.BandsA, scratch.BandsB, scratch.Bands);
    return copy(scratch.Bands);
  }
  if (style == 78) {
    if (k <= 0) return TRect{};
    const int a = Progress(w, h, k, n).X / 5;
    GridTriangleBands(w, h, a, MulDiv(a, h, w), limit, scratch.Bands, scratch.Row);
    return copy(scratch.Bands);
  }
  std::vector<TRect>& rects = scratch.Rects;
  rects.clear();
  StyleRects(rects, style, k, n, w, h, random);
  ClipRects(rects, limit);
  SpanBands(rects, scratch.Bands, scratch);
  return copy(scratch.Bands);
}

}  // namespace lumora::effects
