// The exit filter and the password check with scripted messages: the HowToExit flags,
// the mouse tolerance, buttons that never end the show, the deferred exit for every
// busy indicator, the registry switch and the password library, and the cursor calls.
#include "show/exit_filter.h"

#include "platform/headless/headless_show_system.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using platform::TMessage;
using platform::TRegistryValue;

constexpr const char* kLibraryPath = "C:\\WINDOWS\\system32\\PASSWORD.CPL";

TMessage Mouse(int x, int y) { return {0, platform::kWmMouseMove, 0, 0, x, y}; }
TMessage Msg(std::uint32_t number, std::uint64_t wParam = 0) { return {0, number, wParam, 0, 0, 0}; }

class ExitFilter : public ::testing::Test {
 protected:
  explicit ExitFilter(std::string runMode = "S")
      : filter_({system_, system_, system_}, flags_, std::move(runMode),
                {[this] { return drawingCaption_; }, [this] { ++closes_; }, [] { return platform::TWindowHandle(7); }}) {}

  void SetHowToExit(std::int32_t value) { filter_.SetHowToExit(value); }
  void UsePassword(TRegistryValue value) { system_.SetRegistryValue("Control Panel\\Desktop", "ScreenSaveUsePassword", value); }
  static TRegistryValue Number(std::int64_t n) { return {TRegistryValue::TKind::Integer, n, {}}; }
  static TRegistryValue Text(std::string text) { return {TRegistryValue::TKind::Text, 0, std::move(text)}; }
  // Whether the message ended the show (closed it, or deferred the close), starting fresh.
  bool Ends(const TMessage& message) {
    flags_.ExitRequested = false;
    flags_.ExitPending = false;
    closes_ = 0;
    filter_.ExitFilter(message);
    return closes_ == 1 || flags_.ExitPending;
  }

  platform::THeadlessShowSystem system_;
  TShowFlags flags_;
  bool drawingCaption_ = false;
  int closes_ = 0;
  TExitFilter filter_;
};

