// Video items in a show on the headless platform: how they leave the item before them,
// how often they play, when the next item follows, the music under them, and the items
// that cannot play.
#include "media_rig.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using testing::TMediaRig;
using testing::TShowRig;

std::string Picture(TMediaRig& rig, std::uint32_t rgb, std::string_view extra = "") {
  return "PicFileName=.bmp\r\n" + TShowRig::EntryKeys(rig.AddPicture(40, 30, rgb)) +
         "ShowInStyle=0\r\nShowOutStyle=0\r\nPicInterval=1\r\n" + std::string(extra);
}

std::string Video(TMediaRig& rig, std::string_view label, std::string_view extra = "") {
  return "PicFileName=.avi\r\nMediaStyle=1\r\n" + TShowRig::EntryKeys(rig.Writer.AddEntry(test::BytesOf(label))) +
         "IsClsBeforeNext=1\r\nPicPos=1\r\n" + std::string(extra);
}

// A movie of 160 x 120 pixels; the rig's control plays it in 1000 ms (100 frames of 10 ms,
// from frame 1 to frame 99).
std::string Movie(TMediaRig& rig, std::string_view extra = "") {
  rig.ActiveX.FrameInterval = 10;
  return "PicFileName=.SWF\r\nMediaStyle=1\r\n" + TShowRig::EntryKeys(rig.Writer.AddEntry(testing::MovieHeader(3200, 2400))) +
         "IsClsBeforeNext=1\r\nPicPos=1\r\n" + std::string(extra);
}

void Build(TMediaRig& rig, const std::vector<std::string>& items, std::string_view sounds = "") {
  std::string text = "[AppInfo]\r\nPicCount=" + std::to_string(items.size()) +
                     "\r\nSndCount=" + (sounds.empty() ? "0" : "1") +
                     "\r\n[Settings]\r\nIsUseSplash=0\r\n[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n";
  for (std::size_t i = 0; i < items.size(); ++i) text += "[Pic" + std::to_string(i + 1) + "]\r\n" + items[i];
  if (!sounds.empty()) text += "[Snd]\r\n" + std::string(sounds);
  rig.Finish(text);
}

// Advances tick by tick until the show puts item index on the view; its time, or 0.
std::uint64_t RunUntilItem(TMediaRig& rig, int index, std::uint64_t limit = 60000) {
  while (rig.Clock.Now() < limit) {
    if (!rig.Clock.AdvanceToNextTimer()) return 0;
    if (rig.Show->CurrentIndex() == index) return rig.Clock.Now();
  }
  return 0;
}

constexpr std::string_view kOneSecond = "video 160 120 25 1000";

TEST(MediaItems, PictureVideoPictureShowsTheVideoRepeatTimesAndThenTheSecondPicture) {
  for (const int repeat : {1, 2, 3}) {
    SCOPED_TRACE(repeat);
    TMediaRig rig;
    Build(rig, {Picture(rig, 0xFF0000), Video(rig, kOneSecond, "RepeatTimes=" + std::to_string(repeat) + "\r\n"),
                Picture(rig, 0x00FF00)});
    rig.Start();
    ASSERT_EQ(RunUntilItem(rig, 1), 1050u);
    ASSERT_NE(rig.Player, nullptr);
    EXPECT_EQ(rig.Count("Open"), 1);
    EXPECT_FALSE(rig.View.PicShown()) << "the picture left with its show-out";
    const auto* panel = rig.Panel(rig.Host().MediaPanel());
    EXPECT_TRUE(panel->Showing());
    EXPECT_EQ(panel->Bounds(), (TRect{80, 60, 240, 180}));
    EXPECT_EQ(rig.Player->DisplayWindow(), rig.Host().VideoPanel()->Handle());
    EXPECT_EQ(rig.Player->Destination(), (TRect{0, 0, 160, 120}));

    // Each play lasts 1000 ms; after the last one the picture's interval of 1 s runs out.
    EXPECT_EQ(RunUntilItem(rig, 2), 2050u + 1000u * std::uint64_t(repeat));
    EXPECT_EQ(int(rig.Player->Played.size()), repeat);
    EXPECT_EQ(rig.Count("Rewind"), repeat - 1);
    EXPECT_EQ(rig.Count("Close"), 1);
    EXPECT_FALSE(panel->Showing());
    EXPECT_EQ(rig.Show->PlayCount(), 0);
    EXPECT_EQ(rig.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x00FF00u) << "the second picture, not the first again";
  }
}

TEST(MediaItems, RepeatTimesZeroLoopsUntilExit) {
  TMediaRig rig;
  Build(rig, {Picture(rig, 0xFF0000), Video(rig, kOneSecond, "RepeatTimes=0\r\n")});
  rig.Start();
  ASSERT_EQ(RunUntilItem(rig, 1), 1050u);
  rig.Clock.AdvanceBy(10000);
  EXPECT_EQ(rig.Show->CurrentIndex(), 1);
  EXPECT_EQ(rig.Player->Played.size(), 11u);
  EXPECT_FALSE(rig.Show->timScr().Enabled());
  rig.Key(platform::kVkEscape);
  EXPECT_EQ(rig.Form.Closes, 1);
}

