#include "imaging/bitmap32.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
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

void TBitmap32::ReleaseOutside(const TRect& keep) {
#if defined(__linux__)
  const TRect k = IntersectRect(keep, Bounds());
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  if (Empty() || page == 0) return;
  const auto base = reinterpret_cast<std::uintptr_t>(pixels_.data());
  const auto at = [&](int x, int y) {
    return base + (static_cast<std::uintptr_t>(y) * static_cast<std::uintptr_t>(width_) + static_cast<std::uintptr_t>(x)) *
                      sizeof(TPixel);
  };
  // The pages wholly inside [from, to); the block's own pages, so nothing beside it.
  const auto release = [page](std::uintptr_t from, std::uintptr_t to) {
    const std::uintptr_t first = (from + page - 1) & ~(page - 1);
    const std::uintptr_t last = to & ~(page - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
  };
  const std::uintptr_t end = at(0, height_);
  if (k.Empty()) {
    release(base, end);
    return;
  }
  // The gaps between the kept spans of consecutive rows, and before and after them.
  std::uintptr_t from = base;
  for (int y = k.Top; y < k.Bottom; ++y) {
    release(from, at(k.Left, y));
    from = at(k.Right, y);
  }
  release(from, end);
#else
  // Elsewhere the memory stays until the bitmap goes.
  (void)keep;
#endif
}

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
  // The same with one count of weights for every target index (Taps; the extra weights
  // are 0 and their pixels inside the source): a loop of fixed length, for the pass
  // that runs across a row.
  int Taps = 0;
  std::vector<int> FixedFirst;
  std::vector<std::int32_t> Fixed;
};

void AddFixedTaps(TAxisWeights& t, int srcLen) {
  const std::size_t n = t.First.size();
  int taps = 1;
  for (std::size_t i = 0; i < n; ++i) taps = std::max(taps, static_cast<int>(t.Offset[i + 1] - t.Offset[i]));
  taps = std::min(taps, std::max(srcLen, 1));
  t.Taps = taps;
  t.FixedFirst.resize(n);
  t.Fixed.assign(n * static_cast<std::size_t>(taps), 0);
  for (std::size_t i = 0; i < n; ++i) {
    const int first = std::min(t.First[i], std::max(srcLen - taps, 0));
    t.FixedFirst[i] = first;
    const int skip = t.First[i] - first;
    for (std::uint32_t k = t.Offset[i]; k < t.Offset[i + 1]; ++k)
      t.Fixed[i * static_cast<std::size_t>(taps) + static_cast<std::size_t>(skip) + (k - t.Offset[i])] = t.Weights[k];
  }
}

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

// Horizontal pass of one source row into 16-bit channels (value x 256): target column x
// of count is filtered from the source columns of wx's entry index(x).
template <int Taps, typename TIndex>
void FilterRowWith(const TPixel* in, const TAxisWeights& wx, int count, TIndex index, std::uint16_t* out) {
  constexpr int shift = kWeightBits - 8;
  constexpr std::uint64_t round = 1u << (shift - 1);
  const int taps = Taps > 0 ? Taps : wx.Taps;
  for (int x = 0; x < count; ++x) {
    const std::size_t i = index(x);
    const TPixel* p = in + wx.FixedFirst[i];
    const std::int32_t* weight = wx.Fixed.data() + i * static_cast<std::size_t>(taps);
    // Two channels a 64-bit word, one in each half: a sum never exceeds 255 x kWeightOne,
    // so the halves never carry into each other and every sum is the exact one.
    std::uint64_t br = 0, ga = 0;
    for (int k = 0; k < taps; ++k) {
      const auto w = static_cast<std::uint64_t>(weight[k]);
      const std::uint64_t v = p[k];
      br += ((v & 0xFFu) | ((v & 0x00FF0000u) << 16)) * w;
      ga += (((v >> 8) & 0xFFu) | ((v & 0xFF000000u) << 8)) * w;
    }
    out[4 * x + 0] = static_cast<std::uint16_t>(((br & 0xFFFFFFFFu) + round) >> shift);
    out[4 * x + 1] = static_cast<std::uint16_t>(((ga & 0xFFFFFFFFu) + round) >> shift);
    out[4 * x + 2] = static_cast<std::uint16_t>(((br >> 32) + round) >> shift);
    out[4 * x + 3] = static_cast<std::uint16_t>(((ga >> 32) + round) >> shift);
  }
}

// Horizontal pass of one source row into 16-bit channels (value x 256): target column x
// of count is filtered from the source columns of wx's entry index(x).
template <typename TIndex>
void FilterRow(const TPixel* in, const TAxisWeights& wx, int count, TIndex index, std::uint16_t* out) {
  switch (wx.Taps) {
    case 1: FilterRowWith<1>(in, wx, count, index, out); break;
    case 2: FilterRowWith<2>(in, wx, count, index, out); break;
    case 3: FilterRowWith<3>(in, wx, count, index, out); break;
    case 4: FilterRowWith<4>(in, wx, count, index, out); break;
    default: FilterRowWith<0>(in, wx, count, index, out); break;
  }
}

