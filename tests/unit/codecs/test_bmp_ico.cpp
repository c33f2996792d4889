// Our Windows bitmap and icon readers on files that ImageMagick writes, in every layout
// it offers, compared pixel by pixel with ImageMagick's own decoding of the same file;
// and the layouts it does not write (top-down rows, 4-bit runs, deltas, masks in icons),
// built here from its files.
#include "codec_test_support.h"
#include "imaging/codecs/codec_table.h"
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lumora {
namespace {

namespace fs = std::filesystem;
using test::TBytes;

class ImageMagickFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
  }
  // Writes the named file with the given convert arguments; false when convert failed.
  fs::path Write(const std::string& arguments, const std::string& name) {
    const fs::path file = dir_ / name;
    const std::string command = std::string(test::kImageMagick) + " " + arguments + " " + test::Quote(file);
    EXPECT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    return file;
  }
  // The rose with a horizontal ramp of opacity.
  static std::string RoseWithAlpha() { return "rose: -alpha set -channel A -fx 'i/w' +channel"; }
  TBitmap32 Reference(const fs::path& file) {
    auto reference = test::DecodeWithImageMagick(file, dir_);
    EXPECT_TRUE(reference.has_value()) << file;
    return reference ? *reference : TBitmap32();
  }
  test::TTempDir dir_;
};

std::optional<TBitmap32> Decode(codecs::TDecodeFunction decode, std::span<const std::byte> data) {
  TBitmap32 bitmap;
  if (!decode(data, bitmap)) return std::nullopt;
  return bitmap;
}

