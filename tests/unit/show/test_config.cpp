// Loading the show configuration from real INI files: full-screen and preview, dropped
// items and sounds, captions of several lines, defaults for every missing key, and the
// user's settings file beside the executable.
#include "show/show_config.h"

#include "platform/headless/headless_files.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using test::BytesOf;

class ShowConfig : public ::testing::Test {
 protected:
  ShowConfig() : fs_(dir_ / "Saver.scr", dir_.Path()) {}

  TShowLoadResult Load(std::string_view config, bool preview, const TShowLoadHooks& hooks = {}) {
    test::WriteFileBytes(dir_ / "tmp1.ini", BytesOf(config));
    return LoadShowConfigFile(fs_, dir_ / "tmp1.ini", preview, hooks, show_);
  }
  void WriteUserSettings(std::string_view text) { test::WriteFileBytes(dir_ / "Saver.ini", BytesOf(text)); }

  test::TTempDir dir_;
  platform::THeadlessFileSystem fs_;
  TShowConfig show_;
};

constexpr std::string_view kMixedShow =
    "[AppInfo]\r\nPicCount=5\r\nSndCount=3\r\n"
    "[Settings]\r\nIsUsePreview=1\r\nIsIncludeFlash=1\r\nFlashOcxFilePos=10\r\nFlashOcxFileSize=20\r\n"
    "IsSndMute=1\r\nIsPicRamOrder=1\r\n"
    "[Pic1]\r\nPicFileName=.JPG\r\nFilePos=100\r\nFileSize=50\r\nPicInterval=7\r\n"
    "[Pic1Caption]\r\nFirst line\r\n\r\nSecond = line\r\nThird line\r\n"
    "[Pic2]\r\nPicFileName=.bmp\r\nFilePos=-1\r\nFileSize=0\r\n"
    "[Pic3]\r\nPicFileName=.swf\r\nFilePos=300\r\nFileSize=60\r\nMediaStyle=1\r\nRepeatTimes=0\r\n"
    "[Pic4]\r\nPicFileName=.png\r\nFilePos=400\r\nFileSize=0\r\n"
    "[Pic5]\r\nPicFileName=.gif\r\nFilePos=500\r\nFileSize=70\r\nCapFont_Style=12\r\n"
    "[Pic5Caption]\r\nLast\r\n"
    "[Snd]\r\nSndFileName1=.mp3\r\nFilePos1=-1\r\nFileSize1=9\r\n"
    "SndFileName2=.wav\r\nFilePos2=600\r\nFileSize2=80\r\nSndFileName3=.mid\r\nFilePos3=700\r\nFileSize3=90\r\n";

TEST_F(ShowConfig, FullScreenKeepsEveryItemWithAnEntryAndClosesTheGaps) {
  int pumps = 0;
  int flashSetups = 0;
  TShowLoadHooks hooks;
  hooks.ProcessMessages = [&] { ++pumps; };
  hooks.FlashSetup = [&](TSSConfig& c) {
    ++flashSetups;
    EXPECT_EQ(c.FlashOcxFilePos, 10);
  };
  hooks.ShowDesktopPreview = [](const TSSConfig&) {
    ADD_FAILURE() << "no desktop preview in full-screen mode";
    return true;
  };
  EXPECT_EQ(Load(kMixedShow, false, hooks), TShowLoadResult::Loaded);
  EXPECT_EQ(pumps, 5);
  EXPECT_EQ(flashSetups, 1);
  ASSERT_EQ(show_.PicList.size(), 3u);
  EXPECT_EQ(show_.PicList[0]->PicFileName, ".JPG");
  EXPECT_EQ(show_.PicList[0]->PicInterval, 7);
  EXPECT_EQ(show_.PicList[0]->Caption, "First line\r\nSecond = line\r\nThird line");
  EXPECT_EQ(show_.PicList[1]->PicFileName, ".swf");
  EXPECT_EQ(show_.PicList[1]->MediaStyle, 1);
  EXPECT_EQ(show_.PicList[1]->RepeatTimes, 0);
  EXPECT_EQ(show_.PicList[1]->Caption, "");
  EXPECT_EQ(show_.PicList[2]->FilePos, 500);
  EXPECT_EQ(show_.PicList[2]->Caption, "Last");
  EXPECT_EQ(show_.PicList[2]->CapFont->Style, (TFontStyles{true, true, false, false}));
  ASSERT_EQ(show_.SndList.size(), 2u);
  EXPECT_EQ(show_.SndList[0]->SndFileName, ".wav");
  EXPECT_EQ(show_.SndList[0]->FilePos, 600);
  EXPECT_EQ(show_.SndList[1]->SndFileName, ".mid");
  EXPECT_EQ(show_.SndList[1]->FileSize, 90);
  EXPECT_TRUE(show_.Config.IsPicRamOrder);
  // The user file is missing: its default replaces the show's IsSndMute=1.
  EXPECT_FALSE(show_.Config.IsSndMute);
  EXPECT_EQ(show_.Config.HowToExit, 15);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "tmp1.ini"));
}

