// Shows played on the headless platform under the virtual clock: item order in sequence
// and from the shuffle bag, timing of the ticks, stamping, the splash, backgrounds and
// their fallback, the preview cases, the deferred exit in each busy stretch, the
// password, the cursor calls and the clean-up at close.
#include "show_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace lumora {
namespace {

using testing::TShowRig;

struct TItem {
  std::string Keys;  // extra keys of the Pic section
};

std::string ConfigText(std::string_view settings, std::string_view background, const std::vector<std::string>& items) {
  std::string text = "[AppInfo]\r\nPicCount=" + std::to_string(items.size()) + "\r\nSndCount=0\r\n";
  text += "[Settings]\r\n" + std::string(settings);
  text += "[Background]\r\n" + std::string(background);
  for (std::size_t i = 0; i < items.size(); ++i) text += "[Pic" + std::to_string(i + 1) + "]\r\n" + items[i];
  return text;
}

// A picture item section: a bitmap entry plus extra keys.
std::string PictureItem(const test::TPayloadWriter::TRef& ref, std::string_view extra = "") {
  return "PicFileName=.bmp\r\n" + TShowRig::EntryKeys(ref) + "ShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\n" +
         std::string(extra);
}

constexpr std::string_view kNoSplash = "IsUseSplash=0\r\n";
constexpr std::string_view kBlueBackground = "BgStyle=0\r\nBgSolidColor=00FF0000\r\n";

// Three single-colour pictures with the given extra keys each.
void AddThree(TShowRig& rig, std::string_view settings, std::string_view extra) {
  std::vector<std::string> items;
  const std::uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (std::uint32_t colour : colours) items.push_back(PictureItem(rig.AddPicture(40, 30, colour), extra));
  rig.Finish(ConfigText(settings, kBlueBackground, items));
}

std::vector<int> ShownIndices(TShowRig& rig, int ticks) {
  std::vector<int> shown;
  for (int i = 0; i < ticks; ++i) {
    if (!rig.Clock.AdvanceToNextTimer()) break;
    shown.push_back(rig.Show->CurrentIndex());
  }
  return shown;
}

TEST(ShowSequencer, ItemsFollowInListOrderWithPicIntervalCountedFromTheShowIn) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "PicInterval=2\r\n");
  rig.Start();
  EXPECT_EQ(rig.Show->NextIndex(), 0);
  EXPECT_TRUE(rig.Show->timScr().Enabled());
  EXPECT_EQ(rig.Show->timScr().Interval(), 50u);
  std::vector<std::uint64_t> times;
  std::vector<int> shown;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
    times.push_back(rig.Clock.Now());
    shown.push_back(rig.Show->CurrentIndex());
  }
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 0, 1}));
  EXPECT_EQ(times, (std::vector<std::uint64_t>{50, 2050, 4050, 6050, 8050}));
  EXPECT_EQ(rig.Show->PreviousItem(), rig.Show->PicList()[0].get());
  EXPECT_EQ(rig.Form.Closes, 0);
  // The picture on screen (top left, the items' default place) is the item's own.
  EXPECT_EQ(rig.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x00FF00u);
  EXPECT_EQ(rig.Surface.Screen().At(160, 120) & 0xFFFFFFu, 0x0000FFu);
}

TEST(ShowSequencer, ShuffleBagShowsEveryItemOncePerCycle) {
  TShowRig rig;
  rig.Random.SetSeed(12345);
  AddThree(rig, "IsUseSplash=0\r\nIsPicRamOrder=1\r\n", "PicInterval=1\r\n");
  rig.Start();
  const std::vector<int> shown = ShownIndices(rig, 12);
  ASSERT_EQ(shown.size(), 12u);
  for (std::size_t cycle = 0; cycle < 4; ++cycle) {
    std::set<int> group(shown.begin() + cycle * 3, shown.begin() + cycle * 3 + 3);
    EXPECT_EQ(group, (std::set<int>{0, 1, 2})) << "cycle " << cycle;
  }
}

TEST(ShowSequencer, PickFromPoolDrawsFromABagThatRefillsInOrder) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "");
  rig.Start();
  std::vector<std::string> pool;
  rig.Random.Queue(1);
  EXPECT_EQ(rig.Show->PickFromPool(pool, 3), 1);
  EXPECT_EQ(pool, (std::vector<std::string>{"0", "2"}));
  std::vector<std::string> empty;
  EXPECT_EQ(rig.Show->PickFromPool(empty, 0), -2);
  std::vector<std::string> broken{"x"};
  EXPECT_EQ(rig.Show->PickFromPool(broken, 3), -2);
}