std::uint32_t U32(const TBytes& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void PutU32(TBytes& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

TEST_F(ImageMagickFiles, EveryBitmapLayoutMatchesImageMagicksDecoding) {
  const std::pair<std::string, const char*> variants[] = {
      {"rose:", "BMP3:rgb24.bmp"},
      {"rose: -colors 200 -type Palette", "BMP3:pal8-short.bmp"},
      {"rose: -colors 16 -type Palette", "BMP3:pal4.bmp"},
      {"rose: -monochrome", "BMP3:pal1.bmp"},
      {"rose: -colors 200 -type Palette -compress RLE", "BMP3:rle8.bmp"},
      {"rose: -define bmp:subtype=RGB565", "BMP:bitfields565.bmp"},
      {"rose: -define bmp:subtype=RGB555", "BMP:bitfields555.bmp"},
      {"rose:", "BMP4:v4.bmp"},
      {"rose:", "BMP2:os2-rgb24.bmp"},
      {"rose: -colors 16 -type Palette", "BMP2:os2-pal4.bmp"},
      {"rose: -colors 200 -type Palette", "BMP2:os2-pal8.bmp"},
      {RoseWithAlpha(), "BMP:argb32.bmp"},
      {RoseWithAlpha(), "BMP3:argb32-v3.bmp"},
      {RoseWithAlpha() + " -define bmp:subtype=ARGB4444", "BMP:argb4444.bmp"},
      {RoseWithAlpha() + " -define bmp:subtype=ARGB1555", "BMP:argb1555.bmp"},
  };
  for (const auto& [arguments, target] : variants) {
    SCOPED_TRACE(target);
    const fs::path file = Write(arguments, target);
    const auto ours = Decode(&codecs::DecodeWindowsBitmap, test::ReadFileBytes(file));
    ASSERT_TRUE(ours.has_value());
    std::string where;
    // ImageMagick widens 4-bit fields by shifting alone (15 becomes 240, not 255).
    const int tolerance = std::string_view(target).find("4444") != std::string_view::npos ? 15 : 0;
    EXPECT_LE(test::MaxDifference(*ours, Reference(file), true, &where), tolerance) << where;
  }
}

TEST_F(ImageMagickFiles, TopDownRowsReadAsTheSamePicture) {
  const fs::path file = Write("rose:", "BMP3:bottom-up.bmp");
  TBytes bytes = test::ReadFileBytes(file);
  const auto bottomUp = Decode(&codecs::DecodeWindowsBitmap, bytes);
  ASSERT_TRUE(bottomUp.has_value());
  // Reverse the rows and negate the height.
  const std::size_t offset = U32(bytes, 10);
  const std::size_t rowBytes = ((std::size_t(bottomUp->Width()) * 24 + 31) / 32) * 4;
  const auto height = static_cast<std::size_t>(bottomUp->Height());
  TBytes flipped = bytes;
  for (std::size_t y = 0; y < height; ++y) {
    std::memcpy(flipped.data() + offset + y * rowBytes, bytes.data() + offset + (height - 1 - y) * rowBytes, rowBytes);
  }
  PutU32(flipped, 22, static_cast<std::uint32_t>(-static_cast<std::int32_t>(height)));
  const auto topDown = Decode(&codecs::DecodeWindowsBitmap, flipped);
  ASSERT_TRUE(topDown.has_value());
  EXPECT_EQ(*topDown, *bottomUp);
}

// A 4-bit run-length bitmap: runs, a literal, an end of line, a delta and an early end.
TEST(RunLengthBitmap, FourBitRunsDeltasAndEndsOfLineLandWhereTheyShould) {
  const TPixel red = MakePixel(255, 0, 0), green = MakePixel(0, 255, 0), blue = MakePixel(0, 0, 255);
  TBytes file(14 + 40 + 3 * 4);
  const auto put32 = [&](std::size_t at, std::uint32_t v) { PutU32(file, at, v); };
  file[0] = std::byte{'B'};
  file[1] = std::byte{'M'};
  put32(10, 14 + 40 + 12);
  put32(14, 40);
  put32(18, 6);   // width
  put32(22, 4);   // height
  file[26] = std::byte{1};
  file[28] = std::byte{4};
  put32(30, 2);   // RLE4
  put32(46, 3);   // colours used
  const std::uint8_t palette[] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};  // red, green, blue
  std::memcpy(file.data() + 54, palette, sizeof(palette));
  const std::uint8_t runs[] = {
      5, 0x01,        // bottom row: red green red green red
      0, 0,           // end of line
      0, 3, 0x21, 0x00,  // literal of three: blue green red, padded to a word
      0, 2, 2, 1,     // delta: two right, one up
      2, 0x22,        // blue blue at (5, top-1) ... clipped at the row's end
      0, 1,           // end of bitmap: the rest stays transparent
  };
  file.insert(file.end(), reinterpret_cast<const std::byte*>(runs), reinterpret_cast<const std::byte*>(runs) + sizeof(runs));
  const auto bitmap = Decode(&codecs::DecodeWindowsBitmap, file);
  ASSERT_TRUE(bitmap.has_value());
  const TBitmap32& b = *bitmap;
  EXPECT_EQ(b.At(0, 3), red);
  EXPECT_EQ(b.At(1, 3), green);
  EXPECT_EQ(b.At(4, 3), red);
  EXPECT_EQ(PixelA(b.At(5, 3)), 0) << "a run shorter than the row leaves the rest transparent";
  EXPECT_EQ(b.At(0, 2), blue);
  EXPECT_EQ(b.At(1, 2), green);
  EXPECT_EQ(b.At(2, 2), red);
  EXPECT_EQ(PixelA(b.At(4, 2)), 0);
  EXPECT_EQ(b.At(5, 1), blue) << "the delta moved to (5, second row from the bottom + 1)";
  EXPECT_EQ(PixelA(b.At(4, 1)), 0);
  EXPECT_EQ(PixelA(b.At(0, 0)), 0);
  TPicture picture;
  ASSERT_TRUE(picture.LoadBitmapFromMemory(file));
  EXPECT_FALSE(picture.Opaque()) << "drawn over white, never lent as it is";

  // Cut anywhere, the runs keep what they read and never fail on the way.
  for (std::size_t size = 54 + 12; size < file.size(); ++size) {
    EXPECT_TRUE(Decode(&codecs::DecodeWindowsBitmap, std::span<const std::byte>(file).first(size)).has_value()) << size;
  }
}

TEST(WindowsBitmap, DamagedHeadersFail) {
  TBytes base = test::MakeBmp24(4, 4, [](int x, int y) -> std::uint32_t { return std::uint32_t(x * 50 + y); });
  const auto with = [&](std::size_t at, std::uint32_t v) {
    TBytes b = base;
    PutU32(b, at, v);
    return Decode(&codecs::DecodeWindowsBitmap, b).has_value();
  };
  EXPECT_TRUE(with(30, 0));
  EXPECT_FALSE(with(14, 41)) << "header longer than the file";
  EXPECT_FALSE(with(14, 8)) << "no such header";
  EXPECT_FALSE(with(18, 0)) << "zero width";
  EXPECT_FALSE(with(18, 16385)) << "wider than the limit";
  EXPECT_FALSE(with(22, 0x80000000u)) << "most negative height";
  EXPECT_FALSE(with(30, 1)) << "RLE8 needs 8 bits";
  EXPECT_FALSE(with(30, 4)) << "embedded JPEG";
  EXPECT_FALSE(with(30, 3)) << "bit fields need 16 or 32 bits";
  // Bit fields with an empty green mask: green is 0 (and decoding ends).
  TBytes fields = test::MakeBmp24(2, 1, [](int, int) -> std::uint32_t { return 0; });
  fields[28] = std::byte{16};
  PutU32(fields, 30, 3);
  PutU32(fields, 10, 14 + 40 + 12);
  const std::uint32_t masks[] = {0xF800, 0, 0x001F};
  fields.insert(fields.begin() + 54, reinterpret_cast<const std::byte*>(masks), reinterpret_cast<const std::byte*>(masks) + 12);
  fields.resize(14 + 40 + 12 + 4);
  PutU32(fields, 14 + 40 + 12, 0xFFFFFFFFu);
  const auto noGreen = Decode(&codecs::DecodeWindowsBitmap, fields);
  ASSERT_TRUE(noGreen.has_value());
  EXPECT_EQ(noGreen->At(0, 0), MakePixel(255, 0, 255));
  base[28] = std::byte{2};
  EXPECT_FALSE(Decode(&codecs::DecodeWindowsBitmap, base).has_value()) << "2 bits a pixel";
}

// An icon entry made from one of ImageMagick's bitmap files: the file header goes, the
// height doubles, and an AND mask follows the rows.
TBytes IconFromBitmap(const TBytes& bmp, bool (*clear)(int x, int y)) {
  TBytes dib(bmp.begin() + 14, bmp.end());
  const auto width = static_cast<int>(U32(dib, 4));
  const auto height = static_cast<int>(U32(dib, 8));
  PutU32(dib, 8, static_cast<std::uint32_t>(height * 2));
  const std::size_t maskRow = ((std::size_t(width) + 31) / 32) * 4;
  TBytes mask(maskRow * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (clear(x, y)) mask[maskRow * std::size_t(height - 1 - y) + std::size_t(x / 8)] |= std::byte(0x80 >> (x % 8));
    }
  }
  dib.insert(dib.end(), mask.begin(), mask.end());
  TBytes ico(6 + 16);
  ico[2] = std::byte{1};
  ico[4] = std::byte{1};
  ico[6] = std::byte(width & 255);
  ico[7] = std::byte(height & 255);
  PutU32(ico, 14, static_cast<std::uint32_t>(dib.size()));
  PutU32(ico, 18, 22);
  ico.insert(ico.end(), dib.begin(), dib.end());
  return ico;
}

