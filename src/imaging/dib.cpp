#include "imaging/dib.h"

#include "imaging/picture.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumora {

namespace {

constexpr std::uint32_t kRgbMask = 0x00FFFFFFu;

// The blend of one pixel: for blue, green and red, out = ((s * a + d * (255 - a)) >> 8) + 1.
// The shift stands in for a division by 255 and the + 1 makes up for it, so a channel never
// comes out as 0. The destination's alpha byte stays.
inline TPixel BlendPixel(TPixel s, TPixel d, std::uint32_t a) {
  const std::uint32_t ia = 255 - a;
  const std::uint32_t b = (((s & 0xFF) * a + (d & 0xFF) * ia) >> 8) + 1;
  const std::uint32_t g = ((((s >> 8) & 0xFF) * a + ((d >> 8) & 0xFF) * ia) >> 8) + 1;
  const std::uint32_t r = ((((s >> 16) & 0xFF) * a + ((d >> 16) & 0xFF) * ia) >> 8) + 1;
  return (d & 0xFF000000u) | (r << 16) | (g << 8) | b;
}

enum class TBlendWeight { Constant, Alpha, AlphaOpacity };

// One row of a blend; four pixels at a time where SSE2 is there (every x86-64). The 16-bit
// lanes hold s * a + d * (255 - a) <= 65025 without overflow.
template <TBlendWeight kWeight>
void BlendRow(const TPixel* src, TPixel* dst, int cols, std::uint32_t opacity) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i c255 = _mm_set1_epi16(255);
  const __m128i one = _mm_set1_epi16(1);
  const __m128i op = _mm_set1_epi16(static_cast<short>(opacity));
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; x + 4 <= cols; x += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + x));
    const __m128i sLo = _mm_unpacklo_epi8(s, zero);
    const __m128i sHi = _mm_unpackhi_epi8(s, zero);
    const __m128i dLo = _mm_unpacklo_epi8(d, zero);
    const __m128i dHi = _mm_unpackhi_epi8(d, zero);
    __m128i aLo;
    __m128i aHi;
    if constexpr (kWeight == TBlendWeight::Constant) {
      aLo = op;
      aHi = op;
    } else {
      aLo = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sLo, 0xFF), 0xFF);
      aHi = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sHi, 0xFF), 0xFF);
      if constexpr (kWeight == TBlendWeight::AlphaOpacity) {
        aLo = _mm_srli_epi16(_mm_mullo_epi16(aLo, op), 8);
        aHi = _mm_srli_epi16(_mm_mullo_epi16(aHi, op), 8);
      }
    }
    const __m128i rLo = _mm_add_epi16(
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sLo, aLo), _mm_mullo_epi16(dLo, _mm_sub_epi16(c255, aLo))), 8),
        one);
    const __m128i rHi = _mm_add_epi16(
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sHi, aHi), _mm_mullo_epi16(dHi, _mm_sub_epi16(c255, aHi))), 8),
        one);
    const __m128i packed = _mm_packus_epi16(rLo, rHi);
    const __m128i out = _mm_or_si128(_mm_andnot_si128(alphaMask, packed), _mm_and_si128(d, alphaMask));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), out);
  }
#endif
  for (; x < cols; ++x) {
    std::uint32_t a = opacity;
    if constexpr (kWeight == TBlendWeight::Alpha) a = PixelA(src[x]);
    if constexpr (kWeight == TBlendWeight::AlphaOpacity) a = (PixelA(src[x]) * opacity) >> 8;
    dst[x] = BlendPixel(src[x], dst[x], a);
  }
}

template <TBlendWeight kWeight>
void BlendRows(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride,
               std::uint32_t opacity) {
  for (int r = 0; r < rows; ++r, src += srcStride, dst += dstStride) BlendRow<kWeight>(src, dst, cols, opacity);
}

