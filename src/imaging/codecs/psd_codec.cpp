// Photoshop files: the composite image that follows the header, the mode data (the
// palette of indexed files), the image resources and the layers. Grey, indexed and RGB
// composites, 8 or 16 bits a sample, planes stored raw or as PackBits rows behind a
// table of row lengths. An extra plane after the colour planes is the alpha; such
// composites are matted with white (by Photoshop, not by every writer), which we take
// out again. Rows of run-length data
// that end early keep what they decoded.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <algorithm>
#include <vector>

namespace lumora::codecs {
namespace {

enum : unsigned { kGrey = 1, kIndexed = 2, kRgb = 3 };

// One plane of 8-bit samples (16-bit ones keep their high byte, rounded).
bool ReadPlane(const TByteReader& r, std::size_t& at, bool rle, std::size_t rowTable, std::size_t row0,
               std::uint32_t width, std::uint32_t height, unsigned bytes, std::vector<std::uint8_t>& plane) {
  plane.assign(std::size_t(width) * height, 0);
  const std::size_t rowBytes = std::size_t(width) * bytes;
  std::vector<std::uint8_t> line(rowBytes);
  for (std::uint32_t y = 0; y < height; ++y) {
    if (!rle) {
      for (std::size_t i = 0; i < rowBytes; ++i) line[i] = r.U8(at + i);
      at += rowBytes;
    } else {
      const std::size_t length = BigEndian16(r, rowTable + 2 * (row0 + y));
      const std::size_t end = std::min(r.Size(), at + length);
      std::size_t x = 0;
      for (std::size_t p = at; p < end && x < rowBytes;) {
        const int n = static_cast<std::int8_t>(r.U8(p++));
        if (n >= 0) {
          for (int i = 0; i <= n && p < end && x < rowBytes; ++i) line[x++] = r.U8(p++);
        } else if (n != -128 && p < end) {
          const std::uint8_t v = r.U8(p++);
          for (int i = 0; i <= -n && x < rowBytes; ++i) line[x++] = v;
        }
      }
      std::fill(line.begin() + std::ptrdiff_t(x), line.end(), 0);
      at += length;
    }
    std::uint8_t* out = plane.data() + std::size_t(y) * width;
    for (std::size_t x = 0; x < width; ++x) {
      out[x] = bytes == 2 ? std::uint8_t((((line[2 * x] << 8) | line[2 * x + 1]) * 255u + 32767) / 65535) : line[x];
    }
  }
  return true;
}

}  // namespace

bool DecodePhotoshop(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, 26) || BigEndian32(r, 0) != 0x38425053u || BigEndian16(r, 4) != 1) return false;
  const unsigned channels = BigEndian16(r, 12), depth = BigEndian16(r, 22), mode = BigEndian16(r, 24);
  const std::uint32_t height = BigEndian32(r, 14), width = BigEndian32(r, 18);
  if (!PictureSizeAllowed(width, height) || (depth != 8 && depth != 16) || channels < 1 || channels > 56) return false;
  const unsigned colours = mode == kRgb ? 3 : (mode == kGrey || mode == kIndexed) ? 1 : 0;
  if (colours == 0 || channels < colours) return false;

  std::size_t at = 26;
  std::size_t sections[3] = {};
  for (std::size_t& section : sections) {
    if (!r.Has(at, 4)) return false;
    const std::size_t length = BigEndian32(r, at);
    if (!r.Has(at + 4, length)) return false;
    section = at + 4;
    at += 4 + length;
  }
  TPalette256 palette = GreyPalette();
  if (mode == kIndexed) {
    // The mode data holds 256 reds, then 256 greens, then 256 blues.
    if (!r.Has(sections[0], 768) || BigEndian32(r, 26) < 768) return false;
    for (std::size_t i = 0; i < 256; ++i) {
      palette[i] = MakePixel(r.U8(sections[0] + i), r.U8(sections[0] + 256 + i), r.U8(sections[0] + 512 + i));
    }
  }
  if (!r.Has(at, 2)) return false;
  const unsigned compression = BigEndian16(r, at);
  at += 2;
  const unsigned planes = std::min(channels, colours + 1);
  const bool alpha = planes > colours && mode != kIndexed;
  const unsigned bytes = depth / 8;
  const bool rle = compression == 1;
  const std::size_t rowTable = at;
  if (compression > 1) return false;
  if (rle) {
    // The row lengths of every channel, then at least two bytes for 128 samples of a row.
    at += std::size_t(channels) * height * 2;
    if (!r.Has(rowTable, std::size_t(channels) * height * 2) ||
        !r.Has(at, std::size_t(planes) * height * ((std::size_t(width) * bytes + 127) / 128) * 2)) {
      return false;
    }
  } else if (!r.Has(at, std::size_t(planes) * width * height * bytes)) {
    return false;
  }

  std::vector<std::uint8_t> plane[4];
  for (unsigned c = 0; c < (mode == kIndexed ? 1 : planes); ++c) {
    ReadPlane(r, at, rle, rowTable, std::size_t(c) * height, width, height, bytes, plane[c]);
  }
  // Photoshop mattes the composite of a transparent picture with white, so no stored
  // colour lies below 255 - alpha; files of writers that do not matte show that.
  bool matted = alpha;
  for (std::size_t i = 0; matted && i < std::size_t(width) * height; ++i) {
    const unsigned floor = 255 - plane[colours][i];
    for (unsigned c = 0; c < colours; ++c) matted &= plane[c][i] >= floor;
  }
  TBitmap32 picture(static_cast<int>(width), static_cast<int>(height));
  TPixel* p = picture.Pixels().data();
  for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
    const unsigned a = alpha ? plane[colours][i] : 255;
    // The stored colour is a * colour + (1 - a) * white.
    const auto unmatte = [a, matted](unsigned c) {
      if (!matted || a == 255 || a == 0) return std::uint8_t(c);
      return std::uint8_t(std::min(255u, ((c - (255 - a)) * 255 + a / 2) / a));
    };
    TPixel c = 0;
    if (mode == kRgb) c = MakePixel(unmatte(plane[0][i]), unmatte(plane[1][i]), unmatte(plane[2][i]));
    else if (mode == kGrey) c = MakePixel(unmatte(plane[0][i]), unmatte(plane[0][i]), unmatte(plane[0][i]));
    else c = palette[plane[0][i]];
    p[i] = (c & 0xFFFFFFu) | (TPixel(a) << 24);
  }
  out = std::move(picture);
  return true;
}

}  // namespace lumora::codecs