TEST_F(ExitFilter, EachHowToExitFlagEndsTheShowOnItsOwnInput) {
  struct TCase {
    std::int32_t howToExit;
    bool move, click, keyA, esc;
  };
  const TCase cases[] = {
      {15, true, true, true, true},   {0, false, false, false, false}, {1, true, false, false, false},
      {2, false, true, false, false}, {4, false, false, true, true},   {8, false, false, false, true},
      {12, false, false, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("HowToExit " + std::to_string(c.howToExit));
    SetHowToExit(c.howToExit);
    filter_.ClearFirstMousePosition();
    flags_.ExitRequested = false;
    filter_.ExitFilter(Mouse(100, 100));  // only records the first position
    EXPECT_EQ(closes_, 0);
    EXPECT_EQ(Ends(Mouse(110, 100)), c.move);
    EXPECT_EQ(Ends(Msg(platform::kWmLButtonDown)), c.click);
    EXPECT_EQ(Ends(Msg(platform::kWmKeyDown, 'A')), c.keyA);
    EXPECT_EQ(Ends(Msg(platform::kWmSysKeyDown, 'A')), c.keyA);
    EXPECT_EQ(Ends(Msg(platform::kWmKeyDown, platform::kVkEscape)), c.esc);
    EXPECT_EQ(Ends(Msg(platform::kWmSysKeyDown, platform::kVkEscape)), c.esc);
    EXPECT_FALSE(Ends(Msg(platform::kWmRButtonDown)));
    EXPECT_FALSE(Ends(Msg(platform::kWmMButtonDown)));
  }
}

TEST_F(ExitFilter, MouseMustMoveThreePixelsFromTheFirstPositionSeen) {
  SetHowToExit(1);
  filter_.ExitFilter(Mouse(200, 300));
  EXPECT_EQ(filter_.FirstMouseX(), 200);
  EXPECT_EQ(filter_.FirstMouseY(), 300);
  for (const auto& [x, y] : {std::pair{202, 302}, {198, 298}, {202, 298}, {200, 300}}) {
    filter_.ExitFilter(Mouse(x, y));
    EXPECT_FALSE(flags_.ExitRequested) << x << "," << y;
  }
  EXPECT_TRUE(Ends(Mouse(200, 303)));
  EXPECT_TRUE(Ends(Mouse(197, 300)));
  // At 200 % the same physical movement is half as far in 96-DPI units.
  filter_.SetMouseThreshold(6);
  EXPECT_FALSE(Ends(Mouse(205, 300)));
  EXPECT_TRUE(Ends(Mouse(200, 306)));
}

TEST_F(ExitFilter, LosingTheForegroundEndsTheShowThroughThePassword) {
  // Like an exit input: idle closes, busy defers, a failed password keeps the show.
  const auto deactivated = [this] {
    flags_.ExitRequested = flags_.ExitPending = false;
    closes_ = 0;
    filter_.Deactivated();
    return closes_ == 1 ? "closed" : flags_.ExitPending ? "deferred" : "running";
  };
  EXPECT_STREQ(deactivated(), "closed");
  flags_.Loading = true;
  EXPECT_STREQ(deactivated(), "deferred");
  flags_.Loading = false;
  UsePassword(Number(1));
  system_.Libraries[kLibraryPath].Results = {0};
  EXPECT_STREQ(deactivated(), "running");
  EXPECT_EQ(system_.CallsStartingWith("VerifyScreenSavePwd").size(), 1u);
  EXPECT_FALSE(flags_.ExitRequested);
  // HowToExit 0: nothing ends the show.
  SetHowToExit(0);
  EXPECT_STREQ(deactivated(), "running");
}

TEST_F(ExitFilter, IdleShowClosesAtOnceAndBusyShowDefersForEveryIndicator) {
  EXPECT_TRUE(Ends(Msg(platform::kWmKeyDown, 'A')));
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(flags_.ExitPending);

  bool TShowFlags::*indicators[] = {&TShowFlags::Loading, &TShowFlags::TickBusy, &TShowFlags::ItemBusy,
                                    &TShowFlags::SoundBusy, &TShowFlags::NotifyBusy};
  for (bool TShowFlags::*indicator : indicators) {
    flags_.*indicator = true;
    EXPECT_TRUE(Ends(Msg(platform::kWmKeyDown, 'A')));
    EXPECT_EQ(closes_, 0);
    EXPECT_TRUE(flags_.ExitPending);
    EXPECT_TRUE(flags_.ExitRequested) << "input stays ignored while the exit waits";
    flags_.*indicator = false;
  }
  drawingCaption_ = true;
  EXPECT_TRUE(Ends(Msg(platform::kWmKeyDown, 'A')));
  EXPECT_EQ(closes_, 0);
  EXPECT_TRUE(flags_.ExitPending);
}

TEST_F(ExitFilter, WhileAnExitIsHandledEveryMessageIsIgnored) {
  flags_.ExitRequested = true;
  filter_.ExitFilter(Msg(platform::kWmKeyDown, 'A'));
  filter_.ExitFilter(Msg(platform::kWmImeNotify));
  EXPECT_EQ(closes_, 0);
  EXPECT_TRUE(system_.Calls.empty());
}

TEST_F(ExitFilter, ImeNotifySimulatesTheHotKeyForTheFormAndNothingElse) {
  filter_.ExitFilter(Msg(platform::kWmImeNotify));
  EXPECT_EQ(system_.Calls, std::vector<std::string>{"ImeHotKey 7 16"});
  EXPECT_FALSE(flags_.ExitRequested);
}

TEST_F(ExitFilter, PasswordIsAskedOnlyWhenTheDesktopSettingsSaySo) {
  system_.Libraries[kLibraryPath].Results = {1};
  // No value, a zero, and values that do not read as integers: no password.
  EXPECT_TRUE(filter_.VerifyPassword());
  for (const TRegistryValue& value : {Number(0), Text("0"), Text("yes"), Text(""), TRegistryValue{}}) {
    UsePassword(value);
    EXPECT_TRUE(filter_.VerifyPassword());
  }
  EXPECT_TRUE(system_.CallsStartingWith("LoadLibrary").empty());
  for (const TRegistryValue& value : {Number(1), Text("1")}) {
    UsePassword(value);
    EXPECT_TRUE(filter_.VerifyPassword());
  }
  EXPECT_EQ(system_.CallsStartingWith("LoadLibrary").size(), 2u);
  EXPECT_EQ(system_.CallsStartingWith("FreeLibrary").size(), 2u);
}

TEST_F(ExitFilter, PasswordDialogIsOwnedByTheForegroundWindowAndLibraryPathGetsOneSeparator) {
  UsePassword(Number(1));
  system_.Foreground = 4242;
  system_.SystemFolder = "D:\\SYS\\";
  system_.Libraries["D:\\SYS\\PASSWORD.CPL"].Results = {1};
  EXPECT_TRUE(filter_.VerifyPassword());
  EXPECT_EQ(system_.Calls, (std::vector<std::string>{"ShowCursor 1", "LoadLibrary D:\\SYS\\PASSWORD.CPL",
                                                     "VerifyScreenSavePwd 4242", "FreeLibrary"}));
}

TEST_F(ExitFilter, MissingLibraryOrExportCountsAsVerified) {
  UsePassword(Number(1));
  EXPECT_TRUE(filter_.VerifyPassword());  // no library at all
  system_.Libraries[kLibraryPath].HasExport = false;
  EXPECT_TRUE(filter_.VerifyPassword());
}

TEST_F(ExitFilter, FailedPasswordReturnsToWatchingWithANewFirstPosition) {
  UsePassword(Number(1));
  system_.Libraries[kLibraryPath].Results = {0, 1};
  SetHowToExit(1);
  filter_.SetIsShowCursor(false);
  filter_.ExitFilter(Mouse(50, 50));
  filter_.ExitFilter(Mouse(60, 50));  // refused
  EXPECT_EQ(closes_, 0);
  EXPECT_FALSE(flags_.ExitRequested);
  EXPECT_EQ(filter_.FirstMouseX(), 0);
  EXPECT_EQ(system_.CallsStartingWith("ShowCursor"),
            (std::vector<std::string>{"ShowCursor 1", "ShowCursor 1", "ShowCursor 0", "ShowCursor 0"}));
  EXPECT_EQ(system_.CursorCounter, 0) << "the refusal leaves the cursor as configured";
  // The next movement only records a new first position; 2 pixels from it are tolerated.
  filter_.ExitFilter(Mouse(300, 300));
  filter_.ExitFilter(Mouse(302, 302));
  EXPECT_EQ(system_.CallsStartingWith("VerifyScreenSavePwd").size(), 1u);
  filter_.ExitFilter(Mouse(303, 300));  // accepted
  EXPECT_EQ(closes_, 1);
}

class PreviewExitFilter : public ExitFilter {
 protected:
  PreviewExitFilter() : ExitFilter("P") {}
};

TEST_F(PreviewExitFilter, PreviewNeverAsksForThePassword) {
  UsePassword(Number(1));
  system_.Libraries[kLibraryPath].Results = {0};
  EXPECT_TRUE(Ends(Msg(platform::kWmKeyDown, 'A')));
  EXPECT_TRUE(system_.CallsStartingWith("LoadLibrary").empty());
  // The preview sits in another program's window: losing the foreground means nothing.
  closes_ = 0;
  flags_.ExitRequested = false;
  filter_.Deactivated();
  EXPECT_EQ(closes_, 0);
}

}  // namespace
}  // namespace lumora