bool Checker(int x, int y) { return (x / 3 + y / 3) % 2 == 0; }

TEST_F(ImageMagickFiles, IconsShowTheirLargestImageWithItsAlphaOrMask) {
  struct TVariant {
    std::string Arguments;
    std::string Name;
    int Largest;  // index of the largest image in the order written
  };
  const TVariant variants[] = {
      {"rose: -define icon:auto-resize=16,64,32", "sizes.ico", 1},
      {RoseWithAlpha() + " -define icon:auto-resize=48,16", "alpha.ico", 0},
      {RoseWithAlpha() + " -define icon:auto-resize=32,256", "png.ico", 1},
  };
  for (const TVariant& v : variants) {
    SCOPED_TRACE(v.Name);
    const fs::path file = Write(v.Arguments, v.Name);
    const auto ours = Decode(&codecs::DecodeWindowsIcon, test::ReadFileBytes(file));
    ASSERT_TRUE(ours.has_value());
    std::string where;
    EXPECT_EQ(test::MaxDifference(*ours, Reference(file.string() + "[" + std::to_string(v.Largest) + "]"), true, &where), 0)
        << where;
  }
  // Palette and 24-bit entries take their transparency from the AND mask.
  for (const std::string arguments : {"rose: -colors 16 -type Palette", "rose: -monochrome",
                                       "rose: -colors 200 -type Palette", "rose:"}) {
    SCOPED_TRACE(arguments);
    const fs::path bmp = Write(arguments + " -compress None", "BMP3:entry.bmp");
    const auto ours = Decode(&codecs::DecodeWindowsIcon, IconFromBitmap(test::ReadFileBytes(bmp), Checker));
    ASSERT_TRUE(ours.has_value());
    TBitmap32 expected = Reference(bmp);
    for (int y = 0; y < expected.Height(); ++y) {
      for (int x = 0; x < expected.Width(); ++x) {
        if (Checker(x, y)) expected.At(x, y) &= 0x00FFFFFFu;
      }
    }
    std::string where;
    EXPECT_EQ(test::MaxDifference(*ours, expected, true, &where), 0) << where;
  }
}

TEST(WindowsIcon, BrokenDirectoriesFail) {
  const TBytes entry = IconFromBitmap(test::MakeBmp24(4, 4, [](int, int) -> std::uint32_t { return 0x123456; }),
                                      [](int, int) { return false; });
  ASSERT_TRUE(Decode(&codecs::DecodeWindowsIcon, entry).has_value());
  TBytes noImages = entry;
  noImages[4] = std::byte{0};
  EXPECT_FALSE(Decode(&codecs::DecodeWindowsIcon, noImages).has_value());
  TBytes outside = entry;
  PutU32(outside, 18, 0x7FFFFFF0u);
  EXPECT_FALSE(Decode(&codecs::DecodeWindowsIcon, outside).has_value());
  TBytes notIcon = entry;
  notIcon[2] = std::byte{3};
  EXPECT_FALSE(Decode(&codecs::DecodeWindowsIcon, notIcon).has_value());
  for (std::size_t size = 0; size < entry.size(); ++size) (void)Decode(&codecs::DecodeWindowsIcon, std::span(entry).first(size));
}

}  // namespace
}  // namespace lumora
