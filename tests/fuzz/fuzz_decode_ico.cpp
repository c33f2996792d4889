// Arbitrary bytes as a picture file: Windows icons (our reader, PNG entries through libpng).
#include "imaging/codecs/codec_table.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Where the pixel sum goes, so that reading the pixels is not optimised away.
volatile std::uint32_t gPixelSum = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumora::TBitmap32 bitmap;
  if (lumora::codecs::DecodeWindowsIcon(std::span(reinterpret_cast<const std::byte*>(data), size), bitmap)) {
    // A decoded picture is whole: reading every pixel must be defined.
    std::uint32_t sum = 0;
    for (const lumora::TPixel p : bitmap.Pixels()) sum += p;
    gPixelSum = sum;
  }
  return 0;
}