// Sine and cosine tables in 8-bit fixed point for each whole degree, rounded half to even.
struct TRotationTables {
  std::int32_t SinT[360];
  std::int32_t CosT[360];
  std::int32_t Sin90T[360];
  std::int32_t Cos90T[360];
};

const TRotationTables& RotationTables() {
  static const TRotationTables tables = [] {
    TRotationTables t{};
    for (int i = 0; i < 360; ++i) {
      const double r = i * std::numbers::pi / 180.0;
      const double r90 = (i + 90) * std::numbers::pi / 180.0;
      t.SinT[i] = static_cast<std::int32_t>(std::nearbyint(256.0 * std::sin(r)));
      t.CosT[i] = static_cast<std::int32_t>(std::nearbyint(256.0 * std::cos(r)));
      t.Sin90T[i] = static_cast<std::int32_t>(std::nearbyint(256.0 * std::sin(r90)));
      t.Cos90T[i] = static_cast<std::int32_t>(std::nearbyint(256.0 * std::cos(r90)));
    }
    return t;
  }();
  return tables;
}

// First x at or after `x` whose pixel's colour is (kWantKey) or is not (!kWantKey) the key;
// w when there is none. Four pixels at a time where SSE2 is there.
template <bool kWantKey>
int FindPixel(const TPixel* row, int x, int w, std::uint32_t key) {
#if defined(__SSE2__)
  const __m128i mask = _mm_set1_epi32(static_cast<int>(kRgbMask));
  const __m128i keys = _mm_set1_epi32(static_cast<int>(key));
  for (; x + 4 <= w; x += 4) {
    const __m128i p = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), mask);
    int bits = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(p, keys)));
    if constexpr (!kWantKey) bits ^= 0xF;
    if (bits) return x + std::countr_zero(static_cast<unsigned>(bits));
  }
#endif
  for (; x < w; ++x)
    if (((row[x] & kRgbMask) == key) == kWantKey) return x;
  return w;
}

std::uint16_t ClampSize(double v) {
  if (!(v > 0)) return 0;
  return static_cast<std::uint16_t>(std::min(v, 65535.0));
}

}  // namespace

void TPersistent::AssignTo(TPersistent& dest) const {
  throw EConvertError("Cannot assign a " + std::string(ClassName()) + " to a " + std::string(dest.ClassName()));
}

// ---- TAbstractSuperDIB -------------------------------------------------------------------

TAbstractSuperDIB::TAbstractSuperDIB() { ResetProperties(); }

void TAbstractSuperDIB::ResetProperties() {
  angle_ = 0;
  masked_ = false;
  opacity_ = 255;
  scaleX_ = 100.0;
  scaleY_ = 100.0;
  transparent_ = false;
  autoSize_ = false;
  transparentMode_ = TTransparentMode::tmAuto;
  keyColor_ = 0;
  width_ = 0;
  height_ = 0;
  ownsBits_ = true;
  pixelRoutine_ = {this, &TAbstractSuperDIB::CopyRows};
}

void TAbstractSuperDIB::Changed() {
  SelectPixelRoutine();
  if (OnChange && updateCount_ == 0) OnChange(*this);
}

void TAbstractSuperDIB::SelectPixelRoutine() {
  TPixelMethod method;
  if (opacity_ == 255) {
    method = masked_ ? &TAbstractSuperDIB::BlendAlpha
                     : (transparent_ ? &TAbstractSuperDIB::CopyKeyed : &TAbstractSuperDIB::CopyRows);
  } else {
    method = masked_ ? &TAbstractSuperDIB::BlendAlphaOpacity
                     : (transparent_ ? &TAbstractSuperDIB::BlendKeyed : &TAbstractSuperDIB::BlendConstant);
  }
  pixelRoutine_ = {this, method};
}

