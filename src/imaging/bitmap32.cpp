#include "imaging/bitmap32.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <algorithm>

namespace lumora {

TBitmap32::TBitmap32(int width, int height, TUninitialised) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
}

namespace detail {

void* AllocatePixels(std::size_t bytes) {
  void* block = ::operator new(bytes);
#if defined(__linux__)
  // Blocks of a few MiB and more are offered large pages for the 2 MiB pages that lie
  // wholly inside them.
  constexpr std::size_t kLargeBlock = std::size_t(4) << 20;
  constexpr std::uintptr_t kLargePage = std::uintptr_t(2) << 20;
  if (bytes >= kLargeBlock) {
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kLargePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#endif
  return block;
}

void FreePixels(void* block, std::size_t) noexcept { ::operator delete(block); }

}  // namespace detail

void TBitmap32::SetSize(int width, int height, TPixel fill) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  std::vector<TPixel, detail::TPixelAllocator<TPixel>> pixels(
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
  const int keepW = std::min(width, width_);
  const int keepH = std::min(height, height_);
  for (int y = 0; y < keepH; ++y) {
    std::copy_n(Row(y), keepW, pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width));
  }
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
}

}  // namespace lumora

#include <cstring>

namespace lumora {

namespace {

// Clips a copy of srcRect (in src) to (dstX, dstY) (in dst) against both bitmaps.
// Returns false when nothing remains; otherwise the rectangle to copy and its target.
bool ClipCopy(const TRect& dstBounds, const TRect& srcBounds, int& dstX, int& dstY, TRect& srcRect) {
  TRect s = IntersectRect(srcRect, srcBounds);
  if (s.Empty()) return false;
  std::int64_t dx = std::int64_t(dstX) + (s.Left - srcRect.Left);
  std::int64_t dy = std::int64_t(dstY) + (s.Top - srcRect.Top);
  // Now limit to the destination.
  if (dx < dstBounds.Left) {
    s.Left += static_cast<int>(dstBounds.Left - dx);
    dx = dstBounds.Left;
  }
  if (dy < dstBounds.Top) {
    s.Top += static_cast<int>(dstBounds.Top - dy);
    dy = dstBounds.Top;
  }
  if (dx + s.Width() > dstBounds.Right) s.Right = static_cast<int>(s.Left + (dstBounds.Right - dx));
  if (dy + s.Height() > dstBounds.Bottom) s.Bottom = static_cast<int>(s.Top + (dstBounds.Bottom - dy));
  if (s.Empty()) return false;
  dstX = static_cast<int>(dx);
  dstY = static_cast<int>(dy);
  srcRect = s;
  return true;
}

constexpr int kWeightBits = 14;
constexpr std::int32_t kWeightOne = 1 << kWeightBits;

// Filter weights of one axis: for every target index, the first source index and the
// weights of consecutive source pixels, summing to kWeightOne.
struct TAxisWeights {
  std::vector<int> First;
  std::vector<std::uint32_t> Offset;  // into Weights; Offset[i + 1] - Offset[i] weights
  std::vector<std::int32_t> Weights;
};

TAxisWeights BuildAxisWeights(int srcLen, int dstLen) {
  TAxisWeights t;
  t.First.resize(static_cast<std::size_t>(dstLen));
  t.Offset.resize(static_cast<std::size_t>(dstLen) + 1);
  const std::int64_t s = srcLen;
  const std::int64_t d = dstLen;
  for (std::int64_t o = 0; o < d; ++o) {
    t.Offset[static_cast<std::size_t>(o)] = static_cast<std::uint32_t>(t.Weights.size());
    if (d < s) {
      // Area average: target pixel o covers [o * s / d, (o + 1) * s / d) of the source;
      // in units of 1/d that is [o * s, (o + 1) * s).
      const std::int64_t lo = o * s;
      const std::int64_t hi = (o + 1) * s;
      const std::int64_t first = lo / d;
      const std::int64_t last = (hi - 1) / d;
      t.First[static_cast<std::size_t>(o)] = static_cast<int>(first);
      const std::size_t start = t.Weights.size();
      std::int32_t sum = 0;
      for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t overlap = std::min((i + 1) * d, hi) - std::max(i * d, lo);
        const auto w = static_cast<std::int32_t>((overlap * kWeightOne + s / 2) / s);
        t.Weights.push_back(w);
        sum += w;
      }
      // Rounding leftovers go to the heaviest weight, so that flat areas stay exact.
      *std::max_element(t.Weights.begin() + static_cast<std::ptrdiff_t>(start), t.Weights.end()) += kWeightOne - sum;
    } else {
      // Bilinear: the target centre (o + 0.5) maps to source position (o + 0.5) * s / d - 0.5,
      // here in units of 1/(2d).
      const std::int64_t num = (2 * o + 1) * s - d;
      std::int64_t i0 = 0;
      std::int32_t w1 = 0;
      if (num > 0) {
        i0 = num / (2 * d);
        w1 = static_cast<std::int32_t>(((num - i0 * 2 * d) * kWeightOne + d) / (2 * d));
      }
      if (i0 >= s - 1) {
        i0 = s - 1;
        w1 = 0;
      }
      t.First[static_cast<std::size_t>(o)] = static_cast<int>(i0);
      t.Weights.push_back(kWeightOne - w1);
      if (w1 > 0) t.Weights.push_back(w1);
    }
  }
  t.Offset[static_cast<std::size_t>(d)] = static_cast<std::uint32_t>(t.Weights.size());
  return t;
}

}  // namespace

