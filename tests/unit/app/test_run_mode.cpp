// The run mode of the command line, the window-handle argument, and the dispatch of
// every mode against the headless desktop, which records what each mode did.
#include "app/main_frm.h"
#include "app/run_mode.h"
#include "app/startup.h"
#include "platform/headless/headless_desktop.h"
#include "platform/headless/headless_files.h"
#include "support/test_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace lumora {
namespace {

using Args = std::vector<std::string>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RunModeTest, FirstArgumentUpperCasedWithoutItsFirstCharacter) {
  const struct {
    Args args;
    std::string mode;
  } cases[] = {
      {{}, ""},
      {{""}, ""},
      {{"/"}, ""},
      {{"s"}, ""},
      {{"/s"}, "S"},
      {{"-s"}, "S"},
      {{"xS"}, "S"},
      {{"/S", "more", "args"}, "S"},  // only the first argument counts
      {{"/s:123"}, "S:123"},
      {{"/p:123"}, "P:123"},
      {{"/ss"}, "SS"},
      {{"/c"}, "C"},
      {{"\xC3\x9Fs"}, "S"},          // a two-byte first character goes whole
      {{"/\xC3\xA9"}, "\xC3\xA9"},   // only ASCII letters change case
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeRunMode(c.args), c.mode) << "first argument: " << (c.args.empty() ? "(none)" : c.args[0]);
  }
}

TEST(RunModeTest, WholeStringCaseSensitiveComparisons) {
  EXPECT_EQ(ClassifyRunMode(""), TRunModeKind::InstallGate);
  EXPECT_EQ(ClassifyRunMode("I"), TRunModeKind::InstallGate);
  EXPECT_EQ(ClassifyRunMode("O"), TRunModeKind::InstallGate);
  EXPECT_EQ(ClassifyRunMode("U"), TRunModeKind::Uninstall);
  EXPECT_EQ(ClassifyRunMode("S"), TRunModeKind::FullScreen);
  EXPECT_EQ(ClassifyRunMode("P"), TRunModeKind::Preview);
  EXPECT_EQ(ClassifyRunMode("A"), TRunModeKind::ChangePassword);
  for (const char* other : {"C", "C:123", "P:123", "S:123", "SS", "X", "s", "IO"}) {
    EXPECT_EQ(ClassifyRunMode(other), TRunModeKind::Settings) << other;
  }
}

