// The older picture formats. Where ImageMagick writes a format, it writes every
// variant at test time and our decoding must match its own; where it only reads one
// (Dr. Halo, RLA), our small writers below make the files and it judges them; where
// no tool handles one (Autodesk, Paint Shop Pro, EPS previews), the writers' pictures
// are checked pixel by pixel.
#include "codec_test_support.h"
#include "imaging/codecs/codec_table.h"
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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
  std::optional<TBitmap32> Reference(const fs::path& file, const std::string& coder) {
    const fs::path out = dir_ / "reference.pam";
    return test::RunToNetpbm(std::string(test::kImageMagick) + " " + coder + ":" + test::Quote(file) +
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
      {kRoseAlpha, "psd:alpha.psd", 2},  // compared premultiplied, see below
      {kRose + " -depth 16 -compress None", "psd:raw16.psd", 1},
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
    ExpectSameAsImageMagick(Write(v.Arguments, v.Target), v.Target.substr(0, v.Target.find(':')), v.Tolerance);
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

}  // namespace
}  // namespace lumora
