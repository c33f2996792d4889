// The older picture formats. Where ImageMagick writes a format, it writes every
// variant at test time and our decoding must match its own; where it only reads one
// (Dr. Halo), our small writer below makes the files and it judges them; where no
// tool handles one (Autodesk, Paint Shop Pro, RLA, EPS previews), the writers'
// pictures are checked pixel by pixel.
#include "codec_test_support.h"
#include "imaging/codecs/codec_table.h"
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace lumora {
namespace {

namespace fs = std::filesystem;
using test::TBytes;

std::optional<TBitmap32> DecodeFile(const fs::path& file) {
  const codecs::TCodecEntry* codec = codecs::FindCodec(file.extension().string());
  TBitmap32 bitmap;
  if (codec == nullptr || !codec->Decode(test::ReadFileBytes(file), bitmap)) return std::nullopt;
  return bitmap;
}

class LegacyImageMagick : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
  }
  fs::path Write(const std::string& arguments, const std::string& target) {
    const std::string name = target.substr(target.find(':') + 1);
    const std::string command = std::string(test::kImageMagick) + " " + arguments + " " + target.substr(0, target.find(':') + 1) +
                                test::Quote(dir_ / name);
    EXPECT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    return dir_ / name;
  }
  // ImageMagick's decoding, turned upright as the file's orientation says (it keeps
  // the stored row order otherwise); coder names the format for extensions it does not know.
  // A coder with a path ("png:/x/source.png") names another file to decode instead.
  std::optional<TBitmap32> Reference(const fs::path& file, const std::string& coder) {
    const fs::path out = dir_ / "reference.pam";
    const std::string input = coder.find(':') != std::string::npos ? coder : coder + ":" + test::Quote(file);
    return test::RunToNetpbm(std::string(test::kImageMagick) + " " + input +
                                 " -auto-orient -depth 8 pam:" + test::Quote(out),
                             out);
  }
  void ExpectSameAsImageMagick(const fs::path& file, const std::string& coder, int tolerance) {
    SCOPED_TRACE(file.filename().string());
    const auto ours = DecodeFile(file);
    ASSERT_TRUE(ours.has_value()) << "we do not decode it";
    const auto reference = Reference(file, coder);
    ASSERT_TRUE(reference.has_value()) << "ImageMagick does not decode it";
    std::string where;
    // Photoshop composites are matted with white and taken apart again by the reader:
    // the colours of nearly transparent pixels carry no precision, so compare what shows.
    EXPECT_LE(test::MaxDifference(Premultiplied(*ours), Premultiplied(*reference), true, &where), tolerance) << where;
  }
  static TBitmap32 Premultiplied(TBitmap32 b) {
    for (TPixel& p : b.Pixels()) {
      const auto m = [&](unsigned c) { return std::uint8_t((c * PixelA(p) + 127) / 255); };
      p = MakePixel(m(PixelR(p)), m(PixelG(p)), m(PixelB(p)), PixelA(p));
    }
    return b;
  }
  test::TTempDir dir_;
};

const std::string kRose = "rose:";
const std::string kOddRose = "rose: -crop 69x45+0+0 +repage";
const std::string kRoseAlpha = "rose: -alpha set -channel A -fx 'i/w' +channel";