TEST(ShowSequencer, OneItemComesBackAgainAndAgain) {
  TShowRig rig;
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, {PictureItem(rig.AddPicture(20, 20, 0xFFFF00), "PicInterval=1\r\n")}));
  rig.Start();
  EXPECT_EQ(ShownIndices(rig, 4), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(rig.Show->NextIndex(), 0);
  EXPECT_TRUE(rig.View.PicShown());
}

TEST(ShowSequencer, PicIntervalZeroTicksFiftyMillisecondsAfterTheShowIn) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "PicInterval=0\r\n");
  rig.Start();
  ShownIndices(rig, 3);
  EXPECT_EQ(rig.Clock.Now(), 150u);
}

TEST(ShowSequencer, StampedPicturesStayUntilAnItemClearsBeforeItsShowIn) {
  TShowRig rig;
  std::vector<std::string> items = {
      PictureItem(rig.AddPicture(40, 30, 0xFF0000), "PicInterval=1\r\nPicPos=2\r\n"),
      PictureItem(rig.AddPicture(40, 30, 0x00FF00), "PicInterval=1\r\nPicPos=7\r\nIsClsBeforeNext=0\r\n"),
      PictureItem(rig.AddPicture(40, 30, 0x0000FF), "PicInterval=1\r\nPicPos=1\r\n"),
  };
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, items));
  rig.Start();
  ShownIndices(rig, 2);
  EXPECT_TRUE(rig.View.Stamped());
  // Item 1 (top left) is still visible under item 2 (bottom right).
  EXPECT_EQ(rig.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0xFF0000u);
  EXPECT_EQ(rig.Surface.Screen().At(315, 235) & 0xFFFFFFu, 0x00FF00u);
  ShownIndices(rig, 1);
  EXPECT_FALSE(rig.View.Stamped());
  EXPECT_EQ(rig.Surface.Screen().At(5, 5) & 0xFFFFFFu, 0x0000FFu) << "background again";
  EXPECT_EQ(rig.Surface.Screen().At(315, 235) & 0xFFFFFFu, 0x0000FFu);
}

