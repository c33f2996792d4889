// An exit while a 24-megapixel picture loads: the show pumps its messages every few
// milliseconds of inflating and decoding, and the exit stops the work at the next check,
// abandons the item and finishes the show once, leaving no file.
#include "show_rig.h"
#include "support/test_jpeg.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using testing::TShowRig;

constexpr int kWidth = 6000, kHeight = 4000;

test::TBytes LargeJpeg() {
  TBitmap32 b(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) b.At(x, y) = MakePixel(std::uint8_t(x / 24), std::uint8_t(y / 16), 128);
  return test::EncodeJpeg(b, 80);
}

TEST(ShowExit, ExitWhileALargePictureLoadsStopsAtTheNextCheckAndFinishesOnce) {
  struct TCase {
    const char* Name;
    const char* Extension;
    bool Inflating;  // the exit comes while the entry inflates, not while it decodes
    int ExitAtPump;  // of the pumps in that stretch
  };
  // The entry inflates into memory, asking the check after every MiB inflated: at most
  // that many pumps come before the decode's.
  const auto inflatingPumps = [](const test::TBytes& file) { return static_cast<int>(file.size() >> 20); };
  const test::TBytes jpeg = LargeJpeg();
  const test::TBytes bmp = test::MakeBmp24(kWidth, kHeight, [](int x, int y) { return std::uint32_t((x + y) & 0xFF); });
  for (const TCase& c : {TCase{"decoding a JPEG", ".jpg", false, 2}, TCase{"inflating a bitmap", ".bmp", true, 3}}) {
    SCOPED_TRACE(c.Name);
    const test::TBytes& file = c.Inflating ? bmp : jpeg;
    TShowRig rig;
    const auto ref = rig.Writer.AddEntry(file);
    rig.Finish("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n[Background]\r\nBgStyle=0\r\n"
               "[Pic1]\r\nPicFileName=" +
               std::string(c.Extension) + "\r\n" + TShowRig::EntryKeys(ref) + "ShowInStyle=0\r\n");
    rig.Start();
    // The pumps before the exit: within the inflation, or past every pump it may ask for.
    const int exitAt = c.Inflating ? c.ExitAtPump : inflatingPumps(file) + c.ExitAtPump;
    int pumps = 0, pumpsAfterExit = 0;
    rig.System.OnProcessMessages = [&] {
      if (rig.Show->Flags().ExitPending) ++pumpsAfterExit;
      EXPECT_NE(ExtractionsInProgress(), 0);
      EXPECT_TRUE(rig.TempFiles().empty()) << "the picture is inflated and decoded in memory";
      if (++pumps == exitAt) rig.Key();
    };
    rig.Clock.AdvanceToNextTimer();
    EXPECT_EQ(pumps, exitAt) << "the work stopped at the check after the exit";
    EXPECT_EQ(pumpsAfterExit, 0);
    EXPECT_TRUE(rig.Show->Flags().ExitPending);
    EXPECT_EQ(rig.Form.Closes, 1);
    EXPECT_TRUE(rig.TempFiles().empty());
    EXPECT_EQ(ExtractionsInProgress(), 0);
    EXPECT_TRUE(rig.View.Picture().Empty()) << "the item was abandoned";
    EXPECT_FALSE(rig.View.Showing());
    EXPECT_FALSE(rig.Show->Flags().ItemBusy);
    EXPECT_FALSE(rig.Show->timScr().Enabled());
    rig.Show->timScrTimer();
    rig.Show->trpScrViewShowInComplete();
    EXPECT_EQ(rig.Form.Closes, 1) << "finished once";
  }
}

// Without an exit the same picture decodes whole (the checks above are not the end of
// the file), asking its check about every half a megapixel.
TEST(ShowExit, ALargePictureDecodesWholeAskingItsCheckEveryFewMilliseconds) {
  const test::TTempDir dir;
  test::WriteFileBytes(dir / "large.jpg", LargeJpeg());
  int checks = 0;
  codecs::TDecodeRequest request;
  request.Continue = [&] { return ++checks > 0; };
  TPicture picture;
  ASSERT_TRUE(picture.LoadFromFile(dir / "large.jpg", request));
  EXPECT_EQ(picture.Bitmap().Width(), kWidth);
  EXPECT_GE(checks, kWidth * kHeight / (1 << 19) - 1);
  EXPECT_LE(checks, kWidth * kHeight / (1 << 19) + 1);
}

}  // namespace
}  // namespace lumora