TEST_F(LegacyImageMagick, WrittenVariantsMatchImageMagicksDecoding) {
  const struct {
    std::string Arguments, Target;
    int Tolerance;
    bool FromSource = false;
  } variants[] = {
      {kRose, "tga:rgb24.tga", 0},
      {kOddRose + " -compress RLE", "tga:rle24.tga", 0},
      {kRose + " -colors 200 -type Palette", "tga:mapped.tga", 0},
      {kRose + " -colors 200 -type Palette -compress RLE", "tga:mapped-rle.vst", 0},
      {kRose + " -colorspace Gray", "tga:grey.icb", 0},
      {kRoseAlpha, "tga:rgba32.vda", 0},
      {kRoseAlpha + " -compress RLE", "tga:rgba32-rle.win", 0},
      {kOddRose + " -orient TopLeft", "tga:top-down.tga", 0},
      {kOddRose + " -orient TopRight -compress RLE", "tga:right-to-left.tga", 0},
      {kOddRose + " -orient BottomRight", "tga:bottom-right.tga", 0},
      {kRose, "pcx:rgb24.pcx", 0},
      {kOddRose, "pcx:odd24.pcc", 0},
      {kRose + " -colors 200 -type Palette", "pcx:vga8.pcx", 0},
      {kOddRose + " -colors 16 -type Palette", "pcx:ega4.scr", 0},
      {kOddRose + " -monochrome", "pcx:mono.pcx", 0},
      {kRoseAlpha, "pcx:rgba32.pcx", 0},
      {kRose, "psd:rgb.psd", 0},
      {kOddRose + " -compress None", "psd:raw.pdd", 0},
      // ImageMagick writes transparent composites without the white matte and reads
      // them as if matted; the picture it wrote from is the reference there.
      {kRoseAlpha, "psd:alpha.psd", 1, true},
      {kRose + " -depth 16 -compress None", "psd:raw16.psd", 1},
      {kRose + " -depth 16", "psd:rle16.psd", 1},
      {kOddRose + " -colorspace Gray", "psd:grey.psd", 0},
      {kRoseAlpha + " -colorspace Gray", "psd:grey-alpha.psd", 1, true},
      {kRose + " -colors 200 -type Palette", "psd:indexed.psd", 1, true},  // which it cannot read back
      {kRose, "sgi:rgb.sgi", 0},
      {kOddRose + " -compress None", "sgi:verbatim.rgb", 0},
      {kRoseAlpha, "sgi:rgba.rgba", 0},
      {kRose + " -colorspace Gray", "sgi:grey.bw", 0},
      {kRose + " -depth 16", "sgi:rgb16.sgi", 1},
      {kRose + " -depth 16 -compress None", "sgi:verbatim16.sgi", 1},
      {kOddRose, "ppm:raw.ppm", 0},
      {kOddRose + " -compress None", "ppm:plain.ppm", 0},
      {kRose + " -depth 16", "ppm:raw16.ppm", 1},
      {kRose + " -depth 16 -compress None", "ppm:plain16.ppm", 1},
      {kRose + " -depth 4 -compress None", "ppm:plain4.ppm", 0},
      {kOddRose + " -colorspace Gray", "pgm:raw.pgm", 0},
      {kOddRose + " -colorspace Gray -compress None", "pgm:plain.pgm", 0},
      {kOddRose + " -monochrome", "pbm:raw.pbm", 0},
      {kOddRose + " -monochrome -compress None", "pbm:plain.pbm", 0},
  };
  for (const auto& v : variants) {
    const fs::path file = Write(v.Arguments, v.Target);
    if (v.FromSource) {
      const fs::path source = Write(v.Arguments, "png:source-" + file.stem().string() + ".png");
      ExpectSameAsImageMagick(file, "png:" + source.string(), v.Tolerance);
    } else {
      ExpectSameAsImageMagick(file, v.Target.substr(0, v.Target.find(':')), v.Tolerance);
    }
  }
}