TEST(ShowSequencer, SplashStaysFiveSecondsOnBlackThenTheBackgroundAndFirstItemFollow) {
  TShowRig rig;
  const auto splash = rig.AddPicture(16, 16, 0xFFFFFF);
  const auto item = rig.AddPicture(16, 16, 0xFF0000);
  rig.Finish(ConfigText("IsUseSplash=1\r\nSplashFile=.bmp\r\n" + TShowRig::EntryKeys(splash, "Splash"),
                        "BgStyle=1\r\nBgGradientFromColor=0000FF00\r\nBgGradientToColor=0000FF00\r\n",
                        {PictureItem(item, "PicInterval=3\r\n")}));
  rig.Start();
  EXPECT_EQ(rig.Show->NextIndex(), -1);
  EXPECT_EQ(rig.View.BgStyle(), TBgStyle::bsSolid);
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  EXPECT_EQ(rig.Show->CurrentIndex(), -1);
  ASSERT_NE(rig.Show->CurrentItem(), nullptr);
  EXPECT_EQ(rig.Show->CurrentItem()->PicInterval, 5);
  EXPECT_FALSE(rig.Show->Flags().BackgroundApplied);
  EXPECT_EQ(rig.Surface.Screen().At(160, 120) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_LE(rig.Surface.Screen().At(2, 2) & 0xFFFFFFu, 0x010000u) << "black (the view keeps 0 as 1)";
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  EXPECT_EQ(rig.Clock.Now(), 5050u);
  EXPECT_EQ(rig.Show->CurrentIndex(), 0);
  EXPECT_EQ(rig.Show->PreviousItem(), nullptr) << "the splash leaves without a show-out";
  EXPECT_TRUE(rig.Show->Flags().BackgroundApplied);
  EXPECT_EQ(rig.View.BgStyle(), TBgStyle::bsGradient);
  EXPECT_EQ(rig.Surface.Screen().At(2, 2) & 0xFFFFFFu, 0xFF0000u);
  EXPECT_EQ(rig.Surface.Screen().At(300, 200) & 0xFFFFFFu, 0x00FF00u);
}

TEST(ShowSequencer, SplashThatCannotBeExtractedStartsWithTheFirstItem) {
  TShowRig rig;
  rig.Finish(ConfigText("IsUseSplash=1\r\nSplashFile=.bmp\r\nSplashFilePos=5\r\nSplashFileSize=3\r\n", kBlueBackground,
                        {PictureItem(rig.AddPicture(8, 8, 0xFF0000))}));
  rig.Start();
  EXPECT_EQ(rig.Show->NextIndex(), 0);
  EXPECT_TRUE(rig.Show->Flags().BackgroundApplied);
}

TEST(ShowSequencer, BackgroundPictureThatFailsGivesBlack) {
  TShowRig rig;
  rig.Finish(ConfigText(kNoSplash, "BgStyle=3\r\nBgPicture=.bmp\r\nBgPictureFilePos=3\r\nBgPictureFileSize=9\r\n",
                        {PictureItem(rig.AddPicture(8, 8, 0xFF0000))}));
  rig.Start();
  EXPECT_EQ(rig.View.BgStyle(), TBgStyle::bsSolid);
  EXPECT_LE(rig.View.BgSolidColor(), 1u) << "black (the view keeps 0 as 1)";
  EXPECT_TRUE(rig.Show->Flags().BackgroundApplied);
}

TEST(ShowSequencer, BackgroundPictureIsLoadedWithItsMode) {
  TShowRig rig;
  const auto bg = rig.AddPicture(10, 10, 0x123456);
  rig.Finish(ConfigText(kNoSplash, "BgStyle=3\r\nBgPicture=.bmp\r\nBgPictureMode=1\r\n" + TShowRig::EntryKeys(bg, "BgPicture"),
                        {PictureItem(rig.AddPicture(8, 8, 0xFF0000))}));
  rig.Start();
  EXPECT_EQ(rig.View.BgStyle(), TBgStyle::bsPicture);
  EXPECT_EQ(rig.View.BgPictureMode(), TBgMode::bmStretched);
  EXPECT_EQ(rig.View.BgPicture().Width(), 10);
}

TEST(ShowSequencer, FullScreenShowWithoutValidItemsClosesAtOnce) {
  TShowRig rig;
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, {"PicFileName=.bmp\r\nFilePos=-1\r\nFileSize=0\r\n"}));
  rig.Start();
  EXPECT_EQ(rig.Form.Closes, 1);
  EXPECT_FALSE(rig.Show->timScr().Enabled());
  EXPECT_EQ(rig.System.Calls.front(), "ScreenSaverRunning 1");
}

TEST(ShowSequencer, ConfigurationThatCannotBeExtractedIsReportedAndCloses) {
  TShowRig rig;
  test::WriteFileBytes(rig.Dir / "Show.scr", test::BytesOf("no payload here"));
  rig.Start();
  EXPECT_EQ(rig.Messages.Shown(), std::vector<std::string>{"Extract config file error!"});
  EXPECT_EQ(rig.Form.Closes, 1);
}

TEST(ShowSequencer, PictureThatCannotBeExtractedBeforeAnyOtherMovesOn) {
  TShowRig rig;
  std::vector<std::string> items = {"PicFileName=.bmp\r\nFilePos=3\r\nFileSize=9\r\n",
                                    PictureItem(rig.AddPicture(8, 8, 0xFF0000), "PicInterval=1\r\n")};
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, items));
  rig.Start();
  EXPECT_EQ(ShownIndices(rig, 2), (std::vector<int>{0, 1}));
  EXPECT_EQ(rig.Clock.Now(), 100u);
  EXPECT_TRUE(rig.View.PicShown());
}