void TAbstractSuperDIB::SetAngle(TAngle value) {
  if (value == angle_) return;
  angle_ = value;
  Changed();
}
void TAbstractSuperDIB::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  Changed();
}
void TAbstractSuperDIB::SetWidth(std::uint16_t value) {
  if (value == width_) return;
  SetSize(value, height_);
  Changed();
}
void TAbstractSuperDIB::SetHeight(std::uint16_t value) {
  if (value == height_) return;
  SetSize(width_, value);
  Changed();
}
void TAbstractSuperDIB::SetMasked(bool value) {
  if (value == masked_) return;
  masked_ = value;
  Changed();
}
void TAbstractSuperDIB::SetOpacity(std::uint8_t value) {
  if (value == opacity_) return;
  opacity_ = value;
  Changed();
}
void TAbstractSuperDIB::SetScale(double value) {
  if (value == scaleX_ && value == scaleY_) return;
  scaleX_ = value;
  scaleY_ = value;
  Changed();
}
void TAbstractSuperDIB::SetScaleX(double value) {
  if (value == scaleX_) return;
  scaleX_ = value;
  Changed();
}
void TAbstractSuperDIB::SetScaleY(double value) {
  if (value == scaleY_) return;
  scaleY_ = value;
  Changed();
}
void TAbstractSuperDIB::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Changed();
}
void TAbstractSuperDIB::SetTransparentMode(TTransparentMode value) {
  if (value == transparentMode_) return;
  transparentMode_ = value;
  Changed();
}

std::uint32_t TAbstractSuperDIB::TransparentColor() const {
  if (transparentMode_ == TTransparentMode::tmFixed) return keyColor_;
  return bits_ ? (bits_[0] & kRgbMask) : 0;
}

void TAbstractSuperDIB::SetTransparentColor(std::uint32_t color) {
  const std::uint32_t key = ColorToPixelOrder(color & kRgbMask);
  if (key == keyColor_) return;
  keyColor_ = key;
  Changed();
}

void TAbstractSuperDIB::SetClipRect(const TRect& rect) {
  TRect r = rect;
  if (r.Left > r.Right) std::swap(r.Left, r.Right);
  if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
  r.Right = std::min(r.Right, width_ - 1);
  r.Left = std::max(r.Left, 0);
  r.Bottom = std::min(r.Bottom, height_ - 1);
  r.Top = std::max(r.Top, 0);
  clipRect_ = r;
}

void TAbstractSuperDIB::SetSize(std::uint16_t width, std::uint16_t height) {
  if (width == width_ && height == height_) return;
  if (!ownsBits_) {
    // A bitmap that shares another's memory cannot resize that memory: it gives the share
    // up and gets memory of its own.
    memory_.reset();
    bits_ = nullptr;
    ownsBits_ = true;
  }
  if (bits_) FreeBits();
  width_ = width == 0 ? 1 : width;
  height_ = height == 0 ? 1 : height;
  AllocBits();
  clipRect_ = TRect{0, 0, width_ - 1, height_ - 1};
}

void TAbstractSuperDIB::SetAlpha(std::uint8_t value) {
  if (bits_) {
    const std::size_t n = std::size_t(width_) * height_;
    const TPixel a = TPixel(value) << 24;
    for (std::size_t i = 0; i < n; ++i) bits_[i] = (bits_[i] & kRgbMask) | a;
  }
  Changed();
}

// ---- pixel routines ----------------------------------------------------------------------

void TAbstractSuperDIB::CopyAlphaRows(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                      std::ptrdiff_t dstStride) const {
  for (int r = 0; r < rows; ++r, src += srcStride, dst += dstStride)
    for (int x = 0; x < cols; ++x) dst[x] = (dst[x] & kRgbMask) | (src[x] & ~kRgbMask);
}

void TAbstractSuperDIB::CopyRows(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                 std::ptrdiff_t dstStride) const {
  for (int r = 0; r < rows; ++r, src += srcStride, dst += dstStride)
    std::memmove(dst, src, static_cast<std::size_t>(cols) * sizeof(TPixel));
}

