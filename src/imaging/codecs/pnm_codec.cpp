// The portable bit, grey and pixel maps, plain (ASCII: P1, P2, P3) and raw (P4, P5,
// P6) alike: one header syntax, samples of up to 16 bits scaled to 8 with rounding.
// Only the first picture of a file counts. A file too short for its declared size
// fails, since these formats have no way to say where rows end early.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <cstdint>

namespace lumora::codecs {
namespace {

class TPnmReader {
 public:
  explicit TPnmReader(const TByteReader& r) : r_(r) {}

  // White space and comments, then a decimal number; false at the end or on anything else.
  bool Number(std::uint32_t& value) {
    SkipSpace();
    if (at_ >= r_.Size() || !IsDigit(r_.U8(at_))) return false;
    std::uint64_t v = 0;
    while (at_ < r_.Size() && IsDigit(r_.U8(at_))) {
      v = v * 10 + (r_.U8(at_++) - '0');
      if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
  }
  // One '0' or '1' of a plain bitmap, which need not be separated.
  bool Bit(unsigned& value) {
    SkipSpace();
    if (at_ >= r_.Size() || (r_.U8(at_) != '0' && r_.U8(at_) != '1')) return false;
    value = r_.U8(at_++) - '0';
    return true;
  }
  void SkipSpace() {
    while (at_ < r_.Size()) {
      const unsigned c = r_.U8(at_);
      if (c == '#') {
        while (at_ < r_.Size() && r_.U8(at_) != '\n' && r_.U8(at_) != '\r') ++at_;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
        ++at_;
      } else {
        return;
      }
    }
  }
  std::size_t& At() { return at_; }

 private:
  static bool IsDigit(unsigned c) { return c >= '0' && c <= '9'; }
  const TByteReader& r_;
  std::size_t at_ = 2;
};

}  // namespace

bool DecodePortableMap(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, 3) || r.U8(0) != 'P' || r.U8(1) < '1' || r.U8(1) > '6') return false;
  const int kind = r.U8(1) - '0';
  const bool plain = kind <= 3, bitmap = kind == 1 || kind == 4;
  const unsigned channels = kind == 3 || kind == 6 ? 3 : 1;
  TPnmReader in(r);
  std::uint32_t width = 0, height = 0, maxval = 1;
  if (!in.Number(width) || !in.Number(height) || (!bitmap && !in.Number(maxval))) return false;
  if (!PictureSizeAllowed(width, height) || maxval == 0 || maxval > 65535) return false;

  const std::size_t samples = std::size_t(width) * height * channels;
  const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
  std::size_t& at = in.At();
  if (plain) {
    // Every plain sample takes a character, and numbers need a separator.
    if (!r.Has(at, bitmap ? samples : samples * 2 - 1)) return false;
  } else {
    ++at;  // the single white-space character that ends the header
    const std::size_t rowBytes = kind == 4 ? (std::size_t(width) + 7) / 8 : std::size_t(width) * channels * sampleBytes;
    if (!r.Has(at, rowBytes * height)) return false;
  }

  // Samples above maxval are out of range; they show at full intensity.
  const auto scale = [maxval](std::uint32_t v) {
    return std::uint8_t(v >= maxval ? 255 : (v * 255 + maxval / 2) / maxval);
  };
  const auto next = [&](std::uint8_t& value) {
    if (plain) {
      std::uint32_t v = 0;
      if (!in.Number(v)) return false;
      value = scale(v);
    } else {
      value = scale(sampleBytes == 2 ? BigEndian16(r, at) : r.U8(at));
      at += sampleBytes;
    }
    return true;
  };

  TBitmap32 picture(static_cast<int>(width), static_cast<int>(height));
  for (std::uint32_t y = 0; y < height; ++y) {
    TPixel* row = picture.Row(static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x) {
      if (bitmap) {
        unsigned black = 0;
        if (plain) {
          if (!in.Bit(black)) return false;
        } else {
          black = (r.U8(at + x / 8) >> (7 - x % 8)) & 1;
        }
        row[x] = black ? MakePixel(0, 0, 0) : MakePixel(255, 255, 255);
        continue;
      }
      std::uint8_t c[3];
      for (unsigned i = 0; i < channels; ++i) {
        if (!next(c[i])) return false;
      }
      row[x] = channels == 3 ? MakePixel(c[0], c[1], c[2]) : MakePixel(c[0], c[0], c[0]);
    }
    if (kind == 4) at += (std::size_t(width) + 7) / 8;
  }
  out = std::move(picture);
  return true;
}

std::optional<std::uint64_t> ProbePortableMap(const TProbeSource& file) {
  const TByteReader r(file.Head());
  if (!r.Has(0, 3) || r.U8(0) != 'P' || r.U8(1) < '1' || r.U8(1) > '6') return std::nullopt;
  // The decoder's size limit, where the head holds the sizes (comments may push them out).
  TPnmReader in(r);
  std::uint32_t width = 0, height = 0;
  if (in.Number(width) && in.Number(height) && in.At() < r.Size() && !PictureSizeAllowed(width, height))
    return std::nullopt;
  return file.Size();
}

}  // namespace lumora::codecs