// ImageMagick writes Photo-CD packs but hands back their PhotoYCC samples as they are
// (chroma upsampled); the documented YCC-to-RGB conversion turns those into the
// reference, so this checks the layout, the chroma placement and the orientation codes.
TEST_F(LegacyImageMagick, PhotoCdBaseImageMatchesImageMagicksSamples) {
  const fs::path pack = Write("rose:", "pcd:rose.pcd");
  for (const int orientation : {0, 1, 3}) {
    SCOPED_TRACE(orientation);
    TBytes bytes = test::ReadFileBytes(pack);
    ASSERT_GT(bytes.size(), 0x0E02u);
    bytes[0x0E02] = std::byte(orientation);
    const fs::path file = dir_ / ("turned" + std::to_string(orientation) + ".pcd");
    test::WriteFileBytes(file, bytes);
    auto reference = Reference(file, "pcd");
    ASSERT_TRUE(reference.has_value());
    for (TPixel& p : reference->Pixels()) {
      const double l = 1.3584 * PixelR(p), b = 2.2179 * (PixelG(p) - 156.0), r = 1.8215 * (PixelB(p) - 137.0);
      const auto c = [](double v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
      p = MakePixel(c(l + r), c(l - 0.194 * b - 0.509 * r), c(l + b));
    }
    const auto ours = DecodeFile(file);
    ASSERT_TRUE(ours.has_value());
    std::string where;
    EXPECT_LE(test::MaxDifference(*ours, *reference, false, &where), 4) << where;  // 8-bit chroma rounding, scaled
  }
  // White and mid grey by the documented conversion: luma 188 is reference white.
  TBytes bytes = test::ReadFileBytes(pack);
  for (std::size_t i = 0; i < 768 * 3 * 256; ++i) {
    const std::size_t inPair = i % (768 * 3);
    bytes[0x30000 + i] = std::byte(inPair < 1536 ? (inPair < 768 ? 188 : 94) : inPair < 1920 ? 156 : 137);
  }
  bytes[0x0E02] = std::byte{0};
  TBitmap32 grey;
  ASSERT_TRUE(codecs::DecodePhotoCd(bytes, grey));
  EXPECT_EQ(grey.At(10, 0), MakePixel(255, 255, 255));
  EXPECT_EQ(grey.At(10, 1), MakePixel(128, 128, 128));
}

// Little writers for the formats that no installed tool writes, from the formats'
// descriptions. Pictures are index or colour functions of (x, y).
void Put16(TBytes& b, unsigned v, bool big = false) {
  b.push_back(std::byte(big ? v >> 8 : v & 255));
  b.push_back(std::byte(big ? v & 255 : v >> 8));
}
void Put32(TBytes& b, std::uint32_t v, bool big = false) {
  Put16(b, big ? v >> 16 : v & 0xFFFF, big);
  Put16(b, big ? v & 0xFFFF : v >> 16, big);
}
void Set16Big(TBytes& b, std::size_t at, unsigned v) {
  b[at] = std::byte(v >> 8);
  b[at + 1] = std::byte(v & 255);
}

std::uint8_t Index(int x, int y) { return std::uint8_t((x * 7 + y * 13) % 23 + (x > 20 ? 200 : 0)); }

// A Dr. Halo picture: every row as a run of its first index, then the rest literal.
TBytes HaloCut(int width, int height) {
  TBytes b;
  Put16(b, unsigned(width));
  Put16(b, unsigned(height));
  Put16(b, 0);
  for (int y = 0; y < height; ++y) {
    TBytes row = {std::byte(0x80 | 3), std::byte(Index(0, y))};
    for (int x = 3; x < width; x += 100) {
      const int n = std::min(100, width - x);
      row.push_back(std::byte(n));
      for (int i = 0; i < n; ++i) row.push_back(std::byte(Index(x + i, y)));
    }
    row.push_back(std::byte{0});
    Put16(b, unsigned(row.size()));
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

TPixel PaletteColour(unsigned i) { return MakePixel(std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 3)); }

// Its palette file: 256 entries of 16-bit components up to 255, kept within 512-byte blocks.
TBytes HaloPalette() {
  TBytes b = test::BytesOf("AH");
  Put16(b, 0xE3);
  Put16(b, 0);
  b.push_back(std::byte{10});
  b.push_back(std::byte{0});
  for (unsigned v : {0u, 0u, 255u, 255u, 255u, 255u}) Put16(b, v);
  b.resize(40);
  for (unsigned i = 0; i < 256; ++i) {
    if (b.size() % 512 + 6 > 512) b.resize(b.size() + 512 - b.size() % 512);
    const TPixel c = PaletteColour(i);
    for (unsigned v : {PixelR(c), PixelG(c), PixelB(c)}) Put16(b, v);
  }
  return b;
}

// An RLA picture of the given active window with red, green, blue and a matte; each
// channel of a scan line is a repeat run of two samples and literal runs for the rest.
TBytes Rla(int left, int bottom, int width, int height, TPixel (*colour)(int, int)) {
  TBytes b(740, std::byte{0});
  const int values[] = {left, left + width - 1, bottom, bottom + height - 1};
  for (int i = 0; i < 4; ++i) {
    Set16Big(b, 2 * i, unsigned(values[i]));
    Set16Big(b, 8 + 2 * i, unsigned(values[i]));
  }
  Set16Big(b, 20, 3);
  Set16Big(b, 22, 1);
  Set16Big(b, 26, 0xFFFE);
  Set16Big(b, 658, 8);
  Set16Big(b, 662, 8);
  const std::size_t table = b.size();
  b.resize(b.size() + 4 * std::size_t(height));
  for (int line = 0; line < height; ++line) {
    const std::size_t at = b.size();
    for (int k = 0; k < 4; ++k) b[table + 4 * line + k] = std::byte((at >> (24 - 8 * k)) & 255);
    const int y = height - 1 - line;
    for (int c = 0; c < 4; ++c) {
      const auto sample = [&](int x) {
        const TPixel p = colour(x, y);
        return std::byte(c == 3 ? PixelA(p) : c == 0 ? PixelR(p) : c == 1 ? PixelG(p) : PixelB(p));
      };
      TBytes runs = {std::byte{1}, sample(0)};  // sample 0 twice: the picture repeats it
      for (int x = 2; x < width; x += 100) {
        const int n = std::min(100, width - x);
        runs.push_back(std::byte(-n));
        for (int i = 0; i < n; ++i) runs.push_back(sample(x + i));
      }
      Put16(b, unsigned(runs.size()), true);
      b.insert(b.end(), runs.begin(), runs.end());
    }
  }
  return b;
}

TPixel RlaColour(int x, int y) {
  return x == 1 ? RlaColour(0, y) : MakePixel(std::uint8_t(x * 9), std::uint8_t(y * 11), std::uint8_t(x ^ y), std::uint8_t(255 - x));
}

TEST_F(LegacyImageMagick, HaloPicturesOfOurWriterReadAsImageMagickReadsThem) {
  test::WriteFileBytes(dir_ / "grey.cut", HaloCut(131, 9));
  ExpectSameAsImageMagick(dir_ / "grey.cut", "cut", 0);
}

// ImageMagick 6.9 calls these files corrupt, so their pixels are checked here.
TEST(Wavefront, ActiveWindowChannelsAndMatteDecodeExactly) {
  for (const auto& [left, bottom, width, height] : {std::array{0, 0, 37, 5}, std::array{3, 2, 130, 4}}) {
    TBitmap32 rla;
    ASSERT_TRUE(codecs::DecodeWavefront(Rla(left, bottom, width, height, &RlaColour), rla));
    ASSERT_EQ(rla.Width(), width);
    ASSERT_EQ(rla.Height(), height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) ASSERT_EQ(rla.At(x, y), RlaColour(x, y)) << x << ", " << y;
    }
  }
}

TEST(HaloCut, ThePaletteFileBesideThePictureGivesItsColours) {
  test::TTempDir dir;
  test::WriteFileBytes(dir / "halo.CUT", HaloCut(131, 9));
  TPicture grey, coloured;
  ASSERT_TRUE(grey.LoadFromFile(dir / "halo.CUT"));
  test::WriteFileBytes(dir / "halo.pal", HaloPalette());
  ASSERT_TRUE(coloured.LoadFromFile(dir / "halo.CUT"));
  // Bytes in memory have nothing beside them: the grey form, as a file without its palette.
  TPicture inMemory;
  ASSERT_TRUE(inMemory.LoadFromMemory("CUT", HaloCut(131, 9)));
  EXPECT_TRUE(std::ranges::equal(inMemory.Bitmap().Pixels(), grey.Bitmap().Pixels()));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 131; ++x) {
      const unsigned index = x < 3 ? Index(0, y) : Index(x, y);
      ASSERT_EQ(coloured.Bitmap().At(x, y), PaletteColour(index)) << x << ", " << y;
      ASSERT_EQ(PixelR(grey.Bitmap().At(x, y)), PixelG(grey.Bitmap().At(x, y)));
    }
  }
}

