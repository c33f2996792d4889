// Windows bitmaps: the 14-byte file header, then a device-independent bitmap: a core
// (OS/2 1.x), OS/2 2.x or info header (40 bytes and its longer versions), colour masks,
// a palette and the pixel rows, bottom-up unless the height is negative. Rows may be
// run-length encoded (8 and 4 bits) or described by colour masks (16 and 32 bits).
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/dib_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumora::codecs {
namespace {

constexpr std::size_t kFileHeaderSize = 14;

enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// One colour channel described by a mask: where its bits are and how to widen them to 8.
class TChannel {
 public:
  explicit TChannel(std::uint32_t mask) : mask_(mask) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    width_ = std::countr_one(mask >> shift_);
    max_ = width_ >= 32 ? 0xFFFFFFFFu : (1u << width_) - 1;
  }
  bool Present() const { return mask_ != 0; }
  std::uint8_t Get(std::uint32_t value) const {
    if (width_ == 0) return 0;  // a channel without bits is black
    const std::uint32_t v = (value >> shift_) & max_;
    if (width_ >= 8) return std::uint8_t(v >> (width_ - 8));
    // Narrow fields widen by repeating their bits: 5 bits abcde become abcdeabc.
    std::uint32_t wide = 0;
    for (int s = 8 - width_; s > -width_; s -= width_) wide |= s >= 0 ? v << s : v >> -s;
    return std::uint8_t(wide);
  }

 private:
  std::uint32_t mask_ = 0;
  int shift_ = 0;
  int width_ = 0;
  std::uint32_t max_ = 0;
};

struct THeader {
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // rows of colour, positive
  bool TopDown = false;
  int Bits = 0;
  std::uint32_t Compression = kRgb;
  std::uint32_t ColorsUsed = 0;
  std::size_t PaletteAt = 0;
  std::size_t PaletteEntrySize = 4;
  std::array<std::uint32_t, 4> Masks{};  // red, green, blue, alpha
  bool HasMasks = false;
};

bool ReadHeader(const TByteReader& r, bool icon, THeader& h) {
  if (!r.Has(0, 4)) return false;
  const std::uint32_t headerSize = r.U32(0);
  if (headerSize < 12 || !r.Has(0, headerSize)) return false;
  std::int64_t height = 0;
  if (headerSize == 12) {  // OS/2 1.x core header: unsigned 16-bit sizes, 3-byte palette entries
    h.Width = r.U16(4);
    height = r.U16(6);
    h.Bits = r.U16(10);
    h.PaletteEntrySize = 3;
  } else if (headerSize >= 16) {
    h.Width = static_cast<std::int32_t>(r.U32(4));
    height = static_cast<std::int32_t>(r.U32(8));
    h.Bits = r.U16(14);
    if (headerSize >= 20) h.Compression = r.U32(16);
    if (headerSize >= 36) h.ColorsUsed = r.U32(32);
    const bool os2 = headerSize < 40 || headerSize == 64;
    // OS/2 2.x gives 3 and 4 to Huffman and 24-bit runs, which no one writes.
    if (os2 && h.Compression != kRgb && h.Compression != kRle8 && h.Compression != kRle4) return false;
  } else {
    return false;
  }
  h.PaletteAt = headerSize;
  if (h.Compression == kBitFields || h.Compression == kAlphaBitFields) {
    if (headerSize >= 52) {
      for (std::size_t i = 0; i < 3; ++i) h.Masks[i] = r.U32(40 + 4 * i);
      if (headerSize >= 56) h.Masks[3] = r.U32(52);
    } else {
      // A plain info header is followed by the masks.
      const std::size_t count = h.Compression == kAlphaBitFields ? 4 : 3;
      if (!r.Has(headerSize, 4 * count)) return false;
      for (std::size_t i = 0; i < count; ++i) h.Masks[i] = r.U32(headerSize + 4 * i);
      h.PaletteAt += 4 * count;
    }
    h.HasMasks = true;
  } else if (headerSize >= 56 && h.Bits == 32 && h.Compression == kRgb) {
    // Version 4 and 5 headers may state an alpha mask even for plain rows.
    h.Masks[3] = r.U32(52);
  }
  if (height < 0) {
    if (icon || h.Compression == kRle8 || h.Compression == kRle4) return false;
    h.TopDown = true;
    height = -height;
  }
  // Icon entries are never run-length encoded; Windows would not show one either.
  if (icon && (h.Compression == kRle8 || h.Compression == kRle4)) return false;
  if (icon) height /= 2;
  h.Height = height;
  if (!PictureSizeAllowed(h.Width, h.Height)) return false;

  switch (h.Compression) {
    case kRgb: return h.Bits == 1 || h.Bits == 4 || h.Bits == 8 || h.Bits == 16 || h.Bits == 24 || h.Bits == 32;
    case kRle8: return h.Bits == 8;
    case kRle4: return h.Bits == 4;
    case kBitFields:
    case kAlphaBitFields: return h.Bits == 16 || h.Bits == 32;
    default: return false;
  }
}

void DecodeRle(const TByteReader& r, std::size_t at, const THeader& h, const std::vector<TPixel>& palette,
               TBitmap32& bitmap) {
  // Pixels that the runs never reach stay transparent.
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const bool four = h.Compression == kRle4;
  int x = 0;
  int y = 0;  // counted from the bottom row
  const auto put = [&](unsigned index) {
    if (x < width && y < height) bitmap.At(x, height - 1 - y) = palette[index];
    ++x;
  };
  while (y < height && r.Has(at, 2)) {
    const unsigned count = r.U8(at);
    const unsigned value = r.U8(at + 1);
    at += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && x < width; ++i) put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta: move right and up
      if (!r.Has(at, 2)) break;
      x += r.U8(at);
      y += r.U8(at + 1);
      at += 2;
    } else {  // a literal run, padded to a 16-bit boundary
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      if (!r.Has(at, bytes)) break;  // truncated: keep what was read
      for (unsigned i = 0; i < value; ++i) {
        const unsigned b = r.U8(at + (four ? i / 2 : i));
        put(four ? (i % 2 == 0 ? b >> 4 : b & 15) : b);
      }
      at += (bytes + 1) & ~std::size_t(1);
    }
  }
}