void TBitmap32::FillRect(const TRect& rect, TPixel color) {
  const TRect r = IntersectRect(rect, Bounds());
  if (r.Empty()) return;
  for (int y = r.Top; y < r.Bottom; ++y) std::fill_n(Row(y) + r.Left, r.Width(), color);
}

void TBitmap32::CopyRect(int dstX, int dstY, const TBitmap32& src, const TRect& srcRect) {
  TRect s = srcRect;
  if (!ClipCopy(Bounds(), src.Bounds(), dstX, dstY, s)) return;
  const std::size_t bytes = static_cast<std::size_t>(s.Width()) * sizeof(TPixel);
  if (&src == this && dstY > s.Top) {
    // Overlapping copy downward within one bitmap: go from the bottom row up.
    for (int r = s.Height() - 1; r >= 0; --r) std::memmove(Row(dstY + r) + dstX, src.Row(s.Top + r) + s.Left, bytes);
  } else {
    for (int r = 0; r < s.Height(); ++r) std::memmove(Row(dstY + r) + dstX, src.Row(s.Top + r) + s.Left, bytes);
  }
}

void TBitmap32::CopyThroughRegion(int dstX, int dstY, const TBitmap32& src, const TRegion& clip) {
  if (&src == this) {
    const TBitmap32 copy = src;
    CopyThroughRegion(dstX, dstY, copy, clip);
    return;
  }
  const TRect placed{dstX, dstY, dstX + src.Width(), dstY + src.Height()};
  const TRect limit = IntersectRect(placed, Bounds());
  if (limit.Empty()) return;
  for (const TRect& rect : clip.Rects()) {
    const TRect r = IntersectRect(rect, limit);
    if (r.Empty()) continue;
    const std::size_t bytes = static_cast<std::size_t>(r.Width()) * sizeof(TPixel);
    for (int y = r.Top; y < r.Bottom; ++y)
      std::memcpy(Row(y) + r.Left, src.Row(y - dstY) + (r.Left - dstX), bytes);
  }
}

void TBitmap32::DrawTransparent(int dstX, int dstY, const TBitmap32& src, TPixel key) {
  TRect s = src.Bounds();
  if (!ClipCopy(Bounds(), src.Bounds(), dstX, dstY, s)) return;
  const TPixel keyRgb = key & 0x00FFFFFFu;
  for (int r = 0; r < s.Height(); ++r) {
    const TPixel* in = src.Row(s.Top + r) + s.Left;
    TPixel* out = Row(dstY + r) + dstX;
    for (int x = 0; x < s.Width(); ++x)
      if ((in[x] & 0x00FFFFFFu) != keyRgb) out[x] = in[x];
  }
}