TEST(RunModeTest, SignedThirtyTwoBitDecimal) {
  EXPECT_EQ(ParseSignedInt32("123"), 123);
  EXPECT_EQ(ParseSignedInt32("-1"), -1);
  EXPECT_EQ(ParseSignedInt32("+7"), 7);
  EXPECT_EQ(ParseSignedInt32("0"), 0);
  EXPECT_EQ(ParseSignedInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseSignedInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
  for (const char* bad : {"", "abc", "12abc", " 12", "12 ", "0x10", "-", "+", "+-1", "2147483648", "-2147483649",
                          "4294967295", "99999999999999999999"}) {
    EXPECT_EQ(ParseSignedInt32(bad), std::nullopt) << '"' << bad << '"';
  }
}

TEST(RunModeTest, PreviewParentAndItsTwoDefaults) {
  EXPECT_EQ(PreviewParentArgument(Args{"/p", "123"}), 123);
  EXPECT_EQ(PreviewParentArgument(Args{"/p", "0"}), 0);
  EXPECT_EQ(PreviewParentArgument(Args{"/p", "-2"}), -2);
  // Unparented: absent, not a number, out of range, or literally -1.
  EXPECT_EQ(PreviewParentArgument(Args{"/p"}), std::nullopt);
  EXPECT_EQ(PreviewParentArgument(Args{"/p", "abc"}), std::nullopt);
  EXPECT_EQ(PreviewParentArgument(Args{"/p", "4294967295"}), std::nullopt);
  EXPECT_EQ(PreviewParentArgument(Args{"/p", "-1"}), std::nullopt);
  // The password change defaults to no owner.
  EXPECT_EQ(SecondArgumentAsInt(Args{"/a"}, 0), 0);
  EXPECT_EQ(SecondArgumentAsInt(Args{"/a", "abc"}, 0), 0);
  EXPECT_EQ(SecondArgumentAsInt(Args{"/a", "123"}, 0), 123);
}

TEST(MainFrmTest, DesignedAsABorderlessMaximizedBlackForm) {
  const platform::TFormProperties p = TMainFrm::DesignedProperties();
  EXPECT_EQ(p.ClassName, "TMainFrm");
  EXPECT_EQ(p.Caption, "Template");
  EXPECT_EQ(p.BorderStyle, platform::TFormBorderStyle::bsNone);
  EXPECT_EQ(p.WindowState, platform::TWindowState::wsMaximized);
  EXPECT_EQ(p.Position, platform::TFormPosition::poScreenCenter);
  EXPECT_EQ(p.FormStyle, platform::TFormStyle::fsNormal);
  EXPECT_TRUE(p.KeyPreview);
  EXPECT_FALSE(p.Scaled);
  EXPECT_EQ(p.IconResource, "MAINICON");
  EXPECT_EQ(p.Color, 0u);
}

// The show's stand-in: records what the form tells it.
class TRecordingShow final : public platform::IFormEvents {
 public:
  explicit TRecordingShow(std::vector<std::string>& log) : log_(log) {}
  void FormShow() override { log_.push_back("Show FormShow"); }
  void FormClose() override { log_.push_back("Show FormClose"); }

 private:
  std::vector<std::string>& log_;
};

class StartupTest : public ::testing::Test {
 protected:
  test::TTempDir dir;
  platform::THeadlessFileSystem files{dir / "saver.scr", dir.Path()};
  platform::THeadlessDesktop desktop;
  platform::THeadlessApplicationShell application{desktop};
  TStartupPlatform platform{files, desktop, desktop, desktop, application};
  std::vector<std::string> hooksRun;
  TModeHooks hooks{
      [this] { hooksRun.push_back("InstallerDialog"); },
      [this](std::string_view mode) { hooksRun.push_back("InstallWorker " + std::string(mode)); },
      [this] { hooksRun.push_back("Removal"); },
      [this](platform::TWindowHandle owner) { hooksRun.push_back("SettingsDialog " + std::to_string(owner)); },
      [this](TMainFrm&) -> std::unique_ptr<platform::IFormEvents> {
        hooksRun.push_back("CreateShow after " + desktop.Calls.back());
        return std::make_unique<TRecordingShow>(hooksRun);
      },
  };

  void WriteExecutable(std::uint32_t gate) {
    test::TBytes bytes = test::BytesOf("MZ player image");
    for (const std::uint32_t word : {1u, gate, 0xFFFFFFFFu, 0u}) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::byte>((word >> (8 * i)) & 0xFFu));
    }
    test::WriteFileBytes(dir / "saver.scr", bytes);
  }

  void Run(const Args& args, bool withHooks = true) {
    desktop.Calls.clear();
    hooksRun.clear();
    RunStartup(args, platform, withHooks ? hooks : TModeHooks{});
  }
};

TEST_F(StartupTest, ShowIsMadeLastAndHearsTheFormsShowAndClose) {
  Run({"/s"});
  EXPECT_THAT(hooksRun, ElementsAre("CreateShow after SetFormStyle fsStayOnTop", "Show FormShow", "Show FormClose"));
  const auto display = desktop.AddWindow("Display Properties");
  Run({"/p", std::to_string(display)});
  EXPECT_THAT(hooksRun, ElementsAre("CreateShow after EmbedIn " + std::to_string(display), "Show FormShow",
                                    "Show FormClose"));
}

TEST_F(StartupTest, ClosedGateEndsWithoutAnyWindowButConfiguresWithoutSwitch) {
  WriteExecutable(0);
  for (const Args& args : {Args{"/i"}, Args{"-o"}}) {
    Run(args);
    EXPECT_THAT(desktop.Calls, IsEmpty()) << args[0];
    EXPECT_THAT(hooksRun, IsEmpty());
  }
  EXPECT_FALSE(application.ApplicationWindow().Exists);
  // The shell's "Configure" starts an installed copy with no switch at all.
  for (const Args& args : {Args{}, Args{"s"}}) {
    Run(args);
    EXPECT_THAT(hooksRun, ElementsAre("SettingsDialog 0"));
  }
}

TEST_F(StartupTest, OpenGateInstallsWithDialogOrWorker) {
  WriteExecutable(1);
  Run({});
  EXPECT_THAT(desktop.Calls, ElementsAre("Initialize"));
  EXPECT_THAT(hooksRun, ElementsAre("InstallerDialog"));
  Run({"/i"});
  EXPECT_THAT(hooksRun, ElementsAre("InstallWorker I"));
  Run({"/O"});
  EXPECT_THAT(hooksRun, ElementsAre("InstallWorker O"));
  EXPECT_EQ(RunMode(), "O");
  // Until the installer joins, an open gate ends as quietly as a closed one.
  Run({}, false);
  EXPECT_THAT(desktop.Calls, IsEmpty());
}