TEST_F(ShowConfig, PreviewDropsFlashAndVideoItems) {
  TShowLoadHooks hooks;
  hooks.ShowDesktopPreview = [](const TSSConfig& c) {
    EXPECT_TRUE(c.IsUsePreview);
    return false;  // the desktop-preview entry failed: the pictures play
  };
  EXPECT_EQ(Load(kMixedShow, true, hooks), TShowLoadResult::Loaded);
  ASSERT_EQ(show_.PicList.size(), 2u);
  EXPECT_EQ(show_.PicList[0]->FilePos, 100);
  EXPECT_EQ(show_.PicList[1]->FilePos, 500);
  EXPECT_EQ(show_.SndList.size(), 2u);
}

TEST_F(ShowConfig, PreviewWithoutPicturesReadsNoSounds) {
  Load("[AppInfo]\r\nPicCount=1\r\nSndCount=1\r\n[Pic1]\r\nFilePos=1\r\nFileSize=9\r\nMediaStyle=1\r\n"
       "[Snd]\r\nFilePos1=5\r\nFileSize1=5\r\n",
       true);
  EXPECT_TRUE(show_.PicList.empty());
  EXPECT_TRUE(show_.SndList.empty());
  Load("[AppInfo]\r\nPicCount=0\r\nSndCount=1\r\n[Snd]\r\nFilePos1=5\r\nFileSize1=5\r\n", false);
  EXPECT_EQ(show_.SndList.size(), 1u);
}

TEST_F(ShowConfig, DesktopPreviewShortCutReadsNothingElse) {
  bool pumped = false;
  bool flash = false;
  TShowLoadHooks hooks;
  hooks.ShowDesktopPreview = [](const TSSConfig& c) {
    EXPECT_EQ(c.DesktopPreviewFile, ".bmp");
    EXPECT_EQ(c.DesktopPreviewFilePos, 77);
    EXPECT_EQ(c.DesktopPreviewFileSize, 88);
    return true;
  };
  hooks.ProcessMessages = [&] { pumped = true; };
  hooks.FlashSetup = [&](TSSConfig&) { flash = true; };
  const std::string withPreview =
      "[Settings]\r\nIsUsePreview=1\r\nDesktopPreviewFile=.bmp\r\nDesktopPreviewFilePos=77\r\n"
      "DesktopPreviewFileSize=88\r\nIsIncludeFlash=1\r\n" + std::string(kMixedShow);
  EXPECT_EQ(Load(withPreview, true, hooks), TShowLoadResult::DesktopPreviewShown);
  EXPECT_TRUE(show_.PicList.empty());
  EXPECT_FALSE(pumped);
  EXPECT_FALSE(flash);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "tmp1.ini"));
}

TEST_F(ShowConfig, EveryMissingKeyReadsAsItsDefault) {
  Load("[AppInfo]\r\nPicCount=1\r\n[Pic1]\r\nFilePos=0\r\nFileSize=1\r\n", false);
  const TSSConfig defaults;
  const TSSConfig& c = show_.Config;
  EXPECT_EQ(c.IsUsePreview, defaults.IsUsePreview);
  EXPECT_TRUE(c.IsUseSplash);
  EXPECT_EQ(c.SplashFilePos, -1);
  EXPECT_TRUE(c.IsSndPlayAll);
  EXPECT_TRUE(c.IsSndLoopOne);
  EXPECT_EQ(c.BgStyle, TBgStyle::bsGradient);
  EXPECT_EQ(c.BgSolidColor, 0);
  EXPECT_EQ(c.BgGradientFromColor, 0x00FF0000);
  EXPECT_EQ(c.BgGradientToColor, 0x00FFFF00);
  EXPECT_EQ(c.BgPatternString, "User Define|0,0,0,1,1,1,1");
  EXPECT_EQ(c.BgPictureMode, TBgMode::bmCentered);
  EXPECT_EQ(c.BgBgpStyle, TBgBgpStyle::bpNone);
  EXPECT_EQ(c.BgPictureFilePos, -1);
  EXPECT_EQ(c.HowToExit, 15);
  ASSERT_EQ(show_.PicList.size(), 1u);
  const TPicData& item = *show_.PicList[0];
  const TPicData expected;
  EXPECT_EQ(item.PicFileName, "");
  EXPECT_EQ(item.MediaStyle, 0);
  EXPECT_EQ(item.CapPos, TCapPos::cpTopLeft);
  EXPECT_EQ(item.PicPos, TPicPos::poTopLeft);
  EXPECT_EQ(item.PicSize, TPicSize::psOriginal);
  EXPECT_EQ(item.PicSizeHor, 100);
  EXPECT_EQ(item.PicSizeVer, 100);
  EXPECT_EQ(item.PicSizeRef, TPicSizeRef::psrScreen);
  EXPECT_FALSE(item.Masked);
  EXPECT_EQ(item.MaskedFilePos, -1);
  EXPECT_EQ(item.Opacity, 255);
  EXPECT_EQ(item.ShowInStyle, -1);
  EXPECT_EQ(item.ShowOutStyle, -1);
  EXPECT_EQ(item.ShowSpeed, 1);
  EXPECT_TRUE(item.IsPicFloat);
  EXPECT_EQ(item.FloatSpeed, 1);
  EXPECT_TRUE(item.IsClsBeforeNext);
  EXPECT_EQ(item.PicInterval, 5);
  EXPECT_FALSE(item.Shaped);
  EXPECT_EQ(item.ShapedFilePos, -1);
  EXPECT_EQ(item.RepeatTimes, 1);
  EXPECT_TRUE(item.IsSuspendBgMusic);
  EXPECT_FALSE(item.IsFlashMouse);
  EXPECT_EQ(*item.CapFont, DefaultCaptionFont());
  EXPECT_EQ(item.CapFont->Size(), 18);
  EXPECT_EQ(*item.CapFont, *expected.CapFont);
}

