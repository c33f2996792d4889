// Arbitrary bytes as a picture of one of the older formats: the first byte picks the
// decoder, the rest is the file.
#include "imaging/codecs/codec_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

volatile std::uint32_t gPixelSum = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora::codecs;
  constexpr std::array<TDecodeFunction, 11> kDecoders = {
      &DecodeTarga,  &DecodePhotoshop, &DecodePcx,       &DecodePortableMap, &DecodeSgi,
      &DecodePhotoCd, &DecodeAutodesk, &DecodeHaloCut, &DecodeWavefront,   &DecodePaintShopPro,
      &DecodeEncapsulatedPostScript};
  if (size == 0) return 0;
  lumora::TBitmap32 bitmap;
  const auto file = std::span(reinterpret_cast<const std::byte*>(data) + 1, size - 1);
  if (kDecoders[data[0] % kDecoders.size()](file, bitmap)) {
    // A decoded picture is whole: reading every pixel must be defined.
    std::uint32_t sum = 0;
    for (const lumora::TPixel p : bitmap.Pixels()) sum += p;
    gPixelSum = sum;
  }
  return 0;
}
