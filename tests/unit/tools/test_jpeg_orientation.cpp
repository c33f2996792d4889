// lumora-pack turns photos stored on their side upright: the same pixels as jpegtran's
// lossless transforms, the tag reset, a decode for sizes that allow no lossless turn,
// and --keep-orientation.
#include "jpeg_orientation.h"
#include "tools_test_support.h"

#include "show/show_payload.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdlib>

namespace lumora {
namespace {

using test::TBytes;

struct TImage {
  int W = 0;
  int H = 0;
  std::vector<unsigned char> Rgb;
};

void Put16(TBytes& b, unsigned v, bool big) {
  b.push_back(std::byte(big ? v >> 8 : v & 0xFF));
  b.push_back(std::byte(big ? v & 0xFF : v >> 8));
}
void Put32(TBytes& b, std::uint32_t v, bool big) {
  Put16(b, big ? v >> 16 : v & 0xFFFF, big);
  Put16(b, big ? v & 0xFFFF : v >> 16, big);
}

// A photo as a camera writes it: 4:2:0, JFIF, then an EXIF segment whose first IFD holds
// the maker and the orientation (in either byte order, as cameras differ).
TBytes CameraJpeg(int w, int h, int orientation, bool bigEndian) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      const bool block = (x / 11 + y / 7) % 3 == 0;
      p[0] = static_cast<unsigned char>(x * 255 / w);
      p[1] = static_cast<unsigned char>(block ? 230 : y * 200 / h);
      p[2] = static_cast<unsigned char>((x * 3 + y * 5) % 256);
    }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_420, 85, 0), 0);
  const TBytes plain(reinterpret_cast<std::byte*>(out), reinterpret_cast<std::byte*>(out) + size);
  tjFree(out);
  tjDestroy(tj);

  TBytes tiff;
  tiff.push_back(std::byte(bigEndian ? 'M' : 'I'));
  tiff.push_back(std::byte(bigEndian ? 'M' : 'I'));
  Put16(tiff, 42, bigEndian);
  Put32(tiff, 8, bigEndian);
  Put16(tiff, 2, bigEndian);
  Put16(tiff, 0x010F, bigEndian);  // Make, ASCII, 4 bytes held in the entry
  Put16(tiff, 2, bigEndian);
  Put32(tiff, 4, bigEndian);
  for (char c : {'C', 'a', 'm', '\0'}) tiff.push_back(std::byte(c));
  Put16(tiff, 0x0112, bigEndian);  // Orientation, SHORT
  Put16(tiff, 3, bigEndian);
  Put32(tiff, 1, bigEndian);
  Put16(tiff, static_cast<unsigned>(orientation), bigEndian);
  Put16(tiff, 0, bigEndian);
  Put32(tiff, 0, bigEndian);  // no next IFD
  TBytes app1 = test::BytesOf(std::string_view("\xFF\xE1\0\0Exif\0\0", 10));
  app1.insert(app1.end(), tiff.begin(), tiff.end());
  app1[2] = std::byte((app1.size() - 2) >> 8);
  app1[3] = std::byte((app1.size() - 2) & 0xFF);
  // After SOI and the JFIF segment.
  const std::size_t at = 2 + 2 + ((std::to_integer<std::size_t>(plain[4]) << 8) | std::to_integer<std::size_t>(plain[5]));
  TBytes jpeg(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(at));
  jpeg.insert(jpeg.end(), app1.begin(), app1.end());
  jpeg.insert(jpeg.end(), plain.begin() + static_cast<std::ptrdiff_t>(at), plain.end());
  return jpeg;
}

TImage Decode(const TBytes& jpeg) {
  TImage image;
  tjhandle tj = tjInitDecompress();
  int sub = 0, cs = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  EXPECT_EQ(tjDecompressHeader3(tj, data, jpeg.size(), &image.W, &image.H, &sub, &cs), 0);
  image.Rgb.resize(static_cast<std::size_t>(image.W) * image.H * 3);
  EXPECT_EQ(tjDecompress2(tj, data, jpeg.size(), image.Rgb.data(), image.W, 0, image.H, TJPF_RGB, 0), 0);
  tjDestroy(tj);
  return image;
}

bool Contains(const TBytes& bytes, std::string_view text) {
  return test::TextOf(bytes).find(text) != std::string::npos;
}

struct TTurn {
  int Orientation;
  const char* Jpegtran;
};

class UprightJpeg : public ::testing::TestWithParam<TTurn> {};

TEST_P(UprightJpeg, GivesJpegtransPixelsKeepsTheExifAndResetsTheTag) {
#ifndef LUMORA_JPEGTRAN
  GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) is not installed";
#else
  const TTurn turn = GetParam();
  test::TTempDir dir;
  const TBytes photo = CameraJpeg(96, 64, turn.Orientation, turn.Orientation % 2 == 0);
  ASSERT_EQ(pack::JpegOrientation(photo), turn.Orientation);
  test::WriteFileBytes(dir / "in.jpg", photo);
  const std::string command = std::string(LUMORA_JPEGTRAN) + " -copy all -perfect " + turn.Jpegtran + " -outfile \"" +
                              (dir / "want.jpg").string() + "\" \"" + (dir / "in.jpg").string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const TImage want = Decode(test::ReadFileBytes(dir / "want.jpg"));

  const std::optional<pack::TUprightJpeg> upright = pack::UprightJpeg(photo);
  ASSERT_TRUE(upright);
  EXPECT_TRUE(upright->Lossless);
  EXPECT_EQ(pack::JpegOrientation(upright->Bytes), 1);
  EXPECT_TRUE(Contains(upright->Bytes, "Cam"));
  const TImage got = Decode(upright->Bytes);
  EXPECT_EQ(got.W, want.W);
  EXPECT_EQ(got.H, want.H);
  EXPECT_TRUE(got.Rgb == want.Rgb);
