// Windows bitmap files: the file header, then a core (OS/2) or info header, an optional
// palette and the pixel rows, bottom-up unless the height is negative.
#include "imaging/codecs/codec_table.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace lumora::codecs {
namespace {

class TReader {
 public:
  explicit TReader(std::span<const std::byte> data) : data_(data) {}
  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= data_.size() && count <= data_.size() - offset;
  }
  std::uint8_t U8(std::size_t at) const { return std::to_integer<std::uint8_t>(data_[at]); }
  std::uint16_t U16(std::size_t at) const { return std::uint16_t(U8(at) | (U8(at + 1) << 8)); }
  std::uint32_t U32(std::size_t at) const {
    return std::uint32_t(U8(at)) | (std::uint32_t(U8(at + 1)) << 8) | (std::uint32_t(U8(at + 2)) << 16) |
           (std::uint32_t(U8(at + 3)) << 24);
  }
  std::size_t Size() const { return data_.size(); }

 private:
  std::span<const std::byte> data_;
};

constexpr std::size_t kFileHeaderSize = 14;

}  // namespace

bool DecodeWindowsBitmap(std::span<const std::byte> data, TBitmap32& out) {
  const TReader r(data);
  if (!r.Has(0, kFileHeaderSize + 12) || r.U8(0) != 'B' || r.U8(1) != 'M') return false;
  const std::uint32_t pixelOffset = r.U32(10);
  const std::uint32_t headerSize = r.U32(kFileHeaderSize);
  const std::size_t h0 = kFileHeaderSize;

  std::int64_t width = 0;
  std::int64_t height = 0;
  int bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t colorsUsed = 0;
  std::size_t paletteEntrySize = 4;
  if (headerSize == 12) {  // OS/2 core header
    width = r.U16(h0 + 4);
    height = static_cast<std::int16_t>(r.U16(h0 + 6));
    bits = r.U16(h0 + 10);
    paletteEntrySize = 3;
  } else if (headerSize >= 40 && r.Has(h0, headerSize)) {
    width = static_cast<std::int32_t>(r.U32(h0 + 4));
    height = static_cast<std::int32_t>(r.U32(h0 + 8));
    bits = r.U16(h0 + 14);
    compression = r.U32(h0 + 16);
    colorsUsed = r.U32(h0 + 32);
  } else {
    return false;
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (!PictureSizeAllowed(width, height)) return false;
  // Plain rows only here; the compressed and bit-field layouts are rejected.
  if (compression != 0) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

  std::vector<TPixel> palette;
  if (bits <= 8) {
    const std::size_t maxColors = std::size_t(1) << bits;
    std::size_t count = colorsUsed == 0 || colorsUsed > maxColors ? maxColors : colorsUsed;
    const std::size_t paletteAt = h0 + headerSize;
    // A palette cut short by the pixel data holds only what fits before it.
    if (pixelOffset > paletteAt) count = std::min<std::size_t>(count, (pixelOffset - paletteAt) / paletteEntrySize);
    if (!r.Has(paletteAt, count * paletteEntrySize)) return false;
    palette.assign(maxColors, MakePixel(0, 0, 0));
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = paletteAt + i * paletteEntrySize;
      palette[i] = MakePixel(r.U8(at + 2), r.U8(at + 1), r.U8(at));
    }
  }

  const std::size_t rowBytes = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  if (!r.Has(pixelOffset, rowBytes * static_cast<std::size_t>(height))) return false;

  TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height));
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::size_t src = pixelOffset + rowBytes * static_cast<std::size_t>(topDown ? y : bitmap.Height() - 1 - y);
    TPixel* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      switch (bits) {
        case 1: row[x] = palette[(r.U8(src + x / 8) >> (7 - x % 8)) & 1]; break;
        case 4: row[x] = palette[(r.U8(src + x / 2) >> (x % 2 == 0 ? 4 : 0)) & 15]; break;
        case 8: row[x] = palette[r.U8(src + x)]; break;
        case 16: {
          const std::uint16_t v = r.U16(src + 2 * x);
          const auto c5 = [](unsigned c) { return std::uint8_t((c << 3) | (c >> 2)); };
          row[x] = MakePixel(c5((v >> 10) & 31), c5((v >> 5) & 31), c5(v & 31));
          break;
        }
        case 24: row[x] = MakePixel(r.U8(src + 3 * x + 2), r.U8(src + 3 * x + 1), r.U8(src + 3 * x)); break;
        default: row[x] = MakePixel(r.U8(src + 4 * x + 2), r.U8(src + 4 * x + 1), r.U8(src + 4 * x)); break;
      }
    }
  }
  out = std::move(bitmap);
  return true;
}

}  // namespace lumora::codecs