// Autodesk Animator: header, 6-bit palette, indexes.
TBytes Autodesk(int width, int height) {
  TBytes b;
  for (unsigned v : {0x9119u, unsigned(width), unsigned(height), 0u, 0u}) Put16(b, v);
  b.push_back(std::byte{8});
  b.push_back(std::byte{0});
  Put32(b, std::uint32_t(width * height));
  b.resize(32);
  for (unsigned i = 0; i < 256; ++i) {
    for (unsigned v : {i % 64, 63 - i % 64, i / 4}) b.push_back(std::byte(v));
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) b.push_back(std::byte(Index(x, y)));
  }
  return b;
}

std::uint8_t PspSample(int x, int y, unsigned channelType) {
  return std::uint8_t(channelType == 0 ? 255 - 8 * x : channelType == 1 ? x * 5 : channelType == 2 ? y * 9 : x ^ y);
}

// Paint Shop Pro: the given file version (3: Paint Shop Pro 5, 5: version 7) and
// compression, either one raster layer (with a transparency mask at half opacity) or
// a composite-image bank (later versions), 24-bit.
TBytes PaintShopPro(unsigned major, unsigned compression, bool composite, int width, int height) {
  const bool v5 = major == 3;
  TBytes b = test::BytesOf("Paint Shop Pro Image File\n\x1a");
  b.resize(32);
  Put16(b, major);
  Put16(b, 0);
  // A block: header, then fields (a chunk with its own length in later versions), then content.
  const auto block = [&](TBytes& to, unsigned id, const TBytes& fields, const TBytes& content, bool chunked = true) {
    to.insert(to.end(), {std::byte('~'), std::byte('B'), std::byte('K'), std::byte(0)});
    Put16(to, id);
    TBytes chunk;
    if (!v5 && chunked) Put32(chunk, std::uint32_t(fields.size() + 4));
    chunk.insert(chunk.end(), fields.begin(), fields.end());
    if (v5) Put32(to, std::uint32_t(chunk.size()));
    Put32(to, std::uint32_t(chunk.size() + content.size()));
    to.insert(to.end(), chunk.begin(), chunk.end());
    to.insert(to.end(), content.begin(), content.end());
  };
  const auto channel = [&](unsigned bitmapType, unsigned channelType, std::uint8_t (*sample)(int, int, unsigned)) {
    TBytes plain;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) plain.push_back(std::byte(sample(x, y, channelType)));
    }
    TBytes packed;
    if (compression == 0) packed = plain;
    if (compression == 2) packed = test::Deflate(plain);
    if (compression == 1) {
      for (std::size_t i = 0; i < plain.size();) {  // a run of 1, then up to 60 literal bytes
        packed.insert(packed.end(), {std::byte(128 + 1), plain[i]});
        ++i;
        const std::size_t n = std::min<std::size_t>(60, plain.size() - i);
        packed.push_back(std::byte(n));
        packed.insert(packed.end(), plain.begin() + std::ptrdiff_t(i), plain.begin() + std::ptrdiff_t(i + n));
        i += n;
      }
    }
    TBytes fields, out;
    Put32(fields, std::uint32_t(packed.size()));
    Put32(fields, std::uint32_t(plain.size()));
    Put16(fields, bitmapType);
    Put16(fields, channelType);
    block(out, 5, fields, packed);
    return out;
  };
  TBytes image;
  Put32(image, std::uint32_t(width));
  Put32(image, std::uint32_t(height));
  image.resize(image.size() + 9);  // resolution and its unit
  Put16(image, compression);
  Put16(image, 24);
  Put16(image, 1);
  Put32(image, 1u << 24);
  image.push_back(std::byte{0});
  Put32(image, 0);
  Put32(image, 0);
  Put16(image, 1);
  if (!v5) Put32(image, 0);
  block(b, 0, image, {});

  TBytes channels;
  for (unsigned c = 1; c <= 3; ++c) channels = [&] { TBytes all = channels; TBytes one = channel(0, c, &PspSample); all.insert(all.end(), one.begin(), one.end()); return all; }();
  if (composite) {
    TBytes attributes, counts, content;
    Put32(attributes, std::uint32_t(width));
    Put32(attributes, std::uint32_t(height));
    for (unsigned v : {24u, compression, 1u}) Put16(attributes, v);
    Put32(attributes, 1u << 24);
    Put16(attributes, 0);
    block(content, 17, attributes, {});
    Put16(counts, 1);
    Put16(counts, 3);
    block(content, 9, counts, channels);
    TBytes bankFields;
    Put32(bankFields, 1);
    block(b, 16, bankFields, content);
  } else {
    TBytes mask = channel(1, 0, &PspSample);
    channels.insert(channels.end(), mask.begin(), mask.end());
    TBytes info;
    if (v5) {
      info = test::BytesOf("Layer");
      info.resize(256);
    } else {
      Put16(info, 5);
      const TBytes name = test::BytesOf("Layer");
      info.insert(info.end(), name.begin(), name.end());
    }
    info.push_back(std::byte{1});
    for (int r = 0; r < 2; ++r) {
      for (int v : {0, 0, width, height}) Put32(info, std::uint32_t(v));
    }
    info.insert(info.end(), {std::byte(128), std::byte(0), std::byte(1), std::byte(0), std::byte(0)});
    info.resize(info.size() + 32 + 5);  // mask rectangles, mask flags, no blend ranges
    TBytes layer, counts;
    Put16(counts, 2);
    Put16(counts, 4);
    if (v5) {
      info.insert(info.end(), counts.begin(), counts.end());
    } else {
      TBytes chunk;
      Put32(chunk, 8);
      chunk.insert(chunk.end(), counts.begin(), counts.end());
      channels.insert(channels.begin(), chunk.begin(), chunk.end());
    }
    block(layer, 4, info, channels);
    block(b, 3, {}, layer, false);
  }
  return b;
}

