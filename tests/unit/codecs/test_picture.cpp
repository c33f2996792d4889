// Picture loading: the extension table, the size limit, the metafile hook and the
// Windows bitmap reader.
#include "imaging/codecs/codec_table.h"
#include "imaging/picture.h"
#include "platform/headless/headless_metafile.h"
#include "codec_test_support.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace lumora {
namespace {

std::uint32_t Diagonal(int x, int y) { return x == y ? 0x0000FFu : 0xFFFFFFu; }

TEST(CodecTable, ExtensionsMatchWithoutRegardToCaseAndUnknownOnesFail) {
  ASSERT_NE(codecs::FindCodec(".BMP"), nullptr);
  EXPECT_EQ(codecs::FindCodec("Dib"), codecs::FindCodec("bmp") == nullptr ? nullptr : codecs::FindCodec("dib"));
  EXPECT_NE(codecs::FindCodec(".JpEg"), nullptr);
  EXPECT_EQ(codecs::FindCodec(""), nullptr);
  EXPECT_EQ(codecs::FindCodec("."), nullptr);
  EXPECT_EQ(codecs::FindCodec(".webp"), nullptr);
  EXPECT_EQ(codecs::CodecTable().size(), 40u) << "one line per extension of the format table";
  // Every format of the table is built.
  for (const codecs::TCodecEntry& entry : codecs::CodecTable()) EXPECT_NE(entry.Decode, nullptr) << entry.Extension;
}

test::TBytes Bytes(std::initializer_list<int> values) {
  test::TBytes out;
  for (int v : values) out.push_back(std::byte(v));
  return out;
}

void Append(test::TBytes& to, const test::TBytes& more) { to.insert(to.end(), more.begin(), more.end()); }

void AppendBigEndian32(test::TBytes& to, std::uint32_t v) {
  Append(to, Bytes({int(v >> 24), int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)}));
}

