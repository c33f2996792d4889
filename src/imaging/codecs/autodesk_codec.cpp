// Autodesk Animator cels and pictures: a 32-byte header, a palette of 256 colours
// with 6-bit components, then one index byte a pixel, rows top-down.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

namespace lumora::codecs {

bool DecodeAutodesk(std::span<const std::byte> data, TBitmap32& out) {
  constexpr std::size_t kHeaderSize = 32, kPaletteSize = 768;
  const TByteReader r(data);
  if (!r.Has(0, kHeaderSize) || r.U16(0) != 0x9119) return false;
  const unsigned width = r.U16(2), height = r.U16(4), bits = r.U8(10), compression = r.U8(11);
  if (!PictureSizeAllowed(width, height) || bits != 8 || compression != 0) return false;
  if (!r.Has(kHeaderSize + kPaletteSize, std::size_t(width) * height)) return false;

  TPalette256 palette{};
  for (std::size_t i = 0; i < 256; ++i) {
    // Six bits widen to eight by repeating their top bits: 63 becomes 255.
    const auto wide = [&](std::size_t at) {
      const unsigned v = r.U8(at) & 63;
      return std::uint8_t((v << 2) | (v >> 4));
    };
    const std::size_t at = kHeaderSize + 3 * i;
    palette[i] = MakePixel(wide(at), wide(at + 1), wide(at + 2));
  }
  TBitmap32 picture(static_cast<int>(width), static_cast<int>(height));
  std::size_t at = kHeaderSize + kPaletteSize;
  for (TPixel& p : picture.Pixels()) p = palette[r.U8(at++)];
  out = std::move(picture);
  return true;
}

}  // namespace lumora::codecs