TEST(LegacyFixtures, AutodeskAndPaintShopProPicturesDecodeExactly) {
  TBitmap32 cel;
  ASSERT_TRUE(codecs::DecodeAutodesk(Autodesk(33, 7), cel));
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 33; ++x) {
      const unsigned i = Index(x, y);
      const auto wide = [](unsigned v) { return std::uint8_t((v << 2) | (v >> 4)); };
      ASSERT_EQ(cel.At(x, y), MakePixel(wide(i % 64), wide(63 - i % 64), wide(i / 4)));
    }
  }
  const struct {
    unsigned Major, Compression;
    bool Composite;
  } variants[] = {{3, 0, false}, {3, 1, false}, {3, 2, false}, {5, 0, false}, {5, 2, true}, {5, 1, true}};
  for (const auto& v : variants) {
    SCOPED_TRACE(testing::Message() << "version " << v.Major << ", compression " << v.Compression
                                    << (v.Composite ? ", composite" : ", layer"));
    TBitmap32 psp;
    ASSERT_TRUE(codecs::DecodePaintShopPro(PaintShopPro(v.Major, v.Compression, v.Composite, 29, 11), psp));
    ASSERT_EQ(psp.Width(), 29);
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 29; ++x) {
        // The layer: its mask times half opacity over a transparent canvas.
        const std::uint8_t a = v.Composite ? 255 : std::uint8_t(PspSample(x, y, 0) * 128 / 255);
        const TPixel expected = a == 0 ? 0 : MakePixel(PspSample(x, y, 1), PspSample(x, y, 2), PspSample(x, y, 3), a);
        ASSERT_EQ(psp.At(x, y), expected) << x << ", " << y;
      }
    }
  }
}

