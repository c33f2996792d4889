// Kodak Photo-CD image packs: only the Base image (768 x 512), which every pack holds
// uncompressed at a fixed place: pairs of luma rows, each pair followed by one row of
// each chroma channel at half resolution (PhotoYCC). The pack's orientation code says
// how far the picture must be turned to stand upright.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumora::codecs {
namespace {

constexpr int kBaseWidth = 768;
constexpr int kBaseHeight = 512;
constexpr std::size_t kBaseAt = 0x30000;
constexpr std::size_t kOrientationAt = 0x0E02;
constexpr std::size_t kSignatureAt = 0x800;

std::uint8_t Clamp(double v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

// PhotoYCC to RGB, with the luma and chroma offsets and scales of the format.
TPixel YccToRgb(unsigned y, unsigned c1, unsigned c2) {
  const double l = 1.3584 * y, b = 2.2179 * (double(c1) - 156), r = 1.8215 * (double(c2) - 137);
  return MakePixel(Clamp(l + r), Clamp(l - 0.194 * b - 0.509 * r), Clamp(l + b));
}

}  // namespace

bool DecodePhotoCd(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  constexpr std::size_t rowPair = kBaseWidth * 3;
  if (!r.Has(kBaseAt, rowPair * (kBaseHeight / 2))) return false;
  if (std::memcmp(data.data() + kSignatureAt, "PCD_IPI", 7) != 0) return false;

  // Chroma is sampled at the even pixels of the even rows; the pixels between take
  // the mean of their neighbours.
  const auto chroma = [&](std::size_t plane, int pair, int x, bool between) {
    const auto at = [&](int p, int cx) {
      p = std::min(p, kBaseHeight / 2 - 1);
      cx = std::min(cx, kBaseWidth / 2 - 1);
      return unsigned(r.U8(kBaseAt + std::size_t(p) * rowPair + plane + std::size_t(cx)));
    };
    const auto row = [&](int p) { return x % 2 == 0 ? at(p, x / 2) : (at(p, x / 2) + at(p, x / 2 + 1) + 1) / 2; };
    return between ? (row(pair) + row(pair + 1) + 1) / 2 : row(pair);
  };
  TBitmap32 base(kBaseWidth, kBaseHeight);
  for (int pair = 0; pair < kBaseHeight / 2; ++pair) {
    const std::size_t at = kBaseAt + pair * rowPair;
    for (int half = 0; half < 2; ++half) {
      TPixel* row = base.Row(2 * pair + half);
      const std::size_t luma = at + half * kBaseWidth;
      for (int x = 0; x < kBaseWidth; ++x) {
        row[x] = YccToRgb(r.U8(luma + x), chroma(2 * kBaseWidth, pair, x, half == 1),
                          chroma(2 * kBaseWidth + kBaseWidth / 2, pair, x, half == 1));
      }
    }
  }

  // Orientation: quarter turns counter-clockwise that the picture needs to stand upright.
  const unsigned turns = r.U8(kOrientationAt) & 3;
  if (turns == 0) {
    out = std::move(base);
    return true;
  }
  const bool swap = turns % 2 == 1;
  TBitmap32 turned(swap ? kBaseHeight : kBaseWidth, swap ? kBaseWidth : kBaseHeight);
  for (int y = 0; y < kBaseHeight; ++y) {
    for (int x = 0; x < kBaseWidth; ++x) {
      const TPixel p = base.At(x, y);
      if (turns == 1) turned.At(y, kBaseWidth - 1 - x) = p;
      else if (turns == 2) turned.At(kBaseWidth - 1 - x, kBaseHeight - 1 - y) = p;
      else turned.At(kBaseHeight - 1 - y, x) = p;
    }
  }
  out = std::move(turned);
  return true;
}

}  // namespace lumora::codecs
