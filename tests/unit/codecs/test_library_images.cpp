// The decoders on the test pictures that the libraries' own source packages ship,
// fetched by scripts/fetch-test-images: decoded pixels against the reference files
// where there are some, and damaged files rejected without harm.
#include "codec_test_support.h"
#include "imaging/codecs/codec_table.h"
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace lumora {
namespace {

namespace fs = std::filesystem;
using test::TBytes;

#define REQUIRE_PACKAGE(var, name)                                                                      \
  const auto var = test::PackageImages(name);                                                           \
  if (!var) GTEST_SKIP() << "the test pictures of " << name << " are not in the cache; run scripts/fetch-test-images"

std::vector<fs::path> Files(const fs::path& dir, const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::optional<TBitmap32> Decode(codecs::TDecodeFunction decode, const TBytes& data) {
  TBitmap32 bitmap;
  if (!decode(data, bitmap)) return std::nullopt;
  return bitmap;
}

std::optional<TBitmap32> DecodeFile(const fs::path& file) {
  TPicture picture;
  if (!picture.LoadFromFile(file)) return std::nullopt;
  return picture.Bitmap();
}

// Every prefix length a truncation could stop at, a few hundred at most.
void ExpectTruncationsAreHarmless(codecs::TDecodeFunction decode, const TBytes& data, const fs::path& name) {
  const std::size_t step = std::max<std::size_t>(1, data.size() / 97);
  for (std::size_t size = 0; size < data.size(); size += step) {
    TBitmap32 bitmap;
    if (decode(std::span(data).first(size), bitmap)) {
      // Whatever comes back is a whole picture of a sane size.
      EXPECT_FALSE(bitmap.Empty()) << name << " cut at " << size;
      EXPECT_EQ(bitmap.Pixels().size(), std::size_t(bitmap.Width()) * std::size_t(bitmap.Height()));
    }
  }
}

TEST(PngSuite, EveryPictureMatchesImageMagicksDecodingAndInterlacingChangesNothing) {
  REQUIRE_PACKAGE(dir, "libpng1.6");
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
  test::TTempDir temp;
  std::size_t checked = 0;
  for (const fs::path& folder : {*dir / "contrib/pngsuite", *dir / "contrib/pngsuite/interlaced", *dir / "contrib/testpngs"}) {
    for (const fs::path& file : Files(folder, ".png")) {
      SCOPED_TRACE(file.string());
      const auto ours = DecodeFile(file);
      ASSERT_TRUE(ours.has_value());
      const auto reference = test::DecodeWithImageMagick(file, temp);
      ASSERT_TRUE(reference.has_value());
      std::string where;
      // 16-bit samples may round one way here and the other there.
      EXPECT_LE(test::MaxDifference(*ours, *reference, true, &where), 1) << where;
      ++checked;
    }
  }
  EXPECT_GT(checked, 150u);
  for (const fs::path& file : Files(*dir / "contrib/pngsuite", ".png")) {
    const std::string name = file.filename().string();
    if (name.rfind("basn", 0) != 0) continue;
    const auto plain = DecodeFile(file);
    const auto interlaced = DecodeFile(file.parent_path() / ("i" + name));
    const auto interlaced2 = DecodeFile(file.parent_path() / "interlaced" / ("i" + name));
    ASSERT_TRUE(plain.has_value()) << name;
    ASSERT_TRUE(interlaced.has_value() || interlaced2.has_value()) << "i" << name;
    EXPECT_EQ(*plain, interlaced ? *interlaced : *interlaced2) << name;
  }
}

TEST(PngSuite, DamagedAndTruncatedFilesFailCleanly) {
  REQUIRE_PACKAGE(dir, "libpng1.6");
  for (const fs::path& file : Files(*dir / "contrib/testpngs/crashers", ".png")) {
    const std::string name = file.filename().string();
    const auto result = Decode(&codecs::DecodePng, test::ReadFileBytes(file));
    // A damaged checksum of the image data is fatal; an oversized ancillary chunk is skipped.
    if (name == "badcrc.png" || name == "badadler.png" || name == "huge_IDAT.png") {
      EXPECT_FALSE(result.has_value()) << name;
    }
  }
  for (const char* name : {"basn2c08.png", "basn3p02.png", "ibasn6a16.png", "basn4a16.png"}) {
    ExpectTruncationsAreHarmless(&codecs::DecodePng, test::ReadFileBytes(*dir / "contrib/pngsuite" / name), name);
  }
}

TEST(JpegTestImages, DecodeLikeTheLibrarysOwnDecoderAndCloseToTheOriginal) {
  REQUIRE_PACKAGE(dir, "libjpeg-turbo");
  const fs::path images = *dir / "testimages";
  const auto original = test::ReadNetpbmFile(images / "testorig.ppm");
  ASSERT_TRUE(original.has_value());
  test::TTempDir temp;
  const bool haveDjpeg = std::system("command -v djpeg >/dev/null 2>&1") == 0;
  // Baseline, progressive and arithmetic-coded copies of the same photograph.
  for (const char* name : {"testorig.jpg", "testimgint.jpg", "testimgari.jpg"}) {
    SCOPED_TRACE(name);
    const auto ours = DecodeFile(images / name);
    ASSERT_TRUE(ours.has_value());
    std::string where;
    EXPECT_LE(test::MaxDifference(*ours, *original, false, &where), 64) << where;
    if (haveDjpeg) {
      const auto out = temp / "djpeg.ppm";
      const auto reference = test::RunToNetpbm("djpeg -outfile " + test::Quote(out) + " " + test::Quote(images / name), out);
      ASSERT_TRUE(reference.has_value());
      EXPECT_EQ(test::MaxDifference(*ours, *reference, true, &where), 0) << where;
    }
  }
  EXPECT_FALSE(DecodeFile(images / "testorig12.jpg").has_value()) << "12-bit samples are not shown";
  ExpectTruncationsAreHarmless(&codecs::DecodeJpeg, test::ReadFileBytes(images / "testimgint.jpg"), "testimgint.jpg");
}

// ImageMagick writes its CMYK copy as Adobe YCCK (transform 2), inverted as Adobe stores it.
TEST(JpegTestImages, GreyscaleAndAdobeYcckMatchImageMagick) {
  REQUIRE_PACKAGE(dir, "libjpeg-turbo");
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
  test::TTempDir temp;
  const auto source = *dir / "testimages/testorig.jpg";
  const std::string convert = test::kImageMagick;
  ASSERT_EQ(std::system((convert + " " + test::Quote(source) + " -colorspace Gray " + test::Quote(temp / "grey.jpg")).c_str()), 0);
  ASSERT_EQ(std::system((convert + " " + test::Quote(source) + " -colorspace CMYK " + test::Quote(temp / "cmyk.jpg")).c_str()), 0);
  const auto grey = DecodeFile(temp / "grey.jpg");
  const auto greyReference = test::DecodeWithImageMagick(temp / "grey.jpg", temp);
  ASSERT_TRUE(grey && greyReference);
  EXPECT_EQ(test::MaxDifference(*grey, *greyReference, true), 0);
  const auto cmyk = DecodeFile(temp / "cmyk.jpg");
  const auto out = temp / "cmyk.ppm";
  const auto cmykReference =
      test::RunToNetpbm(convert + " " + test::Quote(temp / "cmyk.jpg") + " -colorspace sRGB -depth 8 ppm:" + test::Quote(out), out);
  ASSERT_TRUE(cmyk && cmykReference);
  std::string where;
  EXPECT_LE(test::MaxDifference(*cmyk, *cmykReference, false, &where), 2) << where;
}

TEST(TiffTestImages, MatchTheirReferencePicturesAndTheRestLoadOrFailCleanly) {
  REQUIRE_PACKAGE(dir, "tiff");
  const fs::path images = *dir / "test/images";
  const std::pair<const char*, const char*> pairs[] = {
      {"rgb-3c-8b.tiff", "rgb-3c-8b.ppm"},
      {"rgb-3c-16b.tiff", "rgb-3c-16b.ppm"},
      {"minisblack-1c-8b.tiff", "minisblack-1c-8b.pgm"},
      {"miniswhite-1c-1b.tiff", "miniswhite-1c-1b.pbm"},
  };
  for (const auto& [tiff, reference] : pairs) {
    SCOPED_TRACE(tiff);
    const auto ours = DecodeFile(images / tiff);
    const auto expected = test::ReadNetpbmFile(images / reference);
    ASSERT_TRUE(ours && expected);
    std::string where;
    EXPECT_LE(test::MaxDifference(*ours, *expected, true, &where), 1) << where;
  }
  // The palette files show the same picture as the 8-bit grey one.
  for (const char* name : {"palette-1c-8b.tiff", "quad-tile.jpg.tiff", "testfax4.tiff", "lzw-single-strip.tiff",
                           "ojpeg_zackthecat_subsamp22_single_strip.tiff", "minisblack-2c-8b-alpha.tiff"}) {
    EXPECT_TRUE(DecodeFile(images / name).has_value()) << name;
  }
  // Directory loops and odd layouts must end, one way or the other.
  for (const fs::path& file : Files(images, ".tif")) (void)DecodeFile(file);
  for (const fs::path& file : Files(images, ".tiff")) (void)DecodeFile(file);
  ExpectTruncationsAreHarmless(&codecs::DecodeTiff, test::ReadFileBytes(images / "rgb-3c-8b.tiff"), "rgb-3c-8b.tiff");
  ExpectTruncationsAreHarmless(&codecs::DecodeTiff, test::ReadFileBytes(images / "quad-tile.jpg.tiff"), "quad-tile");
}

TEST(GifTestImages, FirstFramesMatchGif2rgbDumpsAndTransparencyBecomesAlpha) {
  REQUIRE_PACKAGE(dir, "giflib");
  std::size_t checked = 0;
  // gif2rgb paints every frame of an animation into its dump; these are compared with
  // ImageMagick's first frame instead.
  const std::vector<std::string> animations = {"fire.gif", "welcome2.gif"};
  if (test::HaveImageMagick()) {
    test::TTempDir temp;
    for (const std::string& name : animations) {
      const auto ours = DecodeFile(*dir / "pic" / name);
      const auto reference = test::DecodeWithImageMagick(fs::path((*dir / "pic" / name).string() + "[0]"), temp);
      ASSERT_TRUE(ours && reference) << name;
      std::string where;
      EXPECT_EQ(test::MaxDifference(*ours, *reference, true, &where), 0) << name << " " << where;
    }
  }
  for (const fs::path& gif : Files(*dir / "pic", ".gif")) {
    const fs::path dump = *dir / "tests" / (gif.stem().string() + ".rgb");
    if (!fs::exists(dump) || std::count(animations.begin(), animations.end(), gif.filename().string()) != 0) continue;
    SCOPED_TRACE(gif.filename().string());
    const auto ours = DecodeFile(gif);
    ASSERT_TRUE(ours.has_value());
    const TBytes rgb = test::ReadFileBytes(dump);
    ASSERT_EQ(rgb.size(), std::size_t(ours->Width()) * std::size_t(ours->Height()) * 3);
    int mismatches = 0;
    for (int y = 0; y < ours->Height(); ++y) {
      for (int x = 0; x < ours->Width(); ++x) {
        const std::size_t at = (std::size_t(y) * std::size_t(ours->Width()) + std::size_t(x)) * 3;
        const TPixel p = ours->At(x, y);
        mismatches += (PixelR(p) != std::to_integer<int>(rgb[at]) || PixelG(p) != std::to_integer<int>(rgb[at + 1]) ||
                       PixelB(p) != std::to_integer<int>(rgb[at + 2]));
      }
    }
    EXPECT_EQ(mismatches, 0);
    ++checked;
  }
  EXPECT_GE(checked, 5u);
  const auto plain = DecodeFile(*dir / "pic/treescap.gif");
  const auto interlaced = DecodeFile(*dir / "pic/treescap-interlaced.gif");
  ASSERT_TRUE(plain && interlaced);
  EXPECT_EQ(*plain, *interlaced);
  const auto transparent = DecodeFile(*dir / "pic/x-trans.gif");
  ASSERT_TRUE(transparent.has_value());
  EXPECT_TRUE(std::any_of(transparent->Pixels().begin(), transparent->Pixels().end(), [](TPixel p) { return PixelA(p) == 0; }));
  EXPECT_TRUE(std::any_of(transparent->Pixels().begin(), transparent->Pixels().end(), [](TPixel p) { return PixelA(p) == 255; }));
  ExpectTruncationsAreHarmless(&codecs::DecodeGif, test::ReadFileBytes(*dir / "pic/porsche.gif"), "porsche.gif");
}

TEST(BitmapTestImages, LibjpegTurbosWindowsBitmapsLoad) {
  REQUIRE_PACKAGE(jpeg, "libjpeg-turbo");
  for (const fs::path& bmp : Files(*jpeg / "testimages", ".bmp")) {
    EXPECT_TRUE(DecodeFile(bmp).has_value()) << bmp;
  }
}

}  // namespace
}  // namespace lumora
