// ZSoft Paintbrush pictures: a 128-byte header, then run-length encoded scan lines of
// one to four colour planes each. Planes of 1, 2 or 4 bits form a palette index (the
// 16-colour palette of the header); 8-bit single planes use the 256-colour palette at
// the end of the file (grey when there is none); three or four 8-bit planes are red,
// green, blue (and alpha). A scan line may hold more bytes than its pixels need.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <vector>

namespace lumora::codecs {
namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kVgaPaletteSize = 769;  // a 12 byte, then 256 RGB triples

// The run-length stream: a byte with its two top bits set repeats the next byte as
// often as its low six bits say; any other byte stands for itself. Runs may cross scan
// lines, so the decoder keeps its state from one line to the next.
class TRunReader {
 public:
  TRunReader(const TByteReader& r, std::size_t end, bool encoded) : r_(r), end_(end), encoded_(encoded) {}
  // Fills line; false when the data ended first.
  bool Line(std::vector<std::uint8_t>& line) {
    for (std::uint8_t& b : line) {
      if (count_ == 0) {
        if (at_ >= end_) return false;
        const unsigned c = r_.U8(at_++);
        if (encoded_ && c >= 0xC0) {
          if (at_ >= end_) return false;
          count_ = c & 0x3F;
          value_ = r_.U8(at_++);
          if (count_ == 0) continue;  // an empty run, which some writers emit
        } else {
          count_ = 1;
          value_ = std::uint8_t(c);
        }
      }
      b = value_;
      --count_;
    }
    return true;
  }

 private:
  const TByteReader& r_;
  std::size_t at_ = kHeaderSize;
  std::size_t end_;
  bool encoded_;
  unsigned count_ = 0;
  std::uint8_t value_ = 0;
};

}  // namespace

bool DecodePcx(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, kHeaderSize) || r.U8(0) != 0x0A || r.U8(2) > 1) return false;
  const unsigned bits = r.U8(3), planes = r.U8(65), lineBytes = r.U16(66);
  const int width = int(r.U16(8)) - int(r.U16(4)) + 1;
  const int height = int(r.U16(10)) - int(r.U16(6)) + 1;
  if (!PictureSizeAllowed(width, height) || planes < 1 || planes > 4) return false;
  const bool indexed = bits < 8 || planes == 1;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return false;
  if (indexed && bits * planes > 8) return false;
  if (!indexed && planes < 3) return false;
  if (std::size_t(lineBytes) * 8 < std::size_t(width) * bits) return false;

  std::size_t end = r.Size();
  TPalette256 palette = GreyPalette(indexed ? 1u << (bits * planes) : 256);
  if (bits == 8 && planes == 1) {
    if (r.Size() >= kHeaderSize + kVgaPaletteSize && r.U8(r.Size() - kVgaPaletteSize) == 0x0C) {
      end = r.Size() - kVgaPaletteSize;
      for (std::size_t i = 0; i < 256; ++i) {
        const std::size_t p = end + 1 + 3 * i;
        palette[i] = MakePixel(r.U8(p), r.U8(p + 1), r.U8(p + 2));
      }
    }
  } else if (bits * planes == 1) {
    palette[0] = MakePixel(0, 0, 0);
    palette[1] = MakePixel(255, 255, 255);
  } else if (indexed) {
    for (std::size_t i = 0; i < 16; ++i) {
      palette[i] = MakePixel(r.U8(16 + 3 * i), r.U8(17 + 3 * i), r.U8(18 + 3 * i));
    }
  }

  const bool encoded = r.U8(2) == 1;
  const std::size_t total = std::size_t(lineBytes) * planes;
  // Two bytes of runs stand for at most 63; a file shorter than that cannot be the picture.
  const std::size_t minimum = encoded ? (total * height + 62) / 63 * 2 : total * height;
  if (end - kHeaderSize < minimum) return false;

  // Rows the data never reaches stay transparent.
  TBitmap32 picture(width, height, 0);
  std::vector<std::uint8_t> line(total);
  TRunReader runs(r, end, encoded);
  const unsigned mask = (1u << bits) - 1;
  for (int y = 0; y < height && runs.Line(line); ++y) {
    TPixel* row = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      if (!indexed) {
        const std::uint8_t* s = line.data() + x;
        row[x] = MakePixel(s[0], s[lineBytes], s[2 * lineBytes], planes == 4 ? s[3 * lineBytes] : 255);
        continue;
      }
      unsigned index = 0;
      const std::size_t bit = std::size_t(x) * bits;
      for (unsigned p = 0; p < planes; ++p) {
        const unsigned b = line[p * lineBytes + bit / 8];
        index |= ((b >> (8 - bits - bit % 8)) & mask) << (p * bits);
      }
      row[x] = palette[index];
    }
  }
  out = std::move(picture);
  return true;
}

}  // namespace lumora::codecs