TEST(MediaItems, AVideoAfterAPictureWaitsForTheShowOut) {
  TMediaRig rig({320, 240}, {320, 240}, true);
  Build(rig, {"PicFileName=.bmp\r\n" + TShowRig::EntryKeys(rig.AddPicture(40, 30, 0xFF0000)) +
                  "ShowInStyle=1\r\nShowOutStyle=3\r\nShowSpeed=5\r\nPicInterval=1\r\nIsPicFloat=0\r\n",
              Video(rig, kOneSecond)});
  rig.Start();
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Show->timScr().Enabled(); }));
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  ASSERT_EQ(rig.Show->CurrentIndex(), 1);
  EXPECT_TRUE(rig.Show->Flags().FlashAfterShowOut);
  EXPECT_EQ(rig.Count("Open"), 0);
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return !rig.Show->Flags().FlashAfterShowOut; }));
  EXPECT_EQ(rig.Count("Open"), 1);
  EXPECT_EQ(rig.Player->Played.size(), 1u);
  EXPECT_FALSE(rig.View.PicShown());
}

TEST(MediaItems, TwoVideosInARowCloseTheFirstAndStartTheSecondAtOnce) {
  TMediaRig rig;
  Build(rig, {Picture(rig, 0xFF0000), Video(rig, kOneSecond), Video(rig, "video 320 240 10 500", "PicPos=2\r\n")});
  rig.Start();
  ASSERT_EQ(RunUntilItem(rig, 1), 1050u);
  const std::uint64_t second = RunUntilItem(rig, 2);
  EXPECT_EQ(second, 3050u);
  EXPECT_EQ(rig.Player->Calls.back(), "Play+") << "opened and playing in the same tick";
  EXPECT_EQ(rig.Count("Close"), 1);
  EXPECT_EQ(rig.Count("Open"), 2);
  EXPECT_EQ(rig.Host().MediaPanel()->Bounds(), (TRect{0, 0, 320, 240}));
}

TEST(MediaItems, MusicPausedByAVideoOrMovieResumesAtTheNextPictureOnly) {
 for (const bool movie : {false, true}) {
  SCOPED_TRACE(movie);
  TMediaRig rig;
  const auto sound = rig.Writer.AddEntry(test::BytesOf("tune"));
  const auto media = [&](std::string_view extra) { return movie ? Movie(rig, extra) : Video(rig, kOneSecond, extra); };
  Build(rig,
        {Picture(rig, 0xFF0000), media("IsSuspendBgMusic=1\r\n"), media("IsSuspendBgMusic=0\r\n"),
         Picture(rig, 0x00FF00)},
        "SndFileName1=.wav\r\nFilePos1=" + std::to_string(sound.Position) + "\r\nFileSize1=" +
            std::to_string(sound.StoredSize) + "\r\n");
  platform::THeadlessMediaPlayer music(rig.Clock);
  music.Media = [](const std::filesystem::path&) { return platform::THeadlessMediaPlayer::TMedium{1000000}; };
  rig.Show = std::make_unique<TMainFrmShow>(
      TShowPlatform{rig.Files, rig.System, rig.System, rig.System, rig.Clock, rig.Messages, rig.Random}, rig.Form,
      rig.View, "S");
  rig.Show->SetMusicPlatform(TMusicPlatform{rig.Files, music, [] {}, [&](std::uint32_t ms) { rig.Clock.AdvanceBy(ms); },
                                            [&] { return static_cast<std::uint32_t>(rig.Clock.Now()); }});
  rig.Show->FormShow();
  const auto mode = [&] { return music.Mode(); };
  ASSERT_NE(RunUntilItem(rig, 1), 0u);
  EXPECT_EQ(mode(), platform::TMediaMode::Paused);
  ASSERT_NE(RunUntilItem(rig, 2), 0u);
  EXPECT_EQ(mode(), platform::TMediaMode::Paused) << "a media item never resumes the music";
  ASSERT_NE(RunUntilItem(rig, 3), 0u);
  EXPECT_EQ(mode(), platform::TMediaMode::Playing);
  rig.Show->FormClose();
  rig.Show.reset();  // before the music's player goes
 }
}

