// Picture loading: the extension table and the Windows bitmap reader.
#include "imaging/codecs/codec_table.h"
#include "imaging/picture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lumora