void TAbstractSuperDIB::BlendConstant(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                      std::ptrdiff_t dstStride) const {
  BlendRows<TBlendWeight::Constant>(src, dst, rows, cols, srcStride, dstStride, opacity_);
}

void TAbstractSuperDIB::BlendAlpha(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                   std::ptrdiff_t dstStride) const {
  BlendRows<TBlendWeight::Alpha>(src, dst, rows, cols, srcStride, dstStride, 255);
}

void TAbstractSuperDIB::BlendAlphaOpacity(const TPixel* src, TPixel* dst, int rows, int cols,
                                          std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) const {
  BlendRows<TBlendWeight::AlphaOpacity>(src, dst, rows, cols, srcStride, dstStride, opacity_);
}

void TAbstractSuperDIB::CopyKeyed(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                  std::ptrdiff_t dstStride) const {
  const std::uint32_t key = TransparentColor() & kRgbMask;
  for (int r = 0; r < rows; ++r, src += srcStride, dst += dstStride)
    for (int x = 0; x < cols; ++x)
      if ((src[x] & kRgbMask) != key) dst[x] = src[x] & kRgbMask;
}

void TAbstractSuperDIB::BlendKeyed(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                   std::ptrdiff_t dstStride) const {
  const std::uint32_t key = TransparentColor() & kRgbMask;
  for (int r = 0; r < rows; ++r, src += srcStride, dst += dstStride)
    for (int x = 0; x < cols; ++x)
      if ((src[x] & kRgbMask) != key) dst[x] = BlendPixel(src[x], dst[x], opacity_);
}

// ---- drawing -----------------------------------------------------------------------------

void TAbstractSuperDIB::Draw(int x, int y, int width, int height, TAbstractSuperDIB& dest, std::uint16_t srcX,
                             std::uint16_t srcY) {
  if (angle_ != 0 || scaleX_ != 100.0 || scaleY_ != 100.0) {
    DrawRotated(x, y, width, height, dest);
    return;
  }
  // Cut the area in a fixed order: the target's clip rectangle (inclusive bounds), this
  // bitmap's size, then the target's size. 64-bit so that no sum overflows.
  std::int64_t X = x, Y = y, W = width, H = height, SX = srcX, SY = srcY;
  const TRect& clip = dest.clipRect_;
  if (clip.Left > X) {
    W -= clip.Left - X;
    SX += clip.Left - X;
    X = clip.Left;
  }
  if (clip.Top > Y) {
    H -= clip.Top - Y;
    SY += clip.Top - Y;
    Y = clip.Top;
  }
  if (X + W > clip.Right) W = clip.Right - X + 1;
  if (Y + H > clip.Bottom) H = clip.Bottom - Y + 1;
  if (SX + W > width_) W = width_ - SX;
  if (SY + H > height_) H = height_ - SY;
  if (W <= 0 || H <= 0 || X > dest.width_ || Y > dest.height_) return;
  if (X + W > dest.width_) W = dest.width_ - X;
  if (Y + H > dest.height_) H = dest.height_ - Y;
  // Either bitmap without memory: nothing to read or write.
  if (W <= 0 || H <= 0 || !bits_ || !dest.bits_) return;
  const TPixel* src = ScanLine(static_cast<int>(SY)) + SX;
  TPixel* dst = dest.ScanLine(static_cast<int>(Y)) + X;
  const TPixelRoutine routine = pixelRoutine_;
  (routine.Target->*routine.Method)(src, dst, static_cast<int>(H), static_cast<int>(W), -std::ptrdiff_t(width_),
                                    -std::ptrdiff_t(dest.width_));
  dest.Changed();
}

