// The next item's picture decoded ahead on a worker while an item is on screen: the same
// frames as without it (a picture that fails ahead fails at its turn as before), and an
// exit meanwhile stops it at its next check with no file left.
#include "show_rig.h"
#include "support/test_jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

namespace lumora {
namespace {

using testing::TShowRig;

std::uint64_t Hash(const TBitmap32& bitmap) {
  std::uint64_t h = 1469598103934665603ull;
  for (const TPixel p : bitmap.Pixels()) h = (h ^ p) * 1099511628211ull;
  return h;
}

std::string Item(const test::TPayloadWriter::TRef& ref, std::string_view extra) {
  return "PicFileName=.jpg\r\n" + TShowRig::EntryKeys(ref) + "IsPicFloat=0\r\nPicInterval=1\r\n" + std::string(extra);
}

void Build(TShowRig& rig, const std::vector<std::string>& items, std::string_view settings = "") {
  std::string text = "[AppInfo]\r\nPicCount=" + std::to_string(items.size()) +
                     "\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n" + std::string(settings) +
                     "[Background]\r\nBgStyle=0\r\nBgSolidColor=00402010\r\n";
  for (std::size_t i = 0; i < items.size(); ++i) text += "[Pic" + std::to_string(i + 1) + "]\r\n" + items[i];
  rig.Finish(text);
}

struct TRun {
  std::vector<std::uint64_t> Frames;  // the screen every 5 ms of the transitions
  std::vector<std::int32_t> Items;    // the item of each tick
  std::ptrdiff_t DoneAhead = 0;       // pictures decoded ahead (the show's workers of lower priority)
};

// Eight ticks of a shuffled show: a full-window photo with effects, a picture that no
// decoder reads (its header passes the early check), and one at its own size at a random
// place. In the preview the pictures are held at the screen's scale and drawn smaller.
TRun Play(bool workAhead, const std::string& runMode, platform::TSize client) {
  TShowRig rig(runMode, client, {320, 240}, true);
  rig.WorkAhead = workAhead;
  const auto photo = rig.Writer.AddEntry(test::EncodeJpeg(test::PhotoLikePicture(640, 480), 85));
  test::TBytes damaged = test::BytesOf("\xFF\xD8\xFF\xE0");
  damaged.resize(3000, std::byte{0x5A});
  const auto broken = rig.Writer.AddEntry(damaged);
  const auto small = rig.Writer.AddEntry(test::EncodeJpeg(test::PhotoLikePicture(200, 150), 85));
  Build(rig,
        {Item(photo, "PicSize=1\r\nShowInStyle=5\r\nShowOutStyle=12\r\nShowSpeed=6\r\n"),
         Item(broken, "ShowInStyle=0\r\nShowOutStyle=0\r\n"),
         Item(small, "PicPos=0\r\nShowInStyle=0\r\nShowOutStyle=30\r\nShowSpeed=6\r\nIsClsBeforeNext=0\r\n")},
        "IsPicRamOrder=1\r\n");
  rig.Start();
  TRun run;
  for (int tick = 0; tick < 8; ++tick) {
    rig.Threads.RunUntilIdle();
    EXPECT_FALSE(rig.Show->WorkingAhead());
    EXPECT_TRUE(rig.Clock.AdvanceToNextTimer());
    run.Items.push_back(rig.Show->CurrentIndex());
    for (int guard = 0; !rig.Show->timScr().Enabled() && guard < 2000; ++guard) {
      rig.Threads.RunFor(5);
      run.Frames.push_back(Hash(rig.Surface.Screen()));
    }
    EXPECT_TRUE(rig.Show->timScr().Enabled());
  }
  rig.Show->FormClose();
  EXPECT_TRUE(rig.TempFiles().empty());
  const auto& priorities = rig.Threads.Priorities();
  run.DoneAhead = std::count(priorities.begin(), priorities.end(), platform::TWorkerPriority::Lower);
  return run;
}

TEST(WorkAhead, FramesAreTheSameWithAndWithoutDecodingAheadAFailingPictureIncluded) {
  for (const auto& [runMode, client] : {std::pair<std::string, platform::TSize>{"S", {320, 240}}, {"P", {160, 120}}}) {
    SCOPED_TRACE(runMode);
    const TRun plain = Play(false, runMode, client);
    const TRun ahead = Play(true, runMode, client);
    EXPECT_EQ(plain.DoneAhead, 0);
    EXPECT_GE(ahead.DoneAhead, 8) << "every picture loaded on a worker";
    EXPECT_EQ(ahead.Items, plain.Items) << "the same sequence";
    ASSERT_EQ(ahead.Frames.size(), plain.Frames.size());
    for (std::size_t i = 0; i < plain.Frames.size(); ++i) ASSERT_EQ(ahead.Frames[i], plain.Frames[i]) << "frame " << i;
  }
}

TEST(WorkAhead, AnExitWhileTheNextPictureDecodesAheadStopsItAtOnceAndLeavesNoFile) {
  TShowRig rig("S", {320, 240}, {320, 240}, true);
  const auto first = rig.Writer.AddEntry(test::EncodeJpeg(test::PhotoLikePicture(64, 48), 85));
  const auto large = rig.Writer.AddEntry(test::EncodeJpeg(test::PhotoLikePicture(2400, 1800), 85));
  Build(rig, {Item(first, "ShowInStyle=0\r\n"), Item(large, "PicSize=1\r\nShowInStyle=0\r\n")});
  rig.Start();
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Show->timScr().Enabled(); }));
  ASSERT_TRUE(rig.Show->WorkingAhead());
  // A few checks into the decode of the second picture.
  const std::uint64_t start = rig.Threads.SynchronizedCalls();
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Threads.SynchronizedCalls() >= start + 3; }));
  EXPECT_TRUE(rig.TempFiles().empty()) << "a JPEG decodes in memory";
  EXPECT_EQ(ExtractionsInProgress(), 0) << "work ahead holds no exit back";

  const std::uint64_t atExit = rig.Threads.SynchronizedCalls();
  rig.Key();
  EXPECT_EQ(rig.Form.Closes, 1) << "the exit is granted at once";
  rig.Show->FormClose();
  EXPECT_EQ(rig.Threads.SynchronizedCalls(), atExit) << "the worker stopped at its next check";
  EXPECT_FALSE(rig.Show->WorkingAhead());
  EXPECT_TRUE(rig.TempFiles().empty());
}

}  // namespace
}  // namespace lumora