TEST_F(StartupTest, UnreadableExecutableEndsLikeAClosedGate) {
  test::WriteFileBytes(dir / "saver.scr", test::BytesOf("short"));
  Run({});
  EXPECT_THAT(hooksRun, IsEmpty());
  std::filesystem::remove(dir / "saver.scr");
  Run({"/i"});
  EXPECT_THAT(hooksRun, IsEmpty());
}

TEST_F(StartupTest, RemovalWhateverTheGate) {
  WriteExecutable(0);
  Run({"/u"});
  EXPECT_THAT(hooksRun, ElementsAre("Removal"));
  EXPECT_THAT(desktop.Calls, IsEmpty());
}

TEST_F(StartupTest, FullScreenShowInOrder) {
  const auto preview = desktop.AddWindow("Preview Lumora Screen Saver Template");
  const auto unrelated = desktop.AddWindow("Lumora Screen Saver Template");
  Run({"/s"});
  EXPECT_THAT(desktop.Calls,
              ElementsAre("SetTitle Lumora Screen Saver Template",
                          "CreateNamedMutex Lumora Screen Saver Template -> Created",
                          "HideTopLevelWindow Preview Lumora Screen Saver Template", "Initialize",
                          "CreateMainForm TMainFrm \"Template\"", "HideApplicationWindow", "MakeApplicationToolWindow",
                          "SetFormStyle fsStayOnTop", "Run", "ReleaseMutex Lumora Screen Saver Template"));
  EXPECT_EQ(RunMode(), "S");
  EXPECT_FALSE(desktop.IsVisible(preview));
  EXPECT_TRUE(desktop.IsVisible(unrelated));
  EXPECT_TRUE(application.ApplicationWindow().ToolWindow);
  EXPECT_FALSE(application.ApplicationWindow().Visible);
}

TEST_F(StartupTest, SecondInstanceOfAKindEndsAtOnce) {
  desktop.HoldMutex("Lumora Screen Saver Template");
  const auto preview = desktop.AddWindow("Preview Lumora Screen Saver Template");
  Run({"/s"});
  EXPECT_THAT(desktop.Calls, ElementsAre("SetTitle Lumora Screen Saver Template",
                                         "CreateNamedMutex Lumora Screen Saver Template -> AlreadyExisted",
                                         "ReleaseMutex Lumora Screen Saver Template"));
  EXPECT_TRUE(desktop.IsVisible(preview));

  desktop.HoldMutex("Preview Lumora Screen Saver Template");
  Run({"/p", "123"});
  EXPECT_THAT(desktop.Calls, ElementsAre("SetTitle Preview Lumora Screen Saver Template",
                                         "WaitForNamedMutex Preview Lumora Screen Saver Template 2000",
                                         "CreateNamedMutex Preview Lumora Screen Saver Template -> AlreadyExisted",
                                         "ReleaseMutex Preview Lumora Screen Saver Template"));
}

TEST_F(StartupTest, PreviewIsParentedToAnExistingWindow) {
  const auto display = desktop.AddWindow("Display Properties");
  desktop.HoldMutex("Lumora Screen Saver Template");  // a full-screen show does not stop a preview
  Run({"/p", std::to_string(display)});
  EXPECT_THAT(desktop.Calls,
              ElementsAre("SetTitle Preview Lumora Screen Saver Template",
                          "WaitForNamedMutex Preview Lumora Screen Saver Template 2000",
                          "CreateNamedMutex Preview Lumora Screen Saver Template -> Created", "Initialize",
                          "CreateMainForm TMainFrm \"Template\"", "HideApplicationWindow", "MakeApplicationToolWindow",
                          "HideApplicationWindow", "SetPreviewApplicationStyles",
                          "WindowExists " + std::to_string(display), "EmbedIn " + std::to_string(display), "Run",
                          "ReleaseMutex Preview Lumora Screen Saver Template"));
  EXPECT_EQ(RunMode(), "P");
}

