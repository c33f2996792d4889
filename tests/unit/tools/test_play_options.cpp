// lumora-play's command line: the targets, the exit override and the screen-saver
// framework's window from the environment.
#include "play_options.h"

#include <gtest/gtest.h>

namespace lumora::tools {
namespace {

struct TCase {
  std::vector<std::string> Args;
  const char* EnvWindow;
  TPlayTarget Target;
  std::uint64_t WindowId;
  int HowToExit;  // -1: not given
  bool Error;
};

TEST(PlayOptions, TargetsOverridesAndErrors) {
  const TCase cases[] = {
      {{"a.scr"}, nullptr, TPlayTarget::FullScreen, 0, -1, false},
      {{"a.scr", "--how-to-exit", "8"}, nullptr, TPlayTarget::FullScreen, 0, 8, false},
      {{"a.scr", "--window-id", "0x1a00003"}, nullptr, TPlayTarget::Window, 0x1a00003, -1, false},
      {{"a.scr", "--window-id", "4242"}, nullptr, TPlayTarget::Window, 4242, -1, false},
      // The framework's window stands in for --window-id, but a target given wins.
      {{"a.scr"}, "0x600001", TPlayTarget::Window, 0x600001, -1, false},
      {{"a.scr", "--root"}, "0x600001", TPlayTarget::Root, 0, -1, false},
      {{"a.scr", "--preview", "152x112"}, "", TPlayTarget::Preview, 0, -1, false},
      {{"a.scr"}, "junk", TPlayTarget::FullScreen, 0, -1, true},
      {{"a.scr", "--how-to-exit", "16"}, nullptr, TPlayTarget::FullScreen, 0, -1, true},
      {{"a.scr", "--how-to-exit", "-1"}, nullptr, TPlayTarget::FullScreen, 0, -1, true},
      {{"a.scr", "--window-id", "0"}, nullptr, TPlayTarget::Window, 0, -1, true},
      {{"a.scr", "--window-id", "12x"}, nullptr, TPlayTarget::Window, 0, -1, true},
      {{"a.scr", "--preview", "0x10"}, nullptr, TPlayTarget::Preview, 0, -1, true},
      {{"a.scr", "--preview", "100"}, nullptr, TPlayTarget::Preview, 0, -1, true},
      {{"a.scr", "--root", "--preview", "10x10"}, nullptr, TPlayTarget::Preview, 0, -1, true},
      {{"a.scr", "b.scr"}, nullptr, TPlayTarget::FullScreen, 0, -1, true},
      {{"--root"}, nullptr, TPlayTarget::Root, 0, -1, true},
      {{"a.scr", "--how-to-exit"}, nullptr, TPlayTarget::FullScreen, 0, -1, true},
  };
  for (const TCase& c : cases) {
    std::string line;
    for (const std::string& a : c.Args) line += a + " ";
    SCOPED_TRACE(line + (c.EnvWindow != nullptr ? std::string("XSCREENSAVER_WINDOW=") + c.EnvWindow : ""));
    const TPlayOptions o = ParsePlayOptions(c.Args, c.EnvWindow);
    EXPECT_EQ(!o.Error.empty(), c.Error) << o.Error;
    if (c.Error) continue;
    EXPECT_EQ(o.Show, "a.scr");
    EXPECT_EQ(o.Target, c.Target);
    EXPECT_EQ(o.WindowId, c.WindowId);
    EXPECT_EQ(o.HowToExit.value_or(-1), c.HowToExit);
  }
  const TPlayOptions preview = ParsePlayOptions({"a.scr", "--preview", "152x112"}, nullptr);
  EXPECT_EQ(preview.PreviewWidth, 152);
  EXPECT_EQ(preview.PreviewHeight, 112);
}

}  // namespace
}  // namespace lumora::tools