// Where the rows start and how many palette entries there are; false when the header
// is not one this decoder reads or the palette is cut off.
bool ReadLayout(const TByteReader& r, const TDibOptions& options, THeader& h, std::size_t& paletteCount,
                std::size_t& pixelOffset) {
  if (!ReadHeader(r, options.Icon, h)) return false;
  paletteCount = 0;
  pixelOffset = h.PaletteAt;
  if (h.Bits <= 8) {
    const std::size_t maxColors = std::size_t(1) << h.Bits;
    paletteCount = h.ColorsUsed == 0 || h.ColorsUsed > maxColors ? maxColors : h.ColorsUsed;
    // A palette cut short by the pixel data holds only what fits before it.
    if (options.PixelOffset > h.PaletteAt) {
      paletteCount = std::min<std::size_t>(paletteCount, (options.PixelOffset - h.PaletteAt) / h.PaletteEntrySize);
    }
    if (!r.Has(h.PaletteAt, paletteCount * h.PaletteEntrySize)) return false;
    pixelOffset += paletteCount * h.PaletteEntrySize;
  } else if (h.ColorsUsed != 0 && h.ColorsUsed <= 256) {
    pixelOffset += h.ColorsUsed * h.PaletteEntrySize;  // an optimisation palette, unused here
  }
  if (options.PixelOffset != 0) pixelOffset = options.PixelOffset;
  return true;
}

bool IsRle(const THeader& h) { return h.Compression == kRle8 || h.Compression == kRle4; }

// Bytes of uncompressed rows from the first row's start; the last row's padding may be missing.
std::uint64_t RowBytesNeeded(const THeader& h) {
  const auto width = static_cast<std::uint64_t>(h.Width);
  const std::uint64_t rowBytes = ((width * h.Bits + 31) / 32) * 4;
  return rowBytes * (static_cast<std::uint64_t>(h.Height) - 1) + (width * h.Bits + 7) / 8;
}

TDibOptions FileOptions(const TByteReader& r) {
  TDibOptions options;
  const std::uint32_t pixelOffset = r.U32(10);
  // Writers that leave the offset zero (or point into the header) mean "right after the palette".
  if (pixelOffset > kFileHeaderSize + r.U32(kFileHeaderSize)) options.PixelOffset = pixelOffset - kFileHeaderSize;
  return options;
}

}  // namespace