TEST(ShowSequencer, UnknownMediaStyleIsSkipped) {
  TShowRig rig;
  std::vector<std::string> items = {PictureItem(rig.AddPicture(8, 8, 0xFF0000), "MediaStyle=5\r\n"),
                                    PictureItem(rig.AddPicture(8, 8, 0x00FF00), "PicInterval=1\r\n")};
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, items));
  rig.Start();
  EXPECT_EQ(ShownIndices(rig, 3), (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(rig.Clock.Now(), 1100u);
}

TEST(ShowSequencer, CaptionAndPlacementComeFromTheItem) {
  TShowRig rig;
  const auto ref = rig.AddPicture(8, 8, 0xFF0000);
  std::string items = PictureItem(ref, "PicPos=3\r\nPicSize=2\r\nPicSizeHor=50\r\nPicSizeVer=25\r\nMasked=0\r\nOpacity=9\r\n") +
                      "[Pic1Caption]\r\nHello\r\nWorld\r\n";
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, {items}));
  rig.View.SetPicOpacity(77);
  rig.Start();
  rig.Clock.AdvanceToNextTimer();
  EXPECT_EQ(rig.View.Caption(), (std::vector<std::string>{"Hello", "World"}));
  EXPECT_TRUE(rig.View.CapVisible());
  EXPECT_EQ(rig.View.PicPos(), TPicPos::poTopCenter);
  EXPECT_EQ(rig.View.PicSize(), TPicSize::psUser);
  EXPECT_EQ(rig.View.PicSizeHor(), 50.0f);
  EXPECT_EQ(rig.View.PicOpacity(), 255) << "the design-time opacity stays for unmasked items";
  EXPECT_FALSE(rig.View.PicMasked());
}

TEST(ShowSequencer, PreviewShowsTheDesktopPreviewPictureAndNothingElse) {
  TShowRig rig("P", {160, 120}, {320, 240});
  const auto preview = rig.AddPicture(20, 10, 0x00FFFF);
  rig.Finish(ConfigText("IsUseSplash=0\r\nIsUsePreview=1\r\nDesktopPreviewFile=.bmp\r\n" +
                            TShowRig::EntryKeys(preview, "DesktopPreview"),
                        kBlueBackground, {PictureItem(rig.AddPicture(8, 8, 0xFF0000))}));
  rig.Start();
  EXPECT_TRUE(rig.Show->Flags().PreviewPictureShown);
  EXPECT_TRUE(rig.Show->Flags().Loading);
  EXPECT_EQ(rig.View.BgStyle(), TBgStyle::bsPicture);
  EXPECT_EQ(rig.View.BgPictureMode(), TBgMode::bmStretched);
  EXPECT_FALSE(rig.Clock.NextDue().has_value());
  EXPECT_TRUE(rig.System.CallsStartingWith("ScreenSaverRunning").empty());
  rig.Key();  // deferred for ever: a preview ends with its window
  EXPECT_EQ(rig.Form.Closes, 0);
  EXPECT_TRUE(rig.TempFiles().empty());
}

TEST(ShowSequencer, PreviewWithoutItsPictureEntryRunsTheShow) {
  TShowRig rig("P", {160, 120}, {320, 240});
  rig.Finish(ConfigText("IsUseSplash=0\r\nIsUsePreview=1\r\nDesktopPreviewFile=.bmp\r\n", kBlueBackground,
                        {PictureItem(rig.AddPicture(8, 8, 0xFF0000))}));
  rig.Start();
  EXPECT_FALSE(rig.Show->Flags().PreviewPictureShown);
  EXPECT_EQ(ShownIndices(rig, 1), std::vector<int>{0});
  EXPECT_EQ(rig.System.CallsStartingWith("ShowCursor"), (std::vector<std::string>{"ShowCursor 0", "ShowCursor 1"}));
}

TEST(ShowSequencer, PreviewOfMediaOnlyShowsTheBuiltInPicture) {
  TShowRig rig("P", {160, 120}, {320, 240});
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, {"PicFileName=.swf\r\nFilePos=10\r\nFileSize=20\r\nMediaStyle=1\r\n"}));
  rig.Start();
  ASSERT_FALSE(rig.Show->imgSplashBak().Empty());
  EXPECT_EQ(rig.View.BgStyle(), TBgStyle::bsPicture);
  EXPECT_EQ(rig.View.BgPictureMode(), TBgMode::bmCentered);
  EXPECT_EQ(rig.View.BgPicture().Width(), rig.Show->imgSplashBak().Width());
  EXPECT_FALSE(rig.Show->timScr().Enabled());
  EXPECT_TRUE(rig.Show->Flags().Loading);
  EXPECT_EQ(rig.Form.Closes, 0);
}