void TBitmap32::StretchDraw(const TRect& dstRect, const TBitmap32& src, const TRect& srcRect) {
  if (&src == this) {
    const TBitmap32 copy = src;
    StretchDraw(dstRect, copy, srcRect);
    return;
  }
  const TRect s = IntersectRect(srcRect, src.Bounds());
  if (s.Empty()) return;
  const bool mirrorX = dstRect.Left > dstRect.Right;
  const bool mirrorY = dstRect.Top > dstRect.Bottom;
  const TRect d{std::min(dstRect.Left, dstRect.Right), std::min(dstRect.Top, dstRect.Bottom),
                std::max(dstRect.Left, dstRect.Right), std::max(dstRect.Top, dstRect.Bottom)};
  if (d.Empty()) return;
  if (!mirrorX && !mirrorY && d.Width() == s.Width() && d.Height() == s.Height()) {
    CopyRect(d.Left, d.Top, src, s);
    return;
  }
  const TRect visible = IntersectRect(d, Bounds());
  if (visible.Empty()) return;
  const TAxisWeights wx = BuildAxisWeights(s.Width(), d.Width());
  const TAxisWeights wy = BuildAxisWeights(s.Height(), d.Height());
  const auto indexX = [&](int x) { return static_cast<std::size_t>(mirrorX ? d.Right - 1 - x : x - d.Left); };
  const auto indexY = [&](int y) { return static_cast<std::size_t>(mirrorY ? d.Bottom - 1 - y : y - d.Top); };

  // Horizontal pass into 16-bit channels (value x 256), only for the visible columns,
  // one source row at a time as the target rows need it: a ring holds the rows one
  // target row spans, so a large picture needs no filtered copy of itself.
  const int vw = visible.Width();
  const std::size_t rowSize = static_cast<std::size_t>(vw) * 4;
  std::size_t ringRows = 1;
  for (std::size_t i = 0; i + 1 < wy.Offset.size(); ++i) ringRows = std::max<std::size_t>(ringRows, wy.Offset[i + 1] - wy.Offset[i]);
  std::vector<std::uint16_t> ring(ringRows * rowSize);
  std::vector<int> held(ringRows, -1);
  const auto filteredRow = [&](int sy) -> const std::uint16_t* {
    const std::size_t slot = static_cast<std::size_t>(sy) % ringRows;
    std::uint16_t* out = ring.data() + slot * rowSize;
    if (held[slot] == sy) return out;
    held[slot] = sy;
    const TPixel* in = src.Row(s.Top + sy) + s.Left;
    for (int x = 0; x < vw; ++x) {
      const std::size_t i = indexX(visible.Left + x);
      const TPixel* p = in + wx.First[i];
      std::uint32_t b = 0, g = 0, r = 0, a = 0;
      for (std::uint32_t k = wx.Offset[i]; k < wx.Offset[i + 1]; ++k, ++p) {
        const auto w = static_cast<std::uint32_t>(wx.Weights[k]);
        b += PixelB(*p) * w;
        g += PixelG(*p) * w;
        r += PixelR(*p) * w;
        a += PixelA(*p) * w;
      }
      constexpr int shift = kWeightBits - 8;
      out[4 * x + 0] = static_cast<std::uint16_t>((b + (1u << (shift - 1))) >> shift);
      out[4 * x + 1] = static_cast<std::uint16_t>((g + (1u << (shift - 1))) >> shift);
      out[4 * x + 2] = static_cast<std::uint16_t>((r + (1u << (shift - 1))) >> shift);
      out[4 * x + 3] = static_cast<std::uint16_t>((a + (1u << (shift - 1))) >> shift);
    }
    return out;
  };
  // Vertical pass.
  std::vector<std::uint32_t> acc(static_cast<std::size_t>(vw) * 4);
  constexpr int finalShift = kWeightBits + 8;
  for (int y = visible.Top; y < visible.Bottom; ++y) {
    const std::size_t i = indexY(y);
    std::fill(acc.begin(), acc.end(), 0u);
    int sy = wy.First[i];
    for (std::uint32_t k = wy.Offset[i]; k < wy.Offset[i + 1]; ++k, ++sy) {
      const auto w = static_cast<std::uint32_t>(wy.Weights[k]);
      const std::uint16_t* in = filteredRow(sy);
      for (std::size_t c = 0; c < acc.size(); ++c) acc[c] += in[c] * w;
    }
    TPixel* out = Row(y) + visible.Left;
    for (int x = 0; x < vw; ++x) {
      const auto ch = [&](int c) {
        return static_cast<std::uint8_t>((acc[static_cast<std::size_t>(4 * x + c)] + (1u << (finalShift - 1))) >> finalShift);
      };
      out[x] = MakePixel(ch(2), ch(1), ch(0), ch(3));
    }
  }
}

}  // namespace lumora