// An EPS with the binary header and a TIFF preview (from ImageMagick) shows the
// preview; without a preview it fails.
TEST_F(LegacyImageMagick, EpsShowsItsTiffPreview) {
  const TBytes tiff = test::ReadFileBytes(Write("rose:", "tiff:preview.tif"));
  const TBytes postscript = test::BytesOf("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 70 46\n");
  TBytes eps;
  Put32(eps, 0xC6D3D0C5u);
  for (std::size_t v : {std::size_t(30), postscript.size(), std::size_t(0), std::size_t(0), 30 + postscript.size(), tiff.size()}) {
    Put32(eps, std::uint32_t(v));
  }
  Put16(eps, 0xFFFF);
  eps.insert(eps.end(), postscript.begin(), postscript.end());
  eps.insert(eps.end(), tiff.begin(), tiff.end());
  TBitmap32 fromEps, fromTiff;
  ASSERT_TRUE(codecs::DecodeEncapsulatedPostScript(eps, fromEps));
  ASSERT_TRUE(codecs::DecodeTiff(tiff, fromTiff));
  EXPECT_EQ(fromEps, fromTiff);
  eps.resize(30 + postscript.size());
  for (int i = 20; i < 28; ++i) eps[std::size_t(i)] = std::byte{0};
  EXPECT_FALSE(codecs::DecodeEncapsulatedPostScript(eps, fromEps)) << "no preview";
}

