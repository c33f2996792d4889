// The show form on the monitors: which monitor the full-screen form takes, what the
// covers must hide, and that only the full-screen form does either.
#include "app/main_frm.h"
#include "app/run_mode.h"
#include "platform/headless/headless_desktop.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace lumora {
namespace {

using platform::TMonitor;
using platform::TMonitorList;

constexpr TRect kPrimary{0, 0, 1024, 768};

TEST(MainFrmMonitors, PrimaryAndCoverRects) {
  const struct {
    const char* What;
    TMonitorList Monitors;
    std::optional<TRect> Primary;
    std::vector<TRect> Covers;
  } cases[] = {
      {"no monitors known", {}, std::nullopt, {}},
      {"one monitor", {{kPrimary, true}}, kPrimary, {}},
      {"a larger one to the left, higher up, listed first",
       {{{-1280, -256, 0, 768}, false}, {kPrimary, true}},
       kPrimary,
       {{-1280, -256, 0, 768}}},
      {"unmarked: the one at the origin", {{{1024, 0, 2048, 768}, false}, {kPrimary, false}}, kPrimary,
       {{1024, 0, 2048, 768}}},
      {"a mirror of the primary", {{kPrimary, true}, {kPrimary, false}, {{0, 0, 800, 600}, false}}, kPrimary, {}},
      {"overlapping the primary's corner: the parts outside it",
       {{kPrimary, true}, {{512, 384, 1536, 1152}, false}},
       kPrimary,
       {{512, 768, 1536, 1152}, {1024, 384, 1536, 768}}},
  };
  for (const auto& c : cases) {
    const std::optional<TRect> primary = PrimaryMonitorBounds(c.Monitors);
    EXPECT_EQ(primary, c.Primary) << c.What;
    if (primary) {
      EXPECT_EQ(CoverRects(c.Monitors, *primary), c.Covers) << c.What;
    }
  }
}

TEST(MainFrmMonitors, OnlyTheFullScreenFormTakesThePrimaryAndCoversTheRest) {
  const TRect second{1024, 100, 2304, 1124};
  for (const char* mode : {"S", "P"}) {
    const bool fullScreen = std::string_view(mode) == "S";
    SetRunMode(mode);
    platform::THeadlessDesktop desktop;
    desktop.Monitors = {{kPrimary, true}, {second, false}};
    platform::THeadlessApplicationShell shell(desktop);
    TMainFrm form(shell);
    // Placed before it is ever shown.
    EXPECT_EQ(shell.MainFormBounds(), fullScreen ? std::optional<TRect>(kPrimary) : std::nullopt) << mode;
    EXPECT_TRUE(shell.Covers().empty()) << mode;
    shell.ShowMainForm();
    EXPECT_EQ(shell.OpenCoverRects(), fullScreen ? std::vector<TRect>{second} : std::vector<TRect>{}) << mode;
    if (fullScreen) {
      EXPECT_EQ(shell.Covers()[0].Owner, shell.MainFormHandle());
    }
    EXPECT_EQ(form.CoverCount(), fullScreen ? 1u : 0u) << mode;
  }
  SetRunMode("");
}

}  // namespace
}  // namespace lumora
