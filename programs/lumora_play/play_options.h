// The command line of lumora-play.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora::tools {

extern const char* const kPlayUsage;

enum class TPlayTarget {
  FullScreen,  // a window of ours over the screen, ending on the configured inputs
  Window,      // a window somebody else gives us; its input is theirs
  Root,        // the root window; no input is ours
  Preview,     // a window of ours of the given size
};

struct TPlayOptions {
  std::string Show;  // a .scr file or a show folder
  TPlayTarget Target = TPlayTarget::FullScreen;
  std::uint64_t WindowId = 0;
  int PreviewWidth = 0;
  int PreviewHeight = 0;
  std::optional<std::int32_t> HowToExit;
  bool Help = false;
  bool Version = false;
  std::string Error;  // set when the arguments cannot be used
};

// args: the arguments after the program name. screenSaverWindow: the value of
// XSCREENSAVER_WINDOW, or null; it stands for --window-id when no target is given, and
// for the root window that --root names (a framework's window is its virtual root).
// chosenShow: the show the user chose for screen-saver frameworks (the first line of
// ChosenShowFile()), played when the arguments name none.
TPlayOptions ParsePlayOptions(const std::vector<std::string>& args, const char* screenSaverWindow,
                              const std::string& chosenShow = {});

// Where the user's chosen show is named: $XDG_CONFIG_HOME/lumora/show, else
// $HOME/.config/lumora/show; empty when neither variable is set.
std::string ChosenShowFile(const char* xdgConfigHome, const char* home);

}  // namespace lumora::tools
