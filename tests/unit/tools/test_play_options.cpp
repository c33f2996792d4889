// lumora-play's command line (the targets, the exit override and the screen-saver
// framework's window from the environment) and its temporary folder.
#include "play_options.h"
#include "play_scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

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
      // The framework's window stands in for --window-id and is the root it means (its
      // virtual root), but another target given wins.
      {{"a.scr"}, "0x600001", TPlayTarget::Window, 0x600001, -1, false},
      {{"a.scr", "-root"}, "0x600001", TPlayTarget::Window, 0x600001, -1, false},
      {{"a.scr", "--window-id", "7"}, "0x600001", TPlayTarget::Window, 7, -1, false},
      {{"a.scr", "--root"}, nullptr, TPlayTarget::Root, 0, -1, false},
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
  // Without a show, the one the user chose; a show given wins.
  EXPECT_EQ(ParsePlayOptions({"--root"}, nullptr, "/home/u/chosen.scr").Show, "/home/u/chosen.scr");
  EXPECT_EQ(ParsePlayOptions({"a.scr"}, nullptr, "/home/u/chosen.scr").Show, "a.scr");
  EXPECT_EQ(ChosenShowFile("/x/config", "/home/u"), "/x/config/lumora/show");
  EXPECT_EQ(ChosenShowFile("relative", "/home/u"), "/home/u/.config/lumora/show");
  EXPECT_EQ(ChosenShowFile(nullptr, nullptr), "");
}

// The folders of processes that are gone go at the next start; a folder of a live
// process, one whose lock is held, one not of our naming or a link stays.
TEST(PlayScratch, TheNextStartRemovesOnlyTheFoldersOfProcessesThatAreGone) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/lumora-scratch-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path base = pattern;
  // A process id nobody has now: a child that has ended.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  const struct {
    std::string Name;
    bool Locked;
    bool Stays;
  } cases[] = {
      {"lumora-play-" + dead, false, false},
      {"lumora-play-" + std::to_string(::getppid()), false, true},
      {"lumora-play-" + dead + "0", true, true},  // an owner in another process namespace
      {"lumora-play-" + dead + "x", false, true},
      {"lumora-render-" + dead, false, true},
  };
  std::vector<int> locks;
  for (const auto& c : cases) {
    fs::create_directories(base / c.Name / "sub");
    std::ofstream(base / c.Name / "sub" / "tmp1.wav") << "data";
    if (c.Locked) {
      locks.push_back(::open((base / c.Name).c_str(), O_RDONLY | O_DIRECTORY));
      ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
    }
  }
  fs::create_directories(base / "elsewhere");
  fs::create_directory_symlink(base / "elsewhere", base / ("lumora-play-" + dead + "1"));
  {
    const TPlayScratch scratch(base);
    EXPECT_EQ(scratch.Path(), base / ("lumora-play-" + std::to_string(::getpid())));
    EXPECT_TRUE(fs::is_directory(scratch.Path()));
    // Our own folder is never taken for a dead one's.
    RemoveDeadScratchFolders(base);
    EXPECT_TRUE(fs::is_directory(scratch.Path()));
    for (const auto& c : cases) EXPECT_EQ(fs::exists(base / c.Name), c.Stays) << c.Name;
    EXPECT_TRUE(fs::is_symlink(base / ("lumora-play-" + dead + "1")));
  }
  EXPECT_FALSE(fs::exists(base / ("lumora-play-" + std::to_string(::getpid()))));
  for (const int fd : locks) ::close(fd);
  fs::remove_all(base);
}

}  // namespace
}  // namespace lumora::tools
