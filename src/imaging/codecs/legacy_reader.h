// Small shared pieces of the decoders for the older picture formats: big-endian reads
// beside the little-endian ones of TByteReader, and palettes of TPixel.
#pragma once

#include "imaging/codecs/dib_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace lumora::codecs {

inline std::uint16_t BigEndian16(const TByteReader& r, std::size_t at) {
  return std::uint16_t((r.U8(at) << 8) | r.U8(at + 1));
}
inline std::uint32_t BigEndian32(const TByteReader& r, std::size_t at) {
  return (std::uint32_t(BigEndian16(r, at)) << 16) | BigEndian16(r, at + 2);
}

using TPalette256 = std::array<TPixel, 256>;

// Entry i is grey level i * 255 / (count - 1): the palette of files that bring none.
inline TPalette256 GreyPalette(unsigned count = 256) {
  TPalette256 palette{};
  for (unsigned i = 0; i < 256; ++i) {
    const unsigned level = count > 1 ? std::min(255u, (i * 255 + (count - 1) / 2) / (count - 1)) : 0;
    palette[i] = MakePixel(std::uint8_t(level), std::uint8_t(level), std::uint8_t(level));
  }
  return palette;
}

}  // namespace lumora::codecs