TEST(MediaItems, PictureMoviePictureShowsTheMovieRepeatTimesWhereItBelongsAndThenTheSecondPicture) {
  for (const int repeat : {1, 3}) {
    for (const bool flashMouse : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "repeat " << repeat << " mouse " << flashMouse);
      TMediaRig rig;
      Build(rig, {Picture(rig, 0xFF0000),
                  Movie(rig, "RepeatTimes=" + std::to_string(repeat) + "\r\nIsFlashMouse=" +
                                 (flashMouse ? "1" : "0") + "\r\n"),
                  Picture(rig, 0x00FF00)});
      rig.Start();
      ASSERT_EQ(RunUntilItem(rig, 1), 1050u);
      ASSERT_NE(rig.Host().FlashControl(), nullptr);
      EXPECT_EQ(rig.Host().FlashControl()->PreviewMsg, !flashMouse);
      EXPECT_EQ(rig.Host().MediaPanel()->Bounds(), (TRect{80, 60, 240, 180}));
      EXPECT_TRUE(rig.Panel(rig.Host().MediaPanel())->Showing());
      EXPECT_TRUE(rig.ActiveX.Controls.back()->Visible());
      EXPECT_EQ(RunUntilItem(rig, 2), 2050u + 1000u * std::uint64_t(repeat));
      EXPECT_EQ(std::count(rig.ActiveX.Calls.begin(), rig.ActiveX.Calls.end(), "Call Play"), repeat);
      EXPECT_EQ(rig.ActiveX.Calls.back(), "Set Movie= ") << "closed by the picture after it";
      EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel())->Showing());
      EXPECT_EQ(rig.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x00FF00u);
    }
  }
}

TEST(MediaItems, TwoMoviesInARowEachGetAControlAndAMovieWithoutOneMovesOnAfter50Ms) {
  TMediaRig rig;
  Build(rig, {Picture(rig, 0xFF0000), Movie(rig), Movie(rig), Picture(rig, 0x00FF00)});
  rig.Start();
  ASSERT_EQ(RunUntilItem(rig, 1), 1050u);
  EXPECT_EQ(RunUntilItem(rig, 2), 3050u);
  EXPECT_EQ(rig.ActiveX.Created, 2);
  EXPECT_EQ(rig.ActiveX.Controls.size(), 1u);
  EXPECT_EQ(rig.ActiveX.Calls.back(), "Visible 1") << "the second started in the same tick";

  TMediaRig missing;
  missing.ActiveX.Registered.clear();
  Build(missing, {Picture(missing, 0xFF0000), Movie(missing), Picture(missing, 0x00FF00)});
  missing.Start();
  ASSERT_EQ(RunUntilItem(missing, 1), 1050u);
  EXPECT_EQ(RunUntilItem(missing, 2), 1100u);
  EXPECT_EQ(missing.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x00FF00u);

  // A movie that would play for ever loses its control mid-play (its host process
  // died): the next progress tick ends the item, and the next follows 50 ms later.
  TMediaRig lost;
  Build(lost, {Picture(lost, 0xFF0000), Movie(lost, "RepeatTimes=0\r\n"), Picture(lost, 0x00FF00)});
  lost.Start();
  ASSERT_EQ(RunUntilItem(lost, 1), 1050u);
  while (lost.Clock.Now() < 1500) lost.Clock.AdvanceToNextTimer();
  lost.ActiveX.Controls.back()->Gone = true;
  const std::uint64_t gone = lost.Clock.Now();
  const std::uint64_t next = RunUntilItem(lost, 2, 5000);
  EXPECT_GT(next, gone);
  EXPECT_LE(next, gone + 100 + 50);
  EXPECT_EQ(lost.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x00FF00u);
}

TEST(MediaItems, AVideoThatCannotPlayMovesOnAfter50Ms) {
  for (const std::string_view label : {"broken", "video 160 120 0 0"}) {
    SCOPED_TRACE(label);
    TMediaRig rig;
    Build(rig, {Picture(rig, 0xFF0000), Video(rig, label), Picture(rig, 0x00FF00)});
    rig.Start();
    int progress = 0;
    rig.View.OnPlayVideoProgress = [&](TCustomTrPic&, int, bool, int) { ++progress; };
    ASSERT_EQ(RunUntilItem(rig, 1), 1050u);
    EXPECT_EQ(RunUntilItem(rig, 2), 1100u);
    EXPECT_EQ(progress, 0);
    EXPECT_TRUE(rig.Player->Played.empty());
    EXPECT_EQ(rig.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x00FF00u);
  }
}

TEST(MediaItems, ExitWhileTheItemIsPutOnTheViewClosesOnceAndLeavesNoFile) {
  TMediaRig rig;
  Build(rig, {Picture(rig, 0xFF0000), Video(rig, kOneSecond)});
  rig.Start();
  ASSERT_EQ(RunUntilItem(rig, 0), 50u);
  rig.OnProcessMessages = [&] { rig.Key(); };
  rig.Clock.AdvanceToNextTimer();
  EXPECT_TRUE(rig.Show->Flags().ExitPending);
  EXPECT_EQ(rig.Form.Closes, 1);
  EXPECT_EQ(rig.Count("Open"), 0) << "a closing show opens nothing more";
  rig.Show->FormClose();
  EXPECT_TRUE(rig.TempFiles().empty());

  // A video that plays when the show closes is closed once, and its file goes.
  TMediaRig playing;
  Build(playing, {Video(playing, kOneSecond)});
  playing.Start();
  playing.Clock.AdvanceToNextTimer();
  ASSERT_EQ(playing.TempFiles().size(), 1u);
  playing.Key(platform::kVkEscape);
  playing.Show->FormClose();
  EXPECT_EQ(playing.Count("Close"), 1);
  EXPECT_TRUE(playing.TempFiles().empty());
}

}  // namespace
}  // namespace lumora
