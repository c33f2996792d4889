// The device-independent bitmap layout (info header, masks, palette, rows) shared by
// bitmap files and the bitmap entries of icons. Internal to the codecs library.
#pragma once

#include "imaging/bitmap32.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumora::codecs {

// Little-endian reads with bounds checks done by the caller through Has().
class TByteReader {
 public:
  explicit TByteReader(std::span<const std::byte> data) : data_(data) {}
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
  std::span<const std::byte> Bytes() const { return data_; }

 private:
  std::span<const std::byte> data_;
};

struct TDibOptions {
  // Offset of the pixel rows from the start of dib; 0: right after the palette.
  std::size_t PixelOffset = 0;
  // Icon layout: the header's height counts the colour rows and the AND-mask rows,
  // the mask follows the colour rows and becomes the alpha; 32-bit entries carry alpha.
  bool Icon = false;
};

// Decodes a DIB that starts with its info header (or OS/2 core header).
bool DecodeDib(std::span<const std::byte> dib, const TDibOptions& options, TBitmap32& out);

}  // namespace lumora::codecs