TEST(ShowSequencer, WithRealTransitionsTheTimerWaitsForTheShowInAndTheNextItemFollowsTheShowOut) {
  TShowRig rig("S", {320, 240}, {320, 240}, true);
  std::vector<std::string> items = {
      "PicFileName=.bmp\r\n" + TShowRig::EntryKeys(rig.AddPicture(40, 30, 0xFF0000)) +
          "PicInterval=1\r\nPicPos=1\r\nIsPicFloat=0\r\nShowInStyle=1\r\nShowOutStyle=3\r\nShowSpeed=5\r\n",
      "PicFileName=.bmp\r\n" + TShowRig::EntryKeys(rig.AddPicture(40, 30, 0x00FF00)) +
          "PicInterval=1\r\nPicPos=1\r\nIsPicFloat=1\r\nShowInStyle=2\r\nShowOutStyle=0\r\n",
  };
  rig.Finish(ConfigText(kNoSplash, kBlueBackground, items));
  rig.Start();
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  EXPECT_TRUE(rig.View.Showing()) << "the show-in runs on its worker";
  EXPECT_FALSE(rig.Show->timScr().Enabled()) << "the timer waits for the end of the show-in";
  EXPECT_EQ(rig.View.ShowInStyle(), 1) << "the item's styles, set in OnShowInBegin";
  EXPECT_EQ(rig.View.ShowOutStyle(), 3);
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Show->timScr().Enabled(); }));
  EXPECT_EQ(rig.Show->timScr().Interval(), 1000u);
  EXPECT_EQ(rig.Surface.Screen().At(160, 120) & 0xFFFFFFu, 0xFF0000u);
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  EXPECT_EQ(rig.Show->CurrentIndex(), 1);
  ASSERT_TRUE(rig.Threads.RunUntil([&] { return rig.Show->timScr().Enabled(); }));
  const TRect r = rig.View.PicRect();
  EXPECT_EQ(rig.Surface.Screen().At((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2) & 0xFFFFFFu, 0x00FF00u)
      << r.Left << "," << r.Top << " " << rig.View.PicShown();
  EXPECT_TRUE(rig.View.Floating());
  // An exit while the picture floats: nothing is busy, the show closes and stops its workers.
  rig.Key();
  EXPECT_EQ(rig.Form.Closes, 1);
  rig.Show->FormClose();
  EXPECT_FALSE(rig.View.Floating());
  EXPECT_FALSE(rig.View.Showing());
}

TEST(ShowExit, ExitRulesFromTheUserSettingsFile) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "");
  rig.WriteUserSettings("[AppConfig]\r\nHowToExit=8\r\n");
  rig.Start();
  rig.Clock.AdvanceToNextTimer();
  rig.Send({0, platform::kWmMouseMove, 0, 0, 10, 10});
  rig.Send({0, platform::kWmMouseMove, 0, 0, 50, 50});
  rig.Send({0, platform::kWmLButtonDown, 0, 0, 50, 50});
  rig.Send({0, platform::kWmRButtonDown, 0, 0, 50, 50});
  rig.Key('A');
  EXPECT_EQ(rig.Form.Closes, 0);
  rig.Key(platform::kVkEscape);
  EXPECT_EQ(rig.Form.Closes, 1);
  EXPECT_FALSE(rig.Show->timScr().Enabled());
}

TEST(ShowExit, InputDuringLoadingIsNotWatchedAndInputDuringItemLoadingDefers) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "");
  // The loader pumps messages before each item; the filter is not installed yet.
  rig.System.OnProcessMessages = [&] { rig.Key(); };
  rig.Start();
  EXPECT_EQ(rig.Form.Closes, 0);
  EXPECT_FALSE(rig.Show->Flags().ExitPending);
  EXPECT_TRUE(rig.Show->FilterInstalled());
}

TEST(ShowExit, ExitDuringTheItemClosesOnceWhenTheItemIsOnTheView) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "");
  rig.Start();
  int closesDuringItem = -1;
  rig.View.OnShowInBegin = [&](TCustomTrPic&) {
    rig.Key();
    closesDuringItem = rig.Form.Closes;
    rig.Show->trpScrViewShowInBegin();
  };
  rig.Clock.AdvanceToNextTimer();
  EXPECT_EQ(closesDuringItem, 0);
  EXPECT_TRUE(rig.Show->Flags().ExitPending);
  EXPECT_EQ(rig.Form.Closes, 1);
  EXPECT_FALSE(rig.Show->Flags().ItemBusy);
  EXPECT_FALSE(rig.Clock.AdvanceToNextTimer()) << "nothing ticks after the close";
  rig.Show->timScrTimer();
  rig.Show->trpScrViewShowInComplete();
  EXPECT_EQ(rig.Form.Closes, 1);
}