// Headers that declare pictures beyond the limit are refused before the pixels are
// allocated, by every decoder.
TEST(PictureSizeLimit, EveryDecoderRefusesHugeDeclaredSizes) {
  EXPECT_TRUE(codecs::PictureSizeAllowed(16384, 4096));
  EXPECT_TRUE(codecs::PictureSizeAllowed(8192, 8192));
  EXPECT_FALSE(codecs::PictureSizeAllowed(16384, 16384)) << "2^28 pixels would hold a gigabyte a copy";
  EXPECT_FALSE(codecs::PictureSizeAllowed(16385, 1));
  EXPECT_FALSE(codecs::PictureSizeAllowed(16384, 16385));
  EXPECT_FALSE(codecs::PictureSizeAllowed(0, 5));
  TBitmap32 out;

  // PNG: signature and an IHDR of 20000 x 20000, 8-bit RGB, with its checksum.
  test::TBytes png = Bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10});
  test::TBytes ihdr = Bytes({'I', 'H', 'D', 'R'});
  AppendBigEndian32(ihdr, 20000);
  AppendBigEndian32(ihdr, 20000);
  Append(ihdr, Bytes({8, 2, 0, 0, 0}));
  AppendBigEndian32(png, 13);
  Append(png, ihdr);
  AppendBigEndian32(png, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), 17)));
  EXPECT_FALSE(codecs::DecodePng(png, out));

  // GIF: a logical screen of 20000 x 20000 and one 1 x 1 frame.
  const test::TBytes gif = Bytes({'G', 'I', 'F', '8', '9', 'a', 0x20, 0x4E, 0x20, 0x4E, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0,
                                  1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
  EXPECT_FALSE(codecs::DecodeGif(gif, out));

  // JPEG: a frame header of 20000 x 20000 followed by a scan header.
  const test::TBytes jpeg = Bytes({0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0x4E, 0x20, 0x4E, 0x20, 1, 1, 0x11, 0, 0xFF, 0xDA, 0,
                                   8, 1, 1, 0, 0, 63, 0, 0, 0, 0xFF, 0xD9});
  EXPECT_FALSE(codecs::DecodeJpeg(jpeg, out));

  // TIFF: one directory with width and length 20000.
  const test::TBytes tiff = Bytes({'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0,
                                   0x00, 0x01, 4, 0, 1, 0, 0, 0, 0x20, 0x4E, 0, 0,  // ImageWidth
                                   0x01, 0x01, 4, 0, 1, 0, 0, 0, 0x20, 0x4E, 0, 0,  // ImageLength
                                   0, 0, 0, 0});
  EXPECT_FALSE(codecs::DecodeTiff(tiff, out));
  EXPECT_TRUE(out.Empty()) << "a failed decode leaves the output alone";
}

// A renderer that paints a 3 x 2 frame and remembers what it was asked.
class TFakeRenderer final : public platform::IMetafileRenderer {
 public:
  bool Render(std::span<const std::byte> data, platform::TMetafileKind kind, const platform::TMetafileLimits& limits,
              platform::TRenderedMetafile& out) override {
    LastKind = kind;
    LastLimits = limits;
    out.Width = 3;
    out.Height = 2;
    out.Pixels.assign(6, 0xFF102030u);
    return !data.empty();
  }
  platform::TMetafileKind LastKind = platform::TMetafileKind::Windows;
  platform::TMetafileLimits LastLimits;
};

TEST(Picture, MetafilesLoadOnlyThroughTheBackendsRenderer) {
  test::TTempDir dir;
  test::WriteFileBytes(dir / "a.WMF", test::BytesOf("metafile bytes"));
  test::WriteFileBytes(dir / "a.emf", test::BytesOf("enhanced bytes"));
  TPicture picture;
  codecs::SetMetafileRenderer(nullptr);
  EXPECT_FALSE(picture.LoadFromFile(dir / "a.WMF")) << "no renderer: no metafiles";
  platform::THeadlessMetafileRenderer headless;
  codecs::SetMetafileRenderer(&headless);
  EXPECT_FALSE(picture.LoadFromFile(dir / "a.emf")) << "the headless backend has no metafile player";

  TFakeRenderer fake;
  codecs::SetMetafileRenderer(&fake);
  ASSERT_TRUE(picture.LoadFromFile(dir / "a.WMF"));
  EXPECT_EQ(fake.LastKind, platform::TMetafileKind::Windows);
  EXPECT_EQ(fake.LastLimits.MaxSide, codecs::kMaxPictureSide);
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.Bitmap().At(2, 1), 0xFF102030u);
  ASSERT_TRUE(picture.LoadFromFile(dir / "a.emf"));
  EXPECT_EQ(fake.LastKind, platform::TMetafileKind::Enhanced);
  codecs::SetMetafileRenderer(nullptr);
}

TEST(Picture, LoadsABitmapFileByItsExtension) {
  test::TTempDir dir;
  const auto bmp = test::MakeBmp24(5, 4, Diagonal);
  test::WriteFileBytes(dir / "p.Bmp", bmp);
  test::WriteFileBytes(dir / "p.txt", bmp);
  TPicture picture;
  EXPECT_FALSE(picture.LoadFromFile(dir / "p.txt"));
  EXPECT_FALSE(picture.LoadFromFile(dir / "missing.bmp"));
  ASSERT_TRUE(picture.LoadFromFile(dir / "p.Bmp"));
  EXPECT_TRUE(picture.Opaque()) << "no transparent pixel: the picture may be drawn as it is";
  EXPECT_EQ(picture.Width(), 5);
  EXPECT_EQ(picture.Height(), 4);
  EXPECT_EQ(picture.Bitmap().At(3, 3), MakePixel(0, 0, 255));
  EXPECT_EQ(picture.Bitmap().At(4, 3), MakePixel(255, 255, 255));
}

TEST(Picture, DamagedBitmapsFailAndLeaveThePictureAsItWas) {
  auto bmp = test::MakeBmp24(3, 3, Diagonal);
  TPicture picture;
  ASSERT_TRUE(picture.LoadBitmapFromMemory(bmp));
  auto truncated = bmp;
  truncated.resize(bmp.size() - 5);
  EXPECT_FALSE(picture.LoadBitmapFromMemory(truncated));
  auto huge = bmp;
  huge[18] = std::byte{0xFF};  // width 255 + 3 * 256... far beyond the data
  huge[19] = std::byte{0xFF};
  huge[20] = std::byte{0xFF};
  huge[21] = std::byte{0x7F};
  EXPECT_FALSE(picture.LoadBitmapFromMemory(huge));
  EXPECT_FALSE(picture.LoadBitmapFromMemory(test::BytesOf("BM")));
  EXPECT_EQ(picture.Width(), 3);
}