// Headers that declare more than the limit, or more than the data can hold, fail
// before the pixels are allocated (an allocation of that size would throw or be slow).
TEST(LegacyFormats, HugeOrUnbackedDeclaredSizesFail) {
  const auto header = [](std::initializer_list<int> values, std::size_t size) {
    TBytes b(size, std::byte{0});
    std::size_t i = 0;
    for (int v : values) b[i++] = std::byte(v);
    return b;
  };
  TBytes sgi = header({0x01, 0xDA, 1, 1, 0, 3, 0x40, 0, 0x40, 0, 0, 3}, 600);  // 16384 x 16384 runs, tables missing
  TBytes psd = header({'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0x40, 0, 0, 0, 0x40, 0, 0, 8, 0, 3}, 60);
  TBytes psdHuge = psd;
  psdHuge[16] = std::byte{0x50};  // 20480 rows
  TBytes rla(800, std::byte{0});
  Set16Big(rla, 10, 16383);
  Set16Big(rla, 14, 16383);
  Set16Big(rla, 20, 3);
  const struct {
    const char* Name;
    codecs::TDecodeFunction Decode;
    TBytes Data;
  } cases[] = {
      {"targa 16384 x 16384 raw", &codecs::DecodeTarga, header({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x40, 24, 0}, 64)},
      {"targa runs", &codecs::DecodeTarga, header({0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x40, 32, 0}, 4096)},
      {"pcx", &codecs::DecodePcx, header({10, 5, 1, 8, 0, 0, 0, 0, 0xFF, 0x3F, 0xFF, 0x3F}, 2000)},
      {"psd unbacked", &codecs::DecodePhotoshop, psd},
      {"psd too tall", &codecs::DecodePhotoshop, psdHuge},
      {"sgi", &codecs::DecodeSgi, sgi},
      {"ppm", &codecs::DecodePortableMap, test::BytesOf("P6 16384 16384 255\n\x01\x02\x03")},
      {"plain pgm", &codecs::DecodePortableMap, test::BytesOf("P2 16384 16384 255\n1 2 3")},
      {"pbm too wide", &codecs::DecodePortableMap, test::BytesOf("P4 99999 1\n\xFF")},
      {"autodesk", &codecs::DecodeAutodesk, header({0x19, 0x91, 0, 0x40, 0, 0x40, 0, 0, 0, 0, 8, 0}, 900)},
      {"halo", &codecs::DecodeHaloCut, header({0, 0x40, 0, 0x40}, 5000)},
      {"rla", &codecs::DecodeWavefront, rla},
      {"photo-cd short", &codecs::DecodePhotoCd, header({}, 0x30000)},
      {"paint shop pro", &codecs::DecodePaintShopPro, test::BytesOf("Paint Shop Pro Image File\n\x1a")},
      {"eps preview outside", &codecs::DecodeEncapsulatedPostScript,
       header({0xC5, 0xD0, 0xD3, 0xC6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 0, 0, 0, 0xFF, 0xFF, 0, 0}, 40)},
  };
  for (const auto& c : cases) {
    TBitmap32 out;
    EXPECT_FALSE(c.Decode(c.Data, out)) << c.Name;
    EXPECT_TRUE(out.Empty()) << c.Name;
  }
}

// Every file cut short, or with a byte changed, decodes to a whole picture or fails;
// the sanitizers see any read past the data.
TEST_F(LegacyImageMagick, DamagedFilesFailOrDecodeWhole) {
  std::vector<TBytes> files;
  for (const char* target : {"tga:a.tga", "pcx:a.pcx", "psd:a.psd", "sgi:a.sgi", "ppm:a.ppm", "pcd:a.pcd"}) {
    files.push_back(test::ReadFileBytes(Write(kOddRose + " -compress RLE", target)));
  }
  const std::vector<std::pair<codecs::TDecodeFunction, TBytes>> inputs = {
      {&codecs::DecodeTarga, files[0]},      {&codecs::DecodePcx, files[1]},
      {&codecs::DecodePhotoshop, files[2]},  {&codecs::DecodeSgi, files[3]},
      {&codecs::DecodePortableMap, files[4]}, {&codecs::DecodePhotoCd, files[5]},
      {&codecs::DecodeHaloCut, HaloCut(131, 9)}, {&codecs::DecodeWavefront, Rla(3, 2, 130, 4, &RlaColour)},
      {&codecs::DecodeAutodesk, Autodesk(33, 7)}, {&codecs::DecodePaintShopPro, PaintShopPro(5, 1, false, 29, 11)},
      {&codecs::DecodePaintShopPro, PaintShopPro(3, 2, false, 29, 11)},
  };
  // These files also seed the fuzz target (its first byte picks the decoder) when asked.
  const char* seeds = std::getenv("LUMORA_FUZZ_SEED_DIR");
  for (std::size_t i = 0; seeds != nullptr && i < inputs.size(); ++i) {
    const codecs::TDecodeFunction order[] = {&codecs::DecodeTarga, &codecs::DecodePhotoshop, &codecs::DecodePcx,
                                             &codecs::DecodePortableMap, &codecs::DecodeSgi, &codecs::DecodePhotoCd,
                                             &codecs::DecodeAutodesk, &codecs::DecodeHaloCut, &codecs::DecodeWavefront,
                                             &codecs::DecodePaintShopPro};
    TBytes seed = {std::byte(std::find(std::begin(order), std::end(order), inputs[i].first) - std::begin(order))};
    seed.insert(seed.end(), inputs[i].second.begin(), inputs[i].second.end());
    test::WriteFileBytes(fs::path(seeds) / ("seed" + std::to_string(i)), seed);
  }
  for (const auto& [decode, file] : inputs) {
    for (std::size_t cut = 0; cut < file.size(); cut += 1 + file.size() / 97) {
      TBytes damaged(file.begin(), file.begin() + std::ptrdiff_t(cut));
      TBitmap32 out;
      if (decode(damaged, out)) {
        EXPECT_EQ(out.Pixels().size(), std::size_t(out.Width()) * std::size_t(out.Height()));
      }
      TBytes changed = file;
      changed[cut] ^= std::byte{0xA5};
      decode(changed, out);
    }
  }
}

}  // namespace
}  // namespace lumora
