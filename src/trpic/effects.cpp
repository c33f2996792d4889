#include "trpic/effects.h"

#include "base/mul_div.h"

#include <algorithm>
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

// Draws picture pixels of rect (picture coordinates) at their place; returns the frame
// rectangle that changed.
class TLinePainter {
 public:
  TLinePainter(TBitmap32& target, int left, int top, const TBitmap32& picture)
      : target_(target), left_(left), top_(top), picture_(picture) {}

  void Pixels(int l, int t, int r, int b) {
    const TRect src = IntersectRect(TRect{l, t, r, b}, picture_.Bounds());
    if (src.Empty()) return;
    const TRect dst = IntersectRect(TRect{left_ + src.Left, top_ + src.Top, left_ + src.Right, top_ + src.Bottom},
                                    target_.Bounds());
    if (dst.Empty()) return;
    target_.CopyRect(dst.Left, dst.Top, picture_,
                     TRect{dst.Left - left_, dst.Top - top_, dst.Right - left_, dst.Bottom - top_});
    changed_ = Union(changed_, dst);
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
    changed_ = Union(changed_, MirrorStrip(target_, picture_, IntersectRect(src, picture_.Bounds()), pushed, horizontal, clip));
  }
  TRect Changed() const { return changed_; }

 private:
  TBitmap32& target_;
  int left_, top_;
  const TBitmap32& picture_;
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

TRegion BandRegion(int x, int y, int w, int h, int d, int rowKind, int colKind) {
  std::vector<TRect> rects;
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
  return TRegion::FromRects(rects);
}

TRegion RaggedBandRegion(int x, int y, int w, int h, int rowKind, int colKind, platform::IRandom& random) {
  std::vector<TRect> rects;
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
  return TRegion::FromRects(rects);
}

TRegion TriangleRegion(TPoint p1, TPoint p2, TPoint p3) {
  const TPoint points[] = {p1, p2, p3};
  return TRegion::Polygon(points);
}

TRegion StyleRegion(int style, int k, int n, int w, int h, platform::IRandom& random) {
  if (k <= 0 || style < 19 || style > 78) return TRegion();
  const TPoint progress = Progress(w, h, k, n);
  const int x = progress.X, y = progress.Y;
  const int d = SnapDistance(w, h);
  switch (style) {
    case 19: return RoundRect(-2 * w, -5, 2 * x, h + 5, 2 * w, 2 * w);
    case 20: return RoundRect(w - 2 * x, -5, 3 * w, h + 5, 2 * w, 2 * w);
    case 21: return BandRegion(2 * x, 0, w, h, d, 1, 0);
    case 22: return BandRegion(2 * x, 0, w, h, d, 2, 0);
    case 23: return BandRegion(2 * x, 0, w, h, d, 4, 0);
    case 24: return BandRegion(2 * x, 0, w, h, d, 5, 0);
    case 25: return BandRegion(x, 0, w, h, 0, 3, 0);
    case 26: return RaggedBandRegion(x, 0, w, h, 1, 0, random);
    case 27: return RaggedBandRegion(x, 0, w, h, 2, 0, random);
    case 28: return RaggedBandRegion(x, 0, w, h, 3, 0, random);
    case 29: return RaggedBandRegion(x, 0, w, h, 4, 0, random);
    case 30: return RoundRect(-5, -2 * h, w + 5, 2 * y, 2 * h, 2 * h);
    case 31: return RoundRect(-5, h - 2 * y, w + 5, 3 * h, 2 * h, 2 * h);
    case 32: return BandRegion(0, 2 * y, w, h, d, 0, 1);
    case 33: return BandRegion(0, 2 * y, w, h, d, 0, 2);
    case 34: return BandRegion(0, 2 * y, w, h, d, 0, 4);
    case 35: return BandRegion(0, 2 * y, w, h, d, 0, 5);
    case 36: return BandRegion(0, y, w, h, 0, 0, 3);
    case 37: return RaggedBandRegion(0, y, w, h, 0, 1, random);
    case 38: return RaggedBandRegion(0, y, w, h, 0, 2, random);
    case 39: return RaggedBandRegion(0, y, w, h, 0, 3, random);
    case 40: return RaggedBandRegion(0, y, w, h, 0, 4, random);
    case 41: return RoundRect(-2 * w, -2 * h, 2 * x, 2 * y, 2 * w, 2 * h);
    case 42: return RoundRect(w - 2 * x, -2 * h, 3 * w, 2 * y, 2 * w, 2 * h);
    case 43: return RoundRect(-2 * w, h - 2 * y, 2 * x, 3 * h, 2 * w, 2 * h);
    case 44: return RoundRect(w - 2 * x, h - 2 * y, 3 * w, 3 * h, 2 * h, 2 * h);
    case 45: return RoundRect(w / 2 - x, h / 2 - y, w / 2 + x, h / 2 + y, 9 * x / 5, 9 * y / 5);
    case 46:
      return Xor(TRegion::FromRect(0, 0, w, h), RoundRect(x - w / 2, y - h / 2, 3 * w / 2 - x, 3 * h / 2 - y,
                                                          9 * (w - x) / 5, 9 * (h - y) / 5));
    case 47: return BandRegion(2 * x, 2 * y, w, h, d, 1, 1);
    case 48: return BandRegion(2 * x, 2 * y, w, h, d, 1, 2);
    case 49: return BandRegion(2 * x, 2 * y, w, h, d, 2, 1);
    case 50: return BandRegion(2 * x, 2 * y, w, h, d, 2, 2);
    case 51: return BandRegion(2 * x, 2 * y, w, h, d, 4, 4);
    case 52: return BandRegion(2 * x, 2 * y, w, h, d, 4, 5);
    case 53: return BandRegion(2 * x, 2 * y, w, h, d, 5, 4);
    case 54: return BandRegion(2 * x, 2 * y, w, h, d, 5, 5);
    case 55: return BandRegion(x, y, w, h, d, 1, 3);
    case 56: return BandRegion(x, y, w, h, d, 2, 3);
    case 57: return BandRegion(x, y, w, h, d, 3, 1);
    case 58: return BandRegion(x, y, w, h, d, 3, 2);
    case 59: return BandRegion(x, y, w, h, 0, 3, 3);
    case 60: return Intersect(BandRegion(2 * x, 2 * y, w, h, d, 2, 2), BandRegion(2 * x, 2 * y, w, h, d, 1, 1));
    case 61: return RaggedBandRegion(x, y, w, h, 1, 1, random);
    case 62: return RaggedBandRegion(x, y, w, h, 1, 2, random);
    case 63: return RaggedBandRegion(x, y, w, h, 2, 1, random);
    case 64: return RaggedBandRegion(x, y, w, h, 2, 2, random);
    case 65: return RaggedBandRegion(x, y, w, h, 1, 3, random);
    case 66: return RaggedBandRegion(x, y, w, h, 2, 3, random);
    case 67: return RaggedBandRegion(x, y, w, h, 3, 1, random);
    case 68: return RaggedBandRegion(x, y, w, h, 3, 2, random);
    case 69: return RaggedBandRegion(x, y, w, h, 3, 3, random);
    case 70: return RaggedBandRegion(x, y, w, h, 4, 4, random);
    case 71: return Triangle(0, 0, 2 * x, 0, 0, 2 * y);
    case 72: return Triangle(w, 0, w - 2 * x, 0, w, 2 * y);
    case 73: return Triangle(0, h, 2 * x, h, 0, h - 2 * y);
    case 74: return Triangle(w, h, w - 2 * x, h, w, h - 2 * y);
    case 75: return Union(Triangle(0, h, 0, 0, x, h), Triangle(w, h, w, 0, w - x, 0));
    case 76: return Union(Triangle(w, 0, 0, 0, w, y), Triangle(w, h, 0, h, 0, h - y));
    case 77: {
      std::vector<TRect> rects;
      const TRegion parts[] = {Triangle(w / 2, h / 2, 0, h, 0, h - y), Triangle(0, 0, x, 0, w / 2, h / 2),
                               Triangle(w - x, h, w / 2, h / 2, w, h), Triangle(w / 2, h / 2, w, 0, w, y)};
      for (const TRegion& part : parts) rects.insert(rects.end(), part.Rects().begin(), part.Rects().end());
      return TRegion::FromRects(rects);
    }
    case 78: {
      const int a = x / 5;
      const int b = MulDiv(a, h, w);
      std::vector<TRect> rects;
      for (int i = 0; i <= 9; ++i) {
        for (int j = 0; j <= 9; ++j) {
          const int p = w * i / 10, q = h * j / 10;
          const TRegion t = Triangle(p, q, p + a, q, p, q + b);
          rects.insert(rects.end(), t.Rects().begin(), t.Rects().end());
        }
      }
      return TRegion::FromRects(rects);
    }
    default: return TRegion();
  }
}

TRect PaintEffectStep(TBitmap32& target, int left, int top, const TBitmap32& picture, int style, int k, int n,
                      platform::IRandom& random) {
  const int w = picture.Width(), h = picture.Height();
  if (picture.Empty()) return TRect{};
  const TRect place = IntersectRect(TRect{left, top, left + w, top + h}, target.Bounds());
  // Style 0 draws the whole picture at every step.
  if (k >= n || style == 0) {
    if (place.Empty()) return TRect{};
    target.CopyRect(place.Left, place.Top, picture,
                    TRect{place.Left - left, place.Top - top, place.Right - left, place.Bottom - top});
    return place;
  }
  if (style >= 1 && style <= 18) {
    const TPoint progress = Progress(w, h, k, n);
    TLinePainter painter(target, left, top, picture);
    PaintLineStyle(painter, style, progress.X, progress.Y, w, h);
    return painter.Changed();
  }
  TRegion region = StyleRegion(style, k, n, w, h, random);
  if (region.Empty()) return TRect{};
  region.Offset(left, top);
  // The window's clipping: the frame, and nothing beyond the picture is copied anyway.
  region = Intersect(region, TRegion(place));
  if (region.Empty()) return TRect{};
  target.CopyThroughRegion(left, top, picture, region);
  return region.Bounds();
}

}  // namespace lumora::effects