// Vertical pass for target row i of wy: rowAt(sy) gives the filtered source row sy.
template <typename TRowAt>
void BlendRows(const TAxisWeights& wy, std::size_t i, TRowAt rowAt, std::vector<std::uint32_t>& acc, TPixel* out,
               int count) {
  std::fill(acc.begin(), acc.end(), 0u);
  int sy = wy.First[i];
  for (std::uint32_t k = wy.Offset[i]; k < wy.Offset[i + 1]; ++k, ++sy) {
    const auto w = static_cast<std::uint32_t>(wy.Weights[k]);
    const std::uint16_t* in = rowAt(sy);
    std::uint32_t* sum = acc.data();
    const std::size_t n = acc.size();
    std::size_t c = 0;
    // Blocks of a fixed size, which the compiler turns into vector operations.
    for (; c + 16 <= n; c += 16)
      for (std::size_t j = 0; j < 16; ++j) sum[c + j] += std::uint32_t(in[c + j]) * w;
    for (; c < n; ++c) sum[c] += std::uint32_t(in[c]) * w;
  }
  constexpr int finalShift = kWeightBits + 8;
  for (int x = 0; x < count; ++x) {
    const auto ch = [&](int c) {
      return static_cast<std::uint8_t>((acc[static_cast<std::size_t>(4 * x + c)] + (1u << (finalShift - 1))) >> finalShift);
    };
    out[x] = MakePixel(ch(2), ch(1), ch(0), ch(3));
  }
}

std::size_t MostWeights(const TAxisWeights& w) {
  std::size_t most = 1;
  for (std::size_t i = 0; i + 1 < w.Offset.size(); ++i) most = std::max<std::size_t>(most, w.Offset[i + 1] - w.Offset[i]);
  return most;
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
  TAxisWeights wx = BuildAxisWeights(s.Width(), d.Width());
  AddFixedTaps(wx, s.Width());
  const TAxisWeights wy = BuildAxisWeights(s.Height(), d.Height());
  const auto indexX = [&](int x) { return static_cast<std::size_t>(mirrorX ? d.Right - 1 - x : x - d.Left); };
  const auto indexY = [&](int y) { return static_cast<std::size_t>(mirrorY ? d.Bottom - 1 - y : y - d.Top); };

  // Horizontal pass, only for the visible columns, one source row at a time as the target
  // rows need it: a ring holds the rows one target row spans, so a large picture needs no
  // filtered copy of itself.
  const int vw = visible.Width();
  const std::size_t rowSize = static_cast<std::size_t>(vw) * 4;
  const std::size_t ringRows = MostWeights(wy);
  std::vector<std::uint16_t> ring(ringRows * rowSize);
  std::vector<int> held(ringRows, -1);
  const auto filteredRow = [&](int sy) -> const std::uint16_t* {
    const std::size_t slot = static_cast<std::size_t>(sy) % ringRows;
    std::uint16_t* out = ring.data() + slot * rowSize;
    if (held[slot] == sy) return out;
    held[slot] = sy;
    FilterRow(src.Row(s.Top + sy) + s.Left, wx, vw, [&](int x) { return indexX(visible.Left + x); }, out);
    return out;
  };
  std::vector<std::uint32_t> acc(rowSize);
  for (int y = visible.Top; y < visible.Bottom; ++y) BlendRows(wy, indexY(y), filteredRow, acc, Row(y) + visible.Left, vw);
}

struct TRowStretcher::TState {
  TBitmap32& Target;
  int SourceWidth = 0;
  int SourceHeight = 0;
  TAxisWeights Wx, Wy;
  std::size_t RingRows = 1;
  std::vector<std::uint16_t> Ring;
  std::vector<std::uint32_t> Acc;
  int NextSource = 0;
  int NextTarget = 0;
};

TRowStretcher::TRowStretcher(int sourceWidth, int sourceHeight, TBitmap32& target)
    : state_(std::make_unique<TState>(TState{target, std::max(sourceWidth, 0), std::max(sourceHeight, 0), {}, {}, 1, {}, {}, 0, 0})) {
  TState& t = *state_;
  if (target.Empty() || t.SourceWidth == 0 || t.SourceHeight == 0) {
    t.NextTarget = target.Height();
    return;
  }
  t.Wx = BuildAxisWeights(t.SourceWidth, target.Width());
  AddFixedTaps(t.Wx, t.SourceWidth);
  t.Wy = BuildAxisWeights(t.SourceHeight, target.Height());
  t.RingRows = MostWeights(t.Wy);
  t.Ring.resize(t.RingRows * static_cast<std::size_t>(target.Width()) * 4);
  t.Acc.resize(static_cast<std::size_t>(target.Width()) * 4);
}

TRowStretcher::~TRowStretcher() = default;

void TRowStretcher::AddRow(const TPixel* row) {
  TState& t = *state_;
  if (t.NextSource >= t.SourceHeight || t.NextTarget >= t.Target.Height()) return;
  const int sy = t.NextSource++;
  const int width = t.Target.Width();
  const std::size_t rowSize = static_cast<std::size_t>(width) * 4;
  const auto slotOf = [&](int y) { return t.Ring.data() + (static_cast<std::size_t>(y) % t.RingRows) * rowSize; };
  FilterRow(row, t.Wx, width, [](int x) { return static_cast<std::size_t>(x); }, slotOf(sy));
  // Every target row whose last source row this is can be made now; the rows it spans
  // are the ring's latest.
  while (t.NextTarget < t.Target.Height()) {
    const auto i = static_cast<std::size_t>(t.NextTarget);
    const int last = t.Wy.First[i] + static_cast<int>(t.Wy.Offset[i + 1] - t.Wy.Offset[i]) - 1;
    if (last > sy) break;
    BlendRows(t.Wy, i, slotOf, t.Acc, t.Target.Row(t.NextTarget), width);
    ++t.NextTarget;
  }
}

}  // namespace lumora
