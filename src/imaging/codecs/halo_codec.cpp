// Dr. Halo cut-outs: a 6-byte header (width, height), then one run-length encoded row
// after another, each behind its byte count: a byte with the top bit set repeats the
// next byte, one without copies that many bytes, a zero ends the row. The colours live
// in a palette file of the same name beside the picture; without one, index i is the
// grey level i. A row cut short keeps
// what it decoded; rows after the end of the data stay transparent.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <fstream>
#include <optional>
#include <vector>

namespace lumora::codecs {
namespace {

constexpr std::size_t kPaletteHeaderSize = 40;
constexpr std::size_t kPaletteBlock = 512;

// The palette file: "AH", version, size, type 10 (palette), subtype 0 (RGB), board,
// mode, the largest index and the largest red, green and blue values, a board name;
// then 16-bit RGB triples that never straddle a 512-byte block.
std::optional<TPalette256> ReadPalette(std::span<const std::byte> file) {
  const TByteReader r(file);
  if (!r.Has(0, kPaletteHeaderSize) || r.U8(0) != 'A' || r.U8(1) != 'H' || r.U8(6) != 10 || r.U8(7) != 0) {
    return std::nullopt;
  }
  const unsigned last = r.U16(12);
  const unsigned maxima[3] = {r.U16(14), r.U16(16), r.U16(18)};
  if (last > 255 || maxima[0] == 0 || maxima[1] == 0 || maxima[2] == 0) return std::nullopt;
  TPalette256 palette;
  palette.fill(MakePixel(0, 0, 0));
  std::size_t at = kPaletteHeaderSize;
  for (unsigned i = 0; i <= last; ++i) {
    if (at % kPaletteBlock + 6 > kPaletteBlock) at += kPaletteBlock - at % kPaletteBlock;
    if (!r.Has(at, 6)) return std::nullopt;
    std::uint8_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = std::uint8_t(std::min(255u, (r.U16(at + 2 * k) * 255u + maxima[k] / 2) / maxima[k]));
    palette[i] = MakePixel(c[0], c[1], c[2]);
    at += 6;
  }
  return palette;
}

bool Decode(std::span<const std::byte> data, const std::optional<TPalette256>& palette, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, 6)) return false;
  const unsigned width = r.U16(0), height = r.U16(2);
  // Each row needs at least its count and a two-byte run for every 127 pixels.
  if (!PictureSizeAllowed(width, height)) return false;
  if (!r.Has(6, std::size_t(height) * (2 + 2 * ((std::size_t(width) + 126) / 127)))) return false;

  std::vector<std::uint8_t> indexes(std::size_t(width) * height, 0);
  std::vector<bool> reached(height, false);
  std::size_t at = 6;
  for (unsigned y = 0; y < height && r.Has(at, 2); ++y) {
    const std::size_t end = std::min(r.Size(), at + 2 + r.U16(at));
    at += 2;
    reached[y] = true;
    std::uint8_t* row = indexes.data() + std::size_t(y) * width;
    unsigned x = 0;
    while (at < end) {
      const unsigned c = r.U8(at++);
      if (c == 0) break;
      const unsigned count = c & 0x7F;
      if (c & 0x80) {
        if (at >= end) break;
        const std::uint8_t v = r.U8(at++);
        for (unsigned i = 0; i < count && x < width; ++i) row[x++] = v;
      } else {
        for (unsigned i = 0; i < count && at < end; ++i, ++at) {
          if (x < width) row[x++] = r.U8(at);
        }
      }
    }
    at = end;
  }

  const TPalette256 colours = palette ? *palette : GreyPalette();
  TBitmap32 picture(static_cast<int>(width), static_cast<int>(height), 0);
  for (unsigned y = 0; y < height; ++y) {
    if (!reached[y]) break;
    TPixel* row = picture.Row(static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) row[x] = colours[indexes[std::size_t(y) * width + x]];
  }
  out = std::move(picture);
  return true;
}

std::optional<TPalette256> PaletteBeside(const std::filesystem::path& picture) {
  for (const char* extension : {".pal", ".PAL", ".Pal"}) {
    std::filesystem::path file = picture;
    file.replace_extension(extension);
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;
    // A palette of 256 entries fills little more than two blocks.
    std::vector<std::byte> bytes(4096);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return ReadPalette(bytes);
  }
  return std::nullopt;
}

}  // namespace

bool DecodeHaloCut(std::span<const std::byte> data, TBitmap32& out) { return Decode(data, std::nullopt, out); }

bool DecodeHaloCutBeside(std::span<const std::byte> data, const std::filesystem::path& path, TBitmap32& out) {
  return Decode(data, PaletteBeside(path), out);
}

}  // namespace lumora::codecs