void TAbstractSuperDIB::DrawAlpha(int x, int y, int width, int height, TAbstractSuperDIB& dest, std::uint16_t srcX,
                                  std::uint16_t srcY) {
  const TPixelRoutine saved = pixelRoutine_;
  pixelRoutine_ = {this, &TAbstractSuperDIB::CopyAlphaRows};
  struct TRestore {
    TAbstractSuperDIB& Self;
    TPixelRoutine Saved;
    ~TRestore() { Self.pixelRoutine_ = Saved; }
  } restore{*this, saved};
  Draw(x, y, width, height, dest, srcX, srcY);
}

void TAbstractSuperDIB::DrawRotated(int x, int y, int width, int height, TAbstractSuperDIB& dest) {
  std::uint16_t tw = ClampSize(width);
  std::uint16_t th = ClampSize(height);
  if (autoSize_) {
    const double theta = angle_ * std::numbers::pi / 180.0;
    const double w = width_ * scaleX_ / 100.0;
    const double h = height_ * scaleY_ / 100.0;
    tw = ClampSize(std::nearbyint(std::fabs(std::cos(theta) * w) + std::fabs(std::sin(theta) * h)));
    th = ClampSize(std::nearbyint(std::fabs(std::sin(theta) * w) + std::fabs(std::cos(theta) * h)));
  }
  TWinDIB temp;
  temp.SetSize(tw, th);
  RotateInto(temp);
  temp.SetMasked(masked_);
  temp.SetOpacity(opacity_);
  if (transparent_) {
    temp.SetTransparent(true);
    temp.SetTransparentMode(TTransparentMode::tmFixed);
    temp.keyColor_ = TransparentColor();
  }
  temp.pixelRoutine_ = pixelRoutine_;
  temp.Draw(x, y, temp.width_, temp.height_, dest, 0, 0);
}

// Resamples this bitmap, rotated by Angle and scaled by ScaleX/ScaleY about the centres of
// both bitmaps, into target (nearest source pixel). Steps are 8-bit fixed point from the
// sine tables; offsets are truncated toward zero; a target pixel whose source falls outside
// this bitmap gets 0 when Masked, else the key colour. Rows are walked in memory order.
void TAbstractSuperDIB::RotateInto(TAbstractSuperDIB& target) const {
  if (!bits_ || !target.bits_) return;
  const std::int64_t sw = static_cast<std::int64_t>(width_ * scaleX_ / 100.0);
  const std::int64_t sh = static_cast<std::int64_t>(height_ * scaleY_ / 100.0);
  if (sw == 0 || sh == 0) return;
  const TRotationTables& t = RotationTables();
  const int a = angle_ % 360;
  const auto step = [](std::int32_t v, double size, double scaled) {
    return static_cast<std::int64_t>(std::nearbyint(v * size / scaled));
  };
  const std::int64_t rowPerCol = step(t.SinT[a], height_, double(sh));
  const std::int64_t colPerCol = step(t.CosT[a], width_, double(sw));
  const std::int64_t rowPerRow = step(t.Sin90T[a], height_, double(sh));
  const std::int64_t colPerRow = step(t.Cos90T[a], width_, double(sw));
  const int tw = target.width_;
  const int th = target.height_;
  const std::int64_t tcx = tw / 2, tcy = th / 2, scx = width_ / 2, scy = height_ / 2;
  const TPixel fill = masked_ ? 0 : TransparentColor();
  for (int ty = 0; ty < th; ++ty) {
    TPixel* out = target.bits_ + std::ptrdiff_t(ty) * tw;
    const std::int64_t baseRow = (ty - tcy) * rowPerRow - tcx * rowPerCol;
    const std::int64_t baseCol = (ty - tcy) * colPerRow - tcx * colPerCol;
    for (int tx = 0; tx < tw; ++tx) {
      const std::int64_t sy = scy + (baseRow + tx * rowPerCol) / 256;
      const std::int64_t sx = scx + (baseCol + tx * colPerCol) / 256;
      out[tx] = (sx >= 0 && sx < width_ && sy >= 0 && sy < height_) ? bits_[sy * width_ + sx] : fill;
    }
  }
  target.Changed();
}