bool DecodeDib(std::span<const std::byte> dib, const TDibOptions& options, TBitmap32& out) {
  const TByteReader r(dib);
  THeader h;
  std::size_t paletteCount = 0;
  std::size_t pixelOffset = 0;
  if (!ReadLayout(r, options, h, paletteCount, pixelOffset)) return false;
  std::vector<TPixel> palette;
  if (h.Bits <= 8) {
    // Indexes beyond a short palette show black.
    palette.assign(256, MakePixel(0, 0, 0));
    for (std::size_t i = 0; i < paletteCount; ++i) {
      const std::size_t at = h.PaletteAt + i * h.PaletteEntrySize;
      palette[i] = MakePixel(r.U8(at + 2), r.U8(at + 1), r.U8(at));
    }
  }

  const auto width = static_cast<std::size_t>(h.Width);
  const auto height = static_cast<std::size_t>(h.Height);
  if (IsRle(h)) {
    if (!r.Has(pixelOffset, 0)) return false;
    TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height), 0);
    DecodeRle(r, pixelOffset, h, palette, bitmap);
    out = std::move(bitmap);
    return true;
  }

  const std::size_t rowBytes = ((width * h.Bits + 31) / 32) * 4;
  if (!r.Has(pixelOffset, static_cast<std::size_t>(RowBytesNeeded(h)))) return false;

  std::array<std::uint32_t, 4> masks = h.Masks;
  if (!h.HasMasks) {
    if (h.Bits == 16) masks = {0x7C00, 0x03E0, 0x001F, 0};
    if (h.Bits == 24 || h.Bits == 32) {
      masks[0] = 0xFF0000;
      masks[1] = 0xFF00;
      masks[2] = 0xFF;
    }
    if (h.Bits == 32 && options.Icon) masks[3] = 0xFF000000u;
  }
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
  const bool standard32 = h.Bits == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;

  TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height));
  bool anyAlpha = false;
  for (std::size_t y = 0; y < height; ++y) {
    const std::size_t src = pixelOffset + rowBytes * (h.TopDown ? y : height - 1 - y);
    TPixel* row = bitmap.Row(static_cast<int>(y));
    switch (h.Bits) {
      case 1:
        for (std::size_t x = 0; x < width; ++x) row[x] = palette[(r.U8(src + x / 8) >> (7 - x % 8)) & 1];
        break;
      case 4:
        for (std::size_t x = 0; x < width; ++x) row[x] = palette[(r.U8(src + x / 2) >> (x % 2 == 0 ? 4 : 0)) & 15];
        break;
      case 8:
        for (std::size_t x = 0; x < width; ++x) row[x] = palette[r.U8(src + x)];
        break;
      case 24:
        for (std::size_t x = 0; x < width; ++x) {
          row[x] = MakePixel(r.U8(src + 3 * x + 2), r.U8(src + 3 * x + 1), r.U8(src + 3 * x));
        }
        break;
      default: {
        for (std::size_t x = 0; x < width; ++x) {
          const std::uint32_t v = h.Bits == 16 ? r.U16(src + 2 * x) : r.U32(src + 4 * x);
          const std::uint8_t a = alpha.Present() ? alpha.Get(v) : 255;
          anyAlpha |= alpha.Present() && a != 0;
          row[x] = standard32 ? ((v & 0xFFFFFFu) | (TPixel(a) << 24))
                              : MakePixel(red.Get(v), green.Get(v), blue.Get(v), a);
        }
        break;
      }
    }
  }

  if (options.Icon) {
    // Icons older than alpha channels carry all-zero alpha bytes; their AND mask decides.
    const bool useMask = !(h.Bits == 32 && anyAlpha);
    const std::size_t maskRowBytes = ((width + 31) / 32) * 4;
    const std::size_t maskAt = pixelOffset + rowBytes * height;
    const bool hasMask = r.Has(maskAt, maskRowBytes * height);
    for (std::size_t y = 0; y < height && useMask; ++y) {
      TPixel* row = bitmap.Row(static_cast<int>(y));
      const std::size_t src = maskAt + maskRowBytes * (height - 1 - y);
      for (std::size_t x = 0; x < width; ++x) {
        const bool clear = hasMask && ((r.U8(src + x / 8) >> (7 - x % 8)) & 1) != 0;
        row[x] = clear ? (row[x] & 0xFFFFFFu) : (row[x] | 0xFF000000u);
      }
    }
  }
  out = std::move(bitmap);
  return true;
}

bool DecodeWindowsBitmap(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, kFileHeaderSize + 4) || r.U8(0) != 'B' || r.U8(1) != 'M') return false;
  return DecodeDib(data.subspan(kFileHeaderSize), FileOptions(r), out);
}

std::optional<std::uint64_t> ProbeWindowsBitmap(const TProbeSource& file) {
  const TByteReader r(file.Head());
  if (!r.Has(0, kFileHeaderSize + 4) || r.U8(0) != 'B' || r.U8(1) != 'M') return std::nullopt;
  // The header and palette lie well inside the head that every caller reads.
  const TByteReader dib(file.Head().subspan(kFileHeaderSize));
  THeader h;
  std::size_t paletteCount = 0;
  std::size_t pixelOffset = 0;
  if (!ReadLayout(dib, FileOptions(r), h, paletteCount, pixelOffset)) return std::nullopt;
  const std::uint64_t rowsAt = kFileHeaderSize + std::uint64_t(pixelOffset);
  if (rowsAt > file.Size()) return std::nullopt;
  // Runs end at their end code, wherever that is.
  if (IsRle(h)) return file.Size();
  const std::uint64_t needed = rowsAt + RowBytesNeeded(h);
  if (needed > file.Size()) return std::nullopt;  // the rows are not all there
  return needed;
}

}  // namespace lumora::codecs