// A file of zeros of size bytes, sparse on disk.
void WriteZeros(const std::filesystem::path& path, std::uintmax_t size, const test::TBytes& prefix = {}) {
  test::WriteFileBytes(path, prefix);
  std::filesystem::resize_file(path, size);
}

// Headers decide before the file is read: a large file that is not a picture of its
// extension's format is refused from its first bytes, and a picture with a large tail
// of other data is read only as far as its format needs.
TEST(PictureHeaderCheck, LargeFilesAreJudgedByTheirHeaderAndReadOnlyAsFarAsNeeded) {
  const test::TBytes zeros(codecs::TProbeSource::kHeadSize);
  for (const codecs::TCodecEntry& codec : codecs::CodecTable()) {
    if (codec.Decode == nullptr || codec.Probe == nullptr) continue;
    std::uint64_t readBeyondHead = 0;
    const codecs::TProbeSource source(zeros, std::uint64_t(1) << 30, [&](std::uint64_t, std::span<std::byte> out) {
      readBeyondHead += out.size();
      return true;
    });
    EXPECT_FALSE(codecs::ProbeFile(codec, source)) << codec.Extension << ": zeros are no picture";
    EXPECT_EQ(readBeyondHead, 0u) << codec.Extension;
  }
  const codecs::TCodecEntry noCheck{"x", "no check", &codecs::DecodeWindowsBitmap};
  EXPECT_EQ(codecs::ProbeFile(noCheck, codecs::TProbeSource(zeros, 5000)), 5000u) << "no check: the whole file";

  const test::TBytes gif = Bytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4, 1, 0, 0, 0, 0,
                                  0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
  struct TCase {
    const char* Extension;
    test::TBytes Picture;
    std::size_t Needed;  // bytes the decoder needs
  };
  const test::TBytes bmp = test::MakeBmp24(5, 4, Diagonal);
  const test::TBytes png = test::MakeGreyPng(7, 3);
  // A bitmap needs no padding after its last row, a GIF nothing after its first frame.
  const TCase cases[] = {{"bmp", bmp, bmp.size() - 1}, {"png", png, png.size()}, {"gif", gif, gif.size() - 1}};
  test::TTempDir dir;
  for (const TCase& c : cases) {
    test::TBytes withTail = c.Picture;
    withTail.resize(withTail.size() + 100000, std::byte{0x5A});
    EXPECT_EQ(codecs::ProbeFile(*codecs::FindCodec(c.Extension), codecs::TProbeSource(withTail)), c.Needed)
        << c.Extension;
    // Beyond the largest file that is read whole: only the picture's bytes are read.
    const auto path = dir / (std::string("tail.") + c.Extension);
    WriteZeros(path, (std::uintmax_t(1) << 31) + 4096, c.Picture);
    TPicture picture;
    EXPECT_TRUE(picture.LoadFromFile(path)) << c.Extension;
    EXPECT_FALSE(picture.Empty()) << c.Extension;
    WriteZeros(path, std::uintmax_t(1) << 30);
    EXPECT_FALSE(picture.LoadFromFile(path)) << c.Extension << ": zeros";
  }
}

// Every format with a header of its own refuses a large file of zeros after one small
// read, so such an entry is neither read whole nor inflated whole.
TEST(PictureHeaderCheck, EveryCheckedFormatRefusesAFileOfZeros) {
  const std::vector<std::byte> zeros(codecs::TProbeSource::kHeadSize);
  const codecs::TProbeSource file(zeros, std::uint64_t(1) << 30);
  for (const codecs::TCodecEntry& codec : codecs::CodecTable()) {
    if (codec.Probe == nullptr) continue;
    EXPECT_FALSE(codecs::ProbeFile(codec, file).has_value()) << codec.Extension;
  }
  int unchecked = 0;
  for (const codecs::TCodecEntry& codec : codecs::CodecTable()) unchecked += codec.Probe == nullptr;
  EXPECT_EQ(unchecked, 2) << "only the metafiles, which the platform renders, go unchecked";
}

}  // namespace
}  // namespace lumora