void TAbstractSuperDIB::ShareBitsOf(TAbstractSuperDIB& other) {
  if (&other == this) return;
  if (ownsBits_ && bits_) FreeBits();
  memory_.reset();
  bits_ = nullptr;
  ownsBits_ = false;
  other.AssignPropertiesTo(*this);
  width_ = other.width_;
  height_ = other.height_;
  memory_ = other.memory_;
  bits_ = other.bits_;
  clipRect_ = TRect{0, 0, width_ - 1, height_ - 1};
  Changed();
}

void TAbstractSuperDIB::AssignPropertiesTo(TPersistent& dest) const {
  auto* d = dynamic_cast<TAbstractSuperDIB*>(&dest);
  if (!d) throw EDIBError("Cannot assign a TAbstractDIB to a " + std::string(dest.ClassName()));
  d->angle_ = angle_;
  d->autoSize_ = autoSize_;
  d->masked_ = masked_;
  d->opacity_ = opacity_;
  d->scaleX_ = scaleX_;
  d->scaleY_ = scaleY_;
  d->transparent_ = transparent_;
  d->keyColor_ = keyColor_;
  d->transparentMode_ = transparentMode_;
  d->pixelRoutine_ = pixelRoutine_;
  if (!d->ownsBits_) {
    d->width_ = width_;
    d->height_ = height_;
  }
}

void TAbstractSuperDIB::AssignTo(TPersistent& dest) const {
  auto* d = dynamic_cast<TAbstractSuperDIB*>(&dest);
  if (!d) {
    TPersistent::AssignTo(dest);
    return;
  }
  if (d == this) return;
  d->SetSize(width_, height_);
  if (bits_ && d->bits_ && d->width_ == width_ && d->height_ == height_)
    std::memcpy(d->bits_, bits_, std::size_t(width_) * height_ * sizeof(TPixel));
  AssignPropertiesTo(*d);
  d->Changed();
}

void TAbstractSuperDIB::Fill(std::uint32_t color) {
  if (bits_) std::fill_n(bits_, std::size_t(width_) * height_, ColorToPixelOrder(color & kRgbMask));
  Changed();
}

void TAbstractSuperDIB::FillRect(const TRect& rect, std::uint32_t color) {
  const TRect r = IntersectRect(rect, TRect{0, 0, width_, height_});
  if (bits_ && !r.Empty()) {
    const TPixel p = ColorToPixelOrder(color & kRgbMask);
    for (int y = r.Top; y < r.Bottom; ++y) std::fill_n(ScanLine(y) + r.Left, r.Width(), p);
  }
  Changed();
}

void TAbstractSuperDIB::ApplyFilter3x3(const TFilter3x3& filter) {
  if (!bits_ || width_ < 3 || height_ < 3) return;
  const std::vector<TPixel> source(bits_, bits_ + std::size_t(width_) * height_);
  const std::int32_t divisor = filter.Divisor == 0 ? 1 : filter.Divisor;
  const std::int32_t offsets[3] = {filter.OffsetB, filter.OffsetG, filter.OffsetR};
  // Image row y lives at memory row height - 1 - y; weights run top row first.
  const auto at = [&](int x, int y) { return source[std::size_t(height_ - 1 - y) * width_ + std::size_t(x)]; };
  for (int y = 1; y + 1 < height_; ++y) {
    TPixel* out = ScanLine(y);
    for (int x = 1; x + 1 < width_; ++x) {
      std::int64_t sums[3] = {0, 0, 0};
      for (int k = 0; k < 9; ++k) {
        const TPixel p = at(x + k % 3 - 1, y + k / 3 - 1);
        for (int c = 0; c < 3; ++c) sums[c] += std::int64_t(filter.Weights[k]) * ((p >> (8 * c)) & 0xFF);
      }
      TPixel result = out[x] & ~kRgbMask;
      for (int c = 0; c < 3; ++c) {
        const std::int64_t v = std::clamp<std::int64_t>(sums[c] / divisor + offsets[c], 0, 255);
        result |= TPixel(v) << (8 * c);
      }
      out[x] = result;
    }
  }
  Changed();
}