TEST_F(ShowConfig, UnusableValuesReadAsTheKeysDefaults) {
  Load("[AppInfo]\r\nPicCount=1\r\n"
       "[Background]\r\nBgStyle=9\r\nBgSolidColor=red\r\nBgGradientFromColor=0000FF\r\nBgGradientDirection=-1\r\n"
       "[Pic1]\r\nFilePos=0\r\nFileSize=1\r\nPicSize=12\r\nPicSizeHor=wide\r\nPicSizeVer=33,5\r\n"
       "CapPos=9\r\nPicPos=9\r\nCapFont_Color=xyz\r\nIsPicFloat=no\r\n",
       false);
  EXPECT_EQ(show_.Config.BgStyle, TBgStyle::bsGradient);
  EXPECT_EQ(show_.Config.BgSolidColor, 0);
  EXPECT_EQ(show_.Config.BgGradientFromColor, 0xFF);
  EXPECT_EQ(show_.Config.BgGradientDirection, TDirection::bdUp);
  const TPicData& item = *show_.PicList.at(0);
  EXPECT_EQ(item.PicSize, TPicSize::psOriginal);
  EXPECT_EQ(item.PicSizeHor, 100);
  EXPECT_FLOAT_EQ(item.PicSizeVer, 33.5f);
  EXPECT_EQ(item.CapPos, TCapPos::cpTopLeft);
  EXPECT_EQ(item.PicPos, TPicPos::poCurrent);
  EXPECT_EQ(item.CapFont->Color, DefaultCaptionFont().Color);
  EXPECT_TRUE(item.IsPicFloat);
}

TEST_F(ShowConfig, TheUserSettingsFileBesideTheExecutableDecides) {
  WriteUserSettings("[AppConfig]\r\nIsSndMute=1\r\nIsShowCursor=1\r\nHowToExit=5\r\n");
  Load("[Settings]\r\nIsSndMute=0\r\n", false);
  EXPECT_TRUE(show_.Config.IsSndMute);
  EXPECT_TRUE(show_.Config.IsShowCursor);
  EXPECT_EQ(show_.Config.HowToExit, 5);
  WriteUserSettings("[AppConfig]\r\nHowToExit=8\r\n");
  Load("[Settings]\r\nIsSndMute=1\r\n", false);
  EXPECT_FALSE(show_.Config.IsSndMute);
  EXPECT_EQ(show_.Config.HowToExit, 8);
}

TEST_F(ShowConfig, HostileCountsEndQuickly) {
  Load("[AppInfo]\r\nPicCount=-5\r\nSndCount=-1\r\n", false);
  EXPECT_TRUE(show_.PicList.empty());
  Load("[AppInfo]\r\nPicCount=200000\r\n[Pic7]\r\nFilePos=1\r\nFileSize=1\r\n", false);
  ASSERT_EQ(show_.PicList.size(), 1u);
}

TEST_F(ShowConfig, SettingsDialogKeysAndTheirDefaults) {
  test::WriteFileBytes(dir_ / "a.ini", BytesOf("[AppDsp]\r\nLine one\r\n\r\nLine two\r\n[Settings]\r\nIsUseGeneral=0\r\n"));
  TBiggerIniFile ini(fs_, dir_ / "a.ini");
  TSSConfig c;
  ReadSettingsDialogKeys(ini, c);
  EXPECT_EQ(c.Author, "Quenvale Inc.");
  EXPECT_FALSE(c.IsUseGeneral);
  EXPECT_FALSE(c.IsUseBanner);
  EXPECT_EQ(c.BannerFilePos, -1);
  EXPECT_EQ(c.BannerTips, "Click banner to visit our website for more infomation.");
  EXPECT_EQ(c.YourURL, std::string(kMakerWebAddress));
  EXPECT_EQ(c.Description, "Line one\r\nLine two\r\n");
  EXPECT_EQ(c.ReadmeText, "");
}

}  // namespace
}  // namespace lumora