TEST_F(StartupTest, PreviewWithoutItsParentEndsWithItsMutexReleased) {
  // A handle of a window that has gone, and one that the system will not take as parent.
  const auto display = desktop.AddWindow("Display Properties");
  for (const bool refused : {false, true}) {
    desktop.RefuseEmbedding = refused;
    Run({"/p", std::to_string(refused ? display : display + 1000)});
    EXPECT_THAT(hooksRun, IsEmpty()) << refused;
    EXPECT_EQ(desktop.Calls.back(), "ReleaseMutex Preview Lumora Screen Saver Template") << refused;
    EXPECT_EQ(std::count(desktop.Calls.begin(), desktop.Calls.end(), "Run"), 0) << refused;
  }
}

TEST_F(StartupTest, PreviewWaitsForTheOneBeforeItToEnd) {
  const auto display = desktop.AddWindow("Display Properties");
  desktop.HoldMutex("Preview Lumora Screen Saver Template", true);
  Run({"/p", std::to_string(display)});
  EXPECT_EQ(desktop.Calls[1], "WaitForNamedMutex Preview Lumora Screen Saver Template 2000");
  EXPECT_EQ(desktop.Calls[2], "CreateNamedMutex Preview Lumora Screen Saver Template -> Created");
  EXPECT_THAT(hooksRun, ElementsAre("CreateShow after EmbedIn " + std::to_string(display), "Show FormShow",
                                    "Show FormClose"));
}

TEST_F(StartupTest, PreviewWithoutUsableHandleRunsUnparented) {
  for (const Args& args : {Args{"/p"}, Args{"/p", "abc"}, Args{"/p", "-1"}, Args{"/p", "0"}}) {
    Run(args);
    const std::string what = args.size() > 1 ? args[1] : "(none)";
    EXPECT_EQ(std::count(desktop.Calls.begin(), desktop.Calls.end(), "SetPreviewApplicationStyles"), 1) << what;
    EXPECT_EQ(std::count_if(desktop.Calls.begin(), desktop.Calls.end(),
                            [](const std::string& c) { return c.starts_with("EmbedIn"); }),
              0)
        << what;
    EXPECT_EQ(desktop.Calls.back(), "ReleaseMutex Preview Lumora Screen Saver Template") << what;
    EXPECT_TRUE(application.ApplicationWindow().PreviewStyles);
    EXPECT_FALSE(application.ApplicationWindow().Visible);
  }
}

TEST_F(StartupTest, PasswordChangeWithTheSecondArgumentAsOwner) {
  Run({"/a", "123"});
  EXPECT_THAT(desktop.Calls, ElementsAre("ChangePassword 123"));
  Run({"-A"});
  EXPECT_THAT(desktop.Calls, ElementsAre("ChangePassword 0"));
  Run({"/a", "abc"});
  EXPECT_THAT(desktop.Calls, ElementsAre("ChangePassword 0"));
}

TEST_F(StartupTest, AnyOtherSwitchOpensTheSettingsOwnedByTheWindowItNames) {
  const std::pair<Args, std::string> cases[] = {
      {{"/c"}, "0"},         {{"/c:123"}, "123"}, {{"/C", "456"}, "456"}, {{"/c:abc"}, "0"},
      {{"/c", "x"}, "0"},    {{"/p:123"}, "0"},   {{"/x", "123"}, "0"},   {{"/SS"}, "0"},
      {{"/c:-5"}, "-5"},
  };
  for (const auto& [args, owner] : cases) {
    Run(args);
    EXPECT_THAT(desktop.Calls, ElementsAre("CreateNamedMutex Lumora Screen Saver Config -> Created", "Initialize",
                                           "ReleaseMutex Lumora Screen Saver Config"))
        << args[0];
    EXPECT_THAT(hooksRun, ElementsAre("SettingsDialog " + owner)) << args[0];
    Run(args, false);
    EXPECT_THAT(desktop.Calls, IsEmpty()) << args[0];
  }
}

TEST_F(StartupTest, SecondSettingsDialogBringsTheFirstForward) {
  desktop.HoldMutex("Lumora Screen Saver Config");
  Run({"/c"});
  EXPECT_THAT(hooksRun, IsEmpty());
  EXPECT_THAT(desktop.Calls, ElementsAre("CreateNamedMutex Lumora Screen Saver Config -> AlreadyExisted",
                                         "ActivateTopLevelWindow Screen Saver Config",
                                         "ReleaseMutex Lumora Screen Saver Config"));
}

}  // namespace
}  // namespace lumora