void TAbstractSuperDIB::Render8Bit(T8BitSurface& dest, int x, int y, int width, int height, int srcX, int srcY,
                                   const TDIBPalette& palette) const {
  if (palette.LookupTable.size() != 64u * 64u * 64u)
    throw EDIBError("Render8Bit can only be used with a palette containing a lookup table");
  if (dest.BitsPerPixel != 8) throw EDIBError("Render8Bit can only be used to blit to an 8 bit DC");
  if (!bits_ || dest.Pixels.size() < std::size_t(std::max(dest.Width, 0)) * std::size_t(std::max(dest.Height, 0)))
    return;
  for (int r = 0; r < height; ++r) {
    const int sy = srcY + r, dy = y + r;
    if (sy < 0 || sy >= height_ || dy < 0 || dy >= dest.Height) continue;
    const TPixel* in = ScanLine(sy);
    std::uint8_t* out = dest.Pixels.data() + std::size_t(dy) * std::size_t(dest.Width);
    for (int c = 0; c < width; ++c) {
      const int sx = srcX + c, dx = x + c;
      if (sx < 0 || sx >= width_ || dx < 0 || dx >= dest.Width) continue;
      const TPixel p = in[sx];
      const std::size_t index = std::size_t(PixelB(p) >> 2) * 4096 + std::size_t(PixelG(p) >> 2) * 64 + (PixelR(p) >> 2);
      out[dx] = std::min<std::uint8_t>(palette.LookupTable[index], 234);
    }
  }
}

// Region of the pixels that differ from the key. Each row is scanned from the left; every
// maximal run of non-key pixels, one pixel long or longer, becomes the rectangle
// [x0, x1 + 1) x [y, y + 1). Rectangles are gathered in batches of at most kRegionBatch;
// each batch becomes a region that is united with the result so far. Batches come from the
// top down, so uniting only ever touches the last band of the result.
TRegion TAbstractSuperDIB::BuildRegion(std::uint32_t keyColor) const {
  TRegionBuilder result;
  if (!bits_) return result.Take();
  const std::uint32_t key = ColorToPixelOrder(keyColor & kRgbMask);
  std::vector<TRect> batch;
  batch.reserve(400);
  const auto flush = [&] {
    if (batch.empty()) return;
    const TRegion part = TRegion::FromRects(batch);
    batch.clear();
    if (result.LastBottom() > part.Bounds().Top) {
      const TRegion last = result.PopLastBand();
      result.AppendRegion(Union(last, part));
    } else {
      result.AppendRegion(part);
    }
  };
  const int w = width_;
  for (int y = 0; y < height_; ++y) {
    const TPixel* row = ScanLine(y);
    int x = FindPixel<false>(row, 0, w, key);
    while (x < w) {
      const int end = FindPixel<true>(row, x + 1, w, key);
      if (batch.size() == batch.capacity()) batch.reserve(batch.capacity() + 400);
      batch.push_back(TRect{x, y, end, y + 1});
      if (batch.size() == kRegionBatch) flush();
      x = end < w ? FindPixel<false>(row, end + 1, w, key) : w;
    }
  }
  flush();
  return result.Take();
}

// ---- TCustomWinDIB / TWinDIB ---------------------------------------------------------------

TCustomWinDIB::~TCustomWinDIB() {
  if (OwnsBits() && bits_) TCustomWinDIB::FreeBits();
}

void TCustomWinDIB::AllocBits() {
  const std::size_t n = std::size_t(Width()) * Height();
  auto memory = std::make_shared<std::vector<TPixel>>(n, 0u);
  bits_ = memory->data();
  // The aliasing constructor keeps the vector alive through a plain pixel pointer.
  memory_ = std::shared_ptr<TPixel[]>(memory, bits_);
}

