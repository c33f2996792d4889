// SGI images: a 512-byte big-endian header, then one plane per channel (grey, grey and
// alpha, RGB or RGBA), rows bottom-up, samples of 8 or 16 bits, stored verbatim or as
// run-length encoded rows reached through a table of row offsets. Rows whose runs are
// damaged keep what they decoded; the rest of such a row is black.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <vector>

namespace lumora::codecs {
namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::uint16_t kMagic = 474;

// One row of one channel from its runs: a count byte (or word) with the top bit set
// copies that many samples, without it repeats the next sample; a zero count ends it.
void DecodeRow(const TByteReader& r, std::size_t at, std::size_t length, unsigned bytes,
               std::vector<std::uint16_t>& row) {
  const std::size_t end = r.Has(at, length) ? at + length : r.Size();
  const auto read = [&](std::uint16_t& v) {
    if (at + bytes > end) return false;
    v = bytes == 2 ? BigEndian16(r, at) : r.U8(at);
    at += bytes;
    return true;
  };
  std::size_t x = 0;
  std::uint16_t code = 0;
  while (x < row.size() && read(code)) {
    const std::size_t count = code & 0x7F;
    if (count == 0) break;
    std::uint16_t value = 0;
    if (code & 0x80) {
      for (std::size_t i = 0; i < count && x < row.size() && read(value); ++i) row[x++] = value;
    } else {
      if (!read(value)) break;
      for (std::size_t i = 0; i < count && x < row.size(); ++i) row[x++] = value;
    }
  }
}

}  // namespace

bool DecodeSgi(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, kHeaderSize) || BigEndian16(r, 0) != kMagic) return false;
  const unsigned storage = r.U8(2), bytes = r.U8(3), dimension = BigEndian16(r, 4);
  const unsigned width = BigEndian16(r, 6);
  const unsigned height = dimension == 1 ? 1 : BigEndian16(r, 8);
  const unsigned depth = dimension <= 2 ? 1 : BigEndian16(r, 10);
  // Only plain images: colour-map types 1 to 3 are dithered, screen and map files.
  if (storage > 1 || (bytes != 1 && bytes != 2) || dimension < 1 || dimension > 3 || BigEndian32(r, 104) != 0) {
    return false;
  }
  if (!PictureSizeAllowed(width, height) || depth < 1) return false;
  const unsigned channels = std::min(depth, 4u);
  const std::size_t rowBytes = std::size_t(width) * bytes;
  const std::size_t rows = std::size_t(height) * depth;
  // Verbatim: every sample present; runs: the offset and length tables.
  if (!r.Has(kHeaderSize, storage == 0 ? rowBytes * rows : rows * 8)) return false;

  TBitmap32 picture(static_cast<int>(width), static_cast<int>(height), MakePixel(0, 0, 0));
  std::vector<std::uint16_t> samples(width);
  for (unsigned c = 0; c < channels; ++c) {
    for (unsigned y = 0; y < height; ++y) {
      const std::size_t index = std::size_t(c) * height + y;
      if (storage == 0) {
        const std::size_t at = kHeaderSize + index * rowBytes;
        for (unsigned x = 0; x < width; ++x) samples[x] = bytes == 2 ? BigEndian16(r, at + 2 * x) : r.U8(at + x);
      } else {
        std::fill(samples.begin(), samples.end(), 0);
        const std::size_t at = BigEndian32(r, kHeaderSize + 4 * index);
        const std::size_t length = BigEndian32(r, kHeaderSize + 4 * rows + 4 * index);
        if (r.Has(at, 0)) DecodeRow(r, at, length, bytes, samples);
      }
      TPixel* row = picture.Row(static_cast<int>(height - 1 - y));
      for (unsigned x = 0; x < width; ++x) {
        // 16-bit samples scale with rounding: v * 255 / 65535.
        const unsigned v = bytes == 2 ? (unsigned(samples[x]) * 255 + 32767) / 65535 : samples[x];
        TPixel& p = row[x];
        if (channels <= 2 && c == 0) {
          p = (p & 0xFF000000u) | (TPixel(v) * 0x010101u);
        } else if (c == channels - 1 && (channels == 2 || channels == 4)) {
          p = (p & 0xFFFFFFu) | (TPixel(v) << 24);
        } else {
          const unsigned s = 16 - 8 * c;  // red, green, blue
          p = (p & ~(0xFFu << s)) | (TPixel(v) << s);
        }
      }
    }
  }
  out = std::move(picture);
  return true;
}

}  // namespace lumora::codecs