// A file system that lets a test act in the middle of an extraction.
class TSpyFiles final : public platform::IFileSystem {
 public:
  explicit TSpyFiles(platform::IFileSystem& inner) : inner_(inner) {}
  // Called as an extraction opens the show's file.
  std::function<void()> OnOpen;
  std::filesystem::path ExecutablePath() override { return inner_.ExecutablePath(); }
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& p) override {
    if (OnOpen) OnOpen();
    return inner_.OpenForReadDenyWrite(p);
  }
  std::optional<std::filesystem::path> TempDirectory() override { return inner_.TempDirectory(); }
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& dir,
                                                            std::string_view prefix) override {
    return inner_.CreateUniqueTempFile(dir, prefix);
  }
  bool RenameFile(const std::filesystem::path& a, const std::filesystem::path& b) override { return inner_.RenameFile(a, b); }
  bool RemoveFile(const std::filesystem::path& p) override { return inner_.RemoveFile(p); }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path& p) override {
    return inner_.OpenExistingForWrite(p);
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path& p) override {
    return inner_.CreateForWrite(p);
  }
  std::filesystem::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }
  bool FileExists(const std::filesystem::path& p) override { return inner_.FileExists(p); }
  std::optional<std::filesystem::path> StoredFileName(const std::filesystem::path& p) override {
    return inner_.StoredFileName(p);
  }

 private:
  platform::IFileSystem& inner_;
};

TEST(ShowExit, ExitDuringAnExtractionDefersUntilTheItemIsDone) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "");
  TSpyFiles spy(rig.Files);
  rig.Show = std::make_unique<TMainFrmShow>(
      TShowPlatform{spy, rig.System, rig.System, rig.System, rig.Clock, rig.Messages, rig.Random}, rig.Form, rig.View,
      "S");
  rig.Show->FormShow();
  int closesDuringExtraction = -1;
  spy.OnOpen = [&] {
    if (closesDuringExtraction >= 0) return;
    EXPECT_NE(ExtractionsInProgress(), 0);
    rig.Key();
    closesDuringExtraction = rig.Form.Closes;
  };
  rig.Clock.AdvanceToNextTimer();
  EXPECT_EQ(closesDuringExtraction, 0);
  EXPECT_EQ(rig.Form.Closes, 1);
  EXPECT_FALSE(rig.View.Showing());
}

TEST(ShowExit, FailedPasswordKeepsTheShowAndTheCursorSequenceIsExact) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "PicInterval=1\r\n");
  rig.System.SetRegistryValue("Control Panel\\Desktop", "ScreenSaveUsePassword", {platform::TRegistryValue::TKind::Text, 0, "1"});
  rig.System.Libraries["C:\\WINDOWS\\system32\\PASSWORD.CPL"].Results = {0, 1};
  rig.Start();
  rig.Clock.AdvanceToNextTimer();
  rig.Key();
  EXPECT_EQ(rig.Form.Closes, 0);
  EXPECT_EQ(ShownIndices(rig, 1), std::vector<int>{1}) << "the show goes on";
  // The next exit is accepted while the item is loading, so it waits for the show-in.
  rig.View.OnShowInBegin = [&](TCustomTrPic&) { rig.Key(); };
  rig.Clock.AdvanceToNextTimer();
  EXPECT_EQ(rig.Form.Closes, 1);
  EXPECT_EQ(rig.System.CallsStartingWith("ShowCursor"),
            (std::vector<std::string>{"ShowCursor 0",                  // IsShowCursor false at load
                                      "ShowCursor 1", "ShowCursor 1",  // exit input, password check
                                      "ShowCursor 0", "ShowCursor 0",  // refused, back to IsShowCursor
                                      "ShowCursor 1", "ShowCursor 1",  // exit input, password check
                                      "ShowCursor 1"}));               // FinishShow
}

TEST(ShowClose, FormCloseStopsEverythingDeletesFilesAndClearsTheRunningNotice) {
  TShowRig rig;
  AddThree(rig, kNoSplash, "");
  rig.Start();
  rig.Clock.AdvanceToNextTimer();
  rig.Key();
  ASSERT_EQ(rig.Form.Closes, 1);
  rig.Show->FormClose();
  EXPECT_TRUE(rig.TempFiles().empty());
  EXPECT_TRUE(rig.Show->PicList().empty());
  EXPECT_EQ(rig.Show->CurrentItem(), nullptr);
  EXPECT_FALSE(rig.Show->timScr().Enabled());
  const std::vector<std::string> tail(rig.System.Calls.end() - 2, rig.System.Calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"ScreenSaverRunning 0", "DefaultCursor"}));
}