void TCustomWinDIB::FreeBits() {
  memory_.reset();
  bits_ = nullptr;
}

std::unique_ptr<TWinDIB> TWinDIB::CreateSize(std::uint16_t width, std::uint16_t height) {
  auto dib = std::make_unique<TWinDIB>();
  dib->SetSize(width, height);
  dib->SetClipRect(TRect{0, 0, dib->Width() - 1, dib->Height() - 1});
  return dib;
}

std::unique_ptr<TWinDIB> TWinDIB::CreateShared(TAbstractSuperDIB& other) {
  auto dib = std::make_unique<TWinDIB>();
  dib->ShareBitsOf(other);
  return dib;
}

void TWinDIB::LoadFromBitmap(const TBitmap32* bitmap) {
  if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0) return;
  // The effect bitmap holds at most 65535 x 65535 pixels; a larger bitmap gives its
  // top-left part.
  const int w = std::min(bitmap->Width(), 65535);
  const int h = std::min(bitmap->Height(), 65535);
  SetSize(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
  if (bits_ && Width() == w && Height() == h) {
    for (int y = 0; y < h; ++y) {
      const TPixel* in = bitmap->Row(y);
      TPixel* out = ScanLine(y);
      for (int x = 0; x < w; ++x) out[x] = in[x] | 0xFF000000u;
    }
  }
  Changed();
}

void TWinDIB::LoadFromPicture(const TPicture* picture) {
  if (!picture) return;
  if (picture->Width() == 0 && picture->Height() == 0) throw EAbort();
  if (picture->Width() <= 0 || picture->Height() <= 0) {
    Changed();
    return;
  }
  LoadFromBitmap(&picture->Bitmap());
}

void TWinDIB::ImportMask(const TPicture* picture) {
  if (!picture) return;
  ImportMask(&picture->Bitmap());
}

// The mask is stretched the way a plain block stretch does it: nearest pixel, each target
// pixel centre mapped onto the mask.
void TWinDIB::ImportMask(const TBitmap32* mask) {
  if (!mask) return;
  if (Width() == 0 || Height() == 0) throw EDIBError("You cannot import a mask until you have an image.");
  if (mask->Width() <= 0 || mask->Height() <= 0) throw EAbort();
  const std::int64_t mw = mask->Width(), mh = mask->Height(), w = Width(), h = Height();
  std::vector<int> columns(static_cast<std::size_t>(w));
  for (std::int64_t x = 0; x < w; ++x) columns[static_cast<std::size_t>(x)] = static_cast<int>((2 * x + 1) * mw / (2 * w));
  for (std::int64_t y = 0; y < h; ++y) {
    const TPixel* in = mask->Row(static_cast<int>((2 * y + 1) * mh / (2 * h)));
    TPixel* out = ScanLine(static_cast<int>(y));
    for (std::int64_t x = 0; x < w; ++x)
      out[x] = (out[x] & kRgbMask) | (TPixel(PixelB(in[columns[static_cast<std::size_t>(x)]])) << 24);
  }
  Changed();
}

void TWinDIB::CopyToBitmap(TBitmap32& bitmap) const {
  if (!bits_) {
    bitmap.SetSize(0, 0);
    return;
  }
  bitmap.SetSize(Width(), Height());
  for (int y = 0; y < Height(); ++y) std::memcpy(bitmap.Row(y), ScanLine(y), std::size_t(Width()) * sizeof(TPixel));
}

TRegion RegionFromBitmap(const TBitmap32& bitmap, std::uint32_t keyColor) {
  if (bitmap.Empty()) return TRegion();
  TWinDIB dib;
  dib.LoadFromBitmap(&bitmap);
  return dib.BuildRegion(keyColor);
}

}  // namespace lumora
