// Targa pictures through stb_image. Before the library sees a file we
// read its header ourselves: the declared size must pass our limits and the file must
// hold at least the bytes that size needs, since the library allocates the whole
// picture first and reads short data as zeros.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>

#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace lumora::codecs {
namespace {

struct TStbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

// The library's rows (grey, grey and alpha, RGB or RGBA) into our pixels, mirrored when asked.
bool Load(std::span<const std::byte> data, bool mirror, TBitmap32& out) {
  if (data.size() > static_cast<std::size_t>(INT_MAX)) return false;
  int width = 0, height = 0, channels = 0;
  // The file's own channel count: converting here saves the library a copy of the picture.
  std::unique_ptr<stbi_uc, TStbFree> pixels(stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(data.data()),
                                                                   static_cast<int>(data.size()), &width, &height,
                                                                   &channels, 0));
  if (!pixels || !PictureSizeAllowed(width, height) || channels < 1 || channels > 4) return false;
  TBitmap32 bitmap(width, height);
  const stbi_uc* p = pixels.get();
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    TPixel* row = bitmap.Row(y);
    for (int x = 0; x < width; ++x, p += channels) {
      TPixel& to = row[mirror ? width - 1 - x : x];
      switch (channels) {
        case 1: to = MakePixel(p[0], p[0], p[0]); break;
        case 2: to = MakePixel(p[0], p[0], p[0], p[1]); break;
        case 3: to = MakePixel(p[0], p[1], p[2]); break;
        default: to = MakePixel(p[0], p[1], p[2], p[3]); break;
      }
      anyAlpha |= PixelA(to) != 0;
    }
  }
  // Many 32-bit writers leave the fourth byte zero; such a picture is meant opaque.
  if (!anyAlpha) {
    for (TPixel& px : bitmap.Pixels()) px |= 0xFF000000u;
  }
  out = std::move(bitmap);
  return true;
}

}  // namespace

bool DecodeTarga(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, 18)) return false;
  const unsigned idLength = r.U8(0), mapType = r.U8(1), imageType = r.U8(2);
  const unsigned mapFirst = r.U16(3), mapLength = r.U16(5), mapBits = r.U8(7);
  const unsigned width = r.U16(12), height = r.U16(14), bits = r.U8(16), descriptor = r.U8(17);
  if (!PictureSizeAllowed(width, height) || mapType > 1) return false;
  const bool mapped = (imageType & 7) == 1, rle = imageType >= 8;
  if ((imageType & ~8u) < 1 || (imageType & ~8u) > 3 || mapped != (mapType == 1)) return false;
  if (mapped && (mapLength == 0 || (bits != 8 && bits != 16))) return false;
  if (!mapped && bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
  // The library takes the first entry's index for a byte offset; every writer we know
  // leaves it zero, and a file that does not would show wrong colours, so it fails.
  if (mapped && mapFirst != 0) return false;
  const std::size_t mapBytes = mapType == 1 ? std::size_t(mapLength) * ((mapBits + 7) / 8) : 0;
  const std::size_t pixelBytes = (bits + 7) / 8;
  const std::size_t pixels = std::size_t(width) * height;
  // A run packet stands for at most 128 pixels.
  const std::size_t minimum = rle ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
  if (!r.Has(18 + idLength + mapBytes, minimum)) return false;
  return Load(data, (descriptor & 0x10) != 0, out);
}

}  // namespace lumora::codecs