// Files of the rig that count how often the show opens its own executable.
class TOpenCounter final : public platform::IFileSystem {
 public:
  explicit TOpenCounter(platform::IFileSystem& inner) : inner_(inner) {}
  int Opens = 0;
  std::filesystem::path ExecutablePath() override { return inner_.ExecutablePath(); }
  std::function<void()> OnOpen;
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& p) override {
    ++Opens;
    if (OnOpen) OnOpen();
    return inner_.OpenForReadDenyWrite(p);
  }
  std::optional<std::filesystem::path> TempDirectory() override { return inner_.TempDirectory(); }
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& d, std::string_view p) override {
    return inner_.CreateUniqueTempFile(d, p);
  }
  bool RenameFile(const std::filesystem::path& a, const std::filesystem::path& b) override {
    return inner_.RenameFile(a, b);
  }
  bool RemoveFile(const std::filesystem::path& p) override { return inner_.RemoveFile(p); }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path& p) override {
    return inner_.OpenExistingForWrite(p);
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path& p) override {
    return inner_.CreateForWrite(p);
  }
  std::filesystem::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }

 private:
  platform::IFileSystem& inner_;
};

// A picture that failed to load is not extracted again on later passes of the show; the
// others are, and the failed item still takes its turn with the previous picture.
TEST(ShowSequence, APictureThatFailedIsNotExtractedAgainInTheSameShow) {
  TShowRig rig;
  const auto good = rig.AddPicture(8, 8, 0x00FF00);
  const auto bad = rig.Writer.AddEntry(test::BytesOf("not a picture at all"));
  rig.Finish(ConfigText(kNoSplash, kBlueBackground,
                        {PictureItem(good, "PicInterval=1\r\n"),
                         "PicFileName=.png\r\n" + TShowRig::EntryKeys(bad) + "PicInterval=1\r\n",
                         PictureItem(good, "Masked=1\r\nMaskedFileName=.png\r\n" + TShowRig::EntryKeys(bad, "Masked") +
                                               "PicInterval=1\r\n")}));
  TOpenCounter files(rig.Files);
  rig.Show = std::make_unique<TMainFrmShow>(
      TShowPlatform{files, rig.System, rig.System, rig.System, rig.Clock, rig.Messages, rig.Random}, rig.Form, rig.View,
      rig.RunMode);
  rig.Show->FormShow();
  // Pictures are loaded with no other picture's pixels held beside them.
  int opensBesidePixels = 0;
  files.OnOpen = [&] { opensBesidePixels += rig.View.Picture().Empty() ? 0 : 1; };
  std::vector<int> opensPerPass;
  for (int ticks = 0; ticks < 200 && opensPerPass.size() < 4; ++ticks) {
    const int before = files.Opens;
    const std::int32_t index = rig.Show->CurrentIndex();
    ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
    if (rig.Show->CurrentIndex() == 0 && index != 0) opensPerPass.push_back(0);
    if (!opensPerPass.empty()) opensPerPass.back() += files.Opens - before;
    // The bad item shows the good picture again, as it was.
    if (rig.Show->CurrentIndex() == 1 && rig.View.PicShown()) {
      ASSERT_EQ(rig.View.PicBitmap().At(0, 0) & 0xFFFFFFu, 0x00FF00u);
    }
  }
  EXPECT_EQ(opensBesidePixels, 0);
  ASSERT_EQ(opensPerPass.size(), 4u) << "the show went round";
  // A pass: the good picture, the bad one and the good one again for the bad item's turn
  // (the view let go of its pixels before the bad one loaded), the masked item's picture
  // and its mask, which is the bad entry again under the same name, known to fail.
  EXPECT_EQ(opensPerPass[0], 1 + 1 + 1 + 1);
  EXPECT_EQ(opensPerPass[1], 1 + 0 + 1 + 1) << "a failed picture was extracted again";
  EXPECT_EQ(opensPerPass[2], opensPerPass[1]);
  EXPECT_EQ(rig.Form.Closes, 0);
}

}  // namespace
}  // namespace lumora
