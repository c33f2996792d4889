// The full-screen show on a desktop of several monitors: it plays on the primary, every
// other monitor gets a black cover whose input goes through the exit filter, the covers
// follow the monitors and close with the show; and the show follows its window's real
// client size.
#include "app/main_frm.h"
#include "app/run_mode.h"
#include "platform/headless/headless_desktop.h"
#include "show_rig.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using platform::TMessage;
using testing::TShowRig;

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF;

// One red 200 x 100 picture in the centre over blue.
void RedPictureShow(TShowRig& rig) {
  const auto ref = rig.AddPicture(200, 100, kRed);
  rig.Finish("[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n"
             "[Background]\r\nBgStyle=0\r\nBgSolidColor=00FF0000\r\n[Pic1]\r\nPicFileName=.bmp\r\n" +
             TShowRig::EntryKeys(ref) + "PicPos=1\r\nShowInStyle=0\r\nShowOutStyle=0\r\nIsPicFloat=0\r\nPicInterval=5\r\n");
}

std::uint32_t Rgb(const TShowRig& rig, int x, int y) { return rig.Surface.Screen().At(x, y) & 0xFFFFFFu; }

// The show form of a full-screen run on a headless desktop, with the show of rig on it.
struct TScreensRig {
  explicit TScreensRig(TShowRig& rig) : Shell(Desktop) {
    SetRunMode("S");
    Desktop.Monitors = {{kSecond, false}, {kPrimary, true}};
    Form = std::make_unique<TMainFrm>(Shell);
    Show = std::make_unique<TMainFrmShow>(
        TShowPlatform{rig.Files, rig.System, rig.System, rig.System, rig.Clock, rig.Messages, rig.Random},
        Form->Window(), rig.View, "S");
    Form->AttachShow(Show.get());
    Shell.SetMessageFilter([this](const TMessage& m) { Show->ExitFilter(m); });
  }
  ~TScreensRig() {
    Form->AttachShow(nullptr);
    SetRunMode("");
  }
  bool Closed() const { return std::count(Desktop.Calls.begin(), Desktop.Calls.end(), "CloseForm") > 0; }

  static constexpr TRect kPrimary{0, 0, 1024, 768};
  static constexpr TRect kSecond{-1280, -256, 0, 768};
  platform::THeadlessDesktop Desktop;
  platform::THeadlessApplicationShell Shell;
  std::unique_ptr<TMainFrm> Form;
  std::unique_ptr<TMainFrmShow> Show;
};

TEST(ShowScreens, CoverInputGoesThroughTheExitFilterAndTheCoverClosesWithTheShow) {
  const struct {
    const char* What;
    const char* UserSettings;
    std::vector<TMessage> Input;
    bool Ends;
  } cases[] = {
      {"a move on the cover", "", {{0, platform::kWmMouseMove, 0, 0, -600, 90}, {0, platform::kWmMouseMove, 0, 0, -590, 90}}, true},
      {"a click on the cover", "", {{0, platform::kWmLButtonDown, 0, 0, -600, 90}}, true},
      {"a click when only Esc ends the show", "[AppConfig]\r\nHowToExit=8\r\n",
       {{0, platform::kWmLButtonDown, 0, 0, -600, 90}}, false},
  };
  for (const auto& c : cases) {
    TShowRig rig("S", {1024, 768}, {1024, 768});
    RedPictureShow(rig);
    rig.WriteUserSettings(c.UserSettings);
    TScreensRig screens(rig);
    screens.Shell.ShowMainForm();
    ASSERT_TRUE(rig.Clock.AdvanceToNextTimer()) << c.What;
    EXPECT_EQ(screens.Shell.MainFormBounds(), TScreensRig::kPrimary) << c.What;
    EXPECT_EQ(Rgb(rig, 512, 384), kRed) << c.What << ": the picture in the primary's centre";
    ASSERT_EQ(screens.Shell.OpenCoverRects(), std::vector<TRect>{TScreensRig::kSecond}) << c.What;
    const platform::TWindowHandle cover = screens.Shell.Covers()[0].Handle;
    EXPECT_EQ(screens.Shell.Covers()[0].Owner, screens.Shell.MainFormHandle()) << c.What;

    for (TMessage m : c.Input) {
      m.Window = cover;
      screens.Shell.Deliver(m);
    }
    screens.Shell.ProcessMessages();
    EXPECT_EQ(screens.Closed(), c.Ends) << c.What;
    EXPECT_EQ(screens.Shell.OpenCoverRects().empty(), c.Ends) << c.What << ": the cover closes with the show";
    EXPECT_EQ(rig.System.CallsStartingWith("ScreenSaverRunning 0").size(), c.Ends ? 1u : 0u) << c.What;
  }
}

TEST(ShowScreens, CoversFollowTheMonitorsWhileTheShowRuns) {
  TShowRig rig("S", {1024, 768}, {1024, 768});
  RedPictureShow(rig);
  TScreensRig screens(rig);
  screens.Shell.ShowMainForm();
  const TRect right{1024, 0, 2048, 768};
  screens.Desktop.Monitors = {{TScreensRig::kPrimary, true}, {right, false}};
  screens.Shell.ChangeDisplay();
  EXPECT_EQ(screens.Shell.OpenCoverRects(), std::vector<TRect>{right});
  screens.Desktop.Monitors = {{TScreensRig::kPrimary, true}};
  screens.Shell.ChangeDisplay();
  EXPECT_TRUE(screens.Shell.OpenCoverRects().empty());
  EXPECT_EQ(screens.Shell.Covers().size(), 2u);
}

// The window a maximized form gets without a window manager (its designed 640 x 480)
// growing to the whole screen: the picture and the background follow at once.
TEST(ShowScreens, TheShowFollowsTheClientSizeThroughAResize) {
  TShowRig rig("S", {640, 480}, {1024, 768});
  RedPictureShow(rig);
  rig.Start();
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  ASSERT_EQ(Rgb(rig, 320, 240), kRed);
  rig.Surface.Resize(1024, 768);
  for (const auto& [x, y] : {std::pair{0, 0}, {1023, 0}, {0, 767}, {1023, 767}})
    EXPECT_EQ(Rgb(rig, x, y), kBlue) << "the background reaches " << x << "," << y;
  // The picture keeps its relative place (the view's rounding moves it by a pixel or
  // three) and its size, and the screen shows it where the layout has it.
  const TRect pic = rig.View.PicRect();
  EXPECT_EQ(pic.Width(), 200);
  EXPECT_EQ(pic.Height(), 100);
  EXPECT_LE(std::abs(pic.Left - 412) + std::abs(pic.Top - 334), 4) << pic.Left << "," << pic.Top;
  EXPECT_EQ(Rgb(rig, pic.Left, pic.Top), kRed);
  EXPECT_EQ(Rgb(rig, pic.Right - 1, pic.Bottom - 1), kRed);
  EXPECT_EQ(Rgb(rig, pic.Left - 1, pic.Top - 1), kBlue);
}

}  // namespace
}  // namespace lumora