#endif
}

INSTANTIATE_TEST_SUITE_P(Orientations, UprightJpeg,
                         ::testing::Values(TTurn{2, "-flip horizontal"}, TTurn{3, "-rotate 180"},
                                           TTurn{4, "-flip vertical"}, TTurn{5, "-transpose"},
                                           TTurn{6, "-rotate 90"}, TTurn{7, "-transverse"},
                                           TTurn{8, "-rotate 270"}),
                         [](const auto& info) { return "Orientation" + std::to_string(info.param.Orientation); });

TEST(UprightJpegFallback, UprightAsStoredOrNoTagIsLeftAlone) {
  EXPECT_FALSE(pack::UprightJpeg(CameraJpeg(32, 16, 1, false)));
  EXPECT_EQ(pack::JpegOrientation(test::BytesOf("\xFF\xD8\xFF\xE1\x00\x02")), 0);
  EXPECT_EQ(pack::JpegOrientation(test::BytesOf("GIF89a")), 0);
}

// A size of no whole number of blocks is decoded, turned and compressed again: every
// pixel kept (nothing cropped), close to the original.
TEST(UprightJpegFallback, AnOddSizeIsTurnedByDecodingWithoutCropping) {
  const TBytes photo = CameraJpeg(90, 61, 6, false);
  const TImage before = Decode(photo);
  const std::optional<pack::TUprightJpeg> upright = pack::UprightJpeg(photo);
  ASSERT_TRUE(upright);
  EXPECT_FALSE(upright->Lossless);
  EXPECT_EQ(pack::JpegOrientation(upright->Bytes), 1);
  EXPECT_TRUE(Contains(upright->Bytes, "Cam"));
  const TImage after = Decode(upright->Bytes);
  ASSERT_EQ(after.W, 61);
  ASSERT_EQ(after.H, 90);
  long long diff = 0;
  for (int y = 0; y < after.H; ++y)
    for (int x = 0; x < after.W; ++x)
      for (int c = 0; c < 3; ++c)  // 90 degrees clockwise: (x, y) comes from (y, h - 1 - x)
        diff += std::abs(after.Rgb[(static_cast<std::size_t>(y) * after.W + x) * 3 + c] -
                         before.Rgb[(static_cast<std::size_t>(before.H - 1 - x) * before.W + y) * 3 + c]);
  EXPECT_LT(static_cast<double>(diff) / static_cast<double>(after.Rgb.size()), 8.0)
      << "a turn the wrong way gives tens";
}

TBytes PackedEntry(const std::filesystem::path& scr, std::size_t index) {
  const auto file = platform::OpenPosixReadableFile(scr);
  const TPayloadReport report = InspectPayload(*file);
  TBytes inflated;
  EXPECT_EQ(InflateEntry(*file, report.Entries.at(index).Position, report.Entries.at(index).StoredSize,
                         [&](std::span<const std::byte> c) {
                           inflated.insert(inflated.end(), c.begin(), c.end());
                           return true;
                         }, true),
            TEntryStatus::Ok);
  return inflated;
}

TEST(PackOrientation, PortraitsAreStoredUprightUnlessKeptAndSaySo) {
  test::TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=side.jpg\r\n[Pic2]\r\nPicFileName=broken.jpg\r\n");
  const TBytes side = CameraJpeg(96, 64, 8, true);
  // The EXIF segment, then the end: no frame to turn.
  TBytes broken = CameraJpeg(96, 64, 6, false);
  broken.resize(test::TextOf(broken).find("\xFF\xDB"));
  for (const char c : {'\xFF', '\xD9'}) broken.push_back(std::byte(c));
  f.File("side.jpg", side);
  f.File("broken.jpg", broken);

  const pack::TPackResult result = f.Pack();
  EXPECT_EQ(PackedEntry(f.Out(), 0), pack::UprightJpeg(side)->Bytes);
  EXPECT_EQ(PackedEntry(f.Out(), 1), broken);
  ASSERT_EQ(result.Notes.size(), 1u);
  EXPECT_NE(result.Notes[0].find("\"side.jpg\": EXIF orientation 8: stored upright, turned 90 degrees "
                                 "counter-clockwise without loss"),
            std::string::npos);
  ASSERT_EQ(result.Warnings.size(), 1u);
  EXPECT_NE(result.Warnings[0].find("\"broken.jpg\": EXIF orientation 6: cannot be turned upright"), std::string::npos);

  pack::TPackOptions keep = f.Options("kept.scr");
  keep.KeepOrientation = true;
  const pack::TPackResult kept = pack::PackShow(f.Fs(), keep);
  EXPECT_EQ(PackedEntry(f.Out("kept.scr"), 0), side);
  EXPECT_TRUE(kept.Notes.empty());
  EXPECT_TRUE(kept.Warnings.empty());
}

}  // namespace
}  // namespace lumora
