#include "play_options.h"

#include <charconv>
#include <cstdio>

namespace lumora::tools {

const char* const kPlayUsage =
    "usage: lumora-play [SAVER.scr|SHOW-FOLDER] [--how-to-exit N] [--window-id ID | --root | --preview WxH]\n"
    "Plays a screen saver (or a show folder, packed on the way) on the X display; without\n"
    "one, the show named on the first line of ~/.config/lumora/show.\n"
    "  (no target)      full screen; it ends on the inputs that the settings file beside the\n"
    "                   saver allows (all of them when there is none)\n"
    "  --how-to-exit N  those inputs instead: 1 mouse move, 2 click, 4 any key, 8 Esc, summed\n"
    "  --window-id ID   draw into that window (decimal or 0x hex) and leave its input alone;\n"
    "                   XSCREENSAVER_WINDOW in the environment means the same\n"
    "  --root           draw on the root window (under a screen-saver framework: its window)\n"
    "  --preview WxH    a preview in a window of that size\n"
    "  --version        the version\n"
    "Ends on SIGTERM or SIGINT at once, removing its temporary files. In a framework's\n"
    "window and on the root window messages go to standard error only. Exit status 2 on\n"
    "argument errors, 1 when the display or the show cannot be used.\n";

namespace {

// Decimal, or hexadecimal after 0x, all of the text.
std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const auto pw = ParseNumber(std::string_view(text).substr(0, x));
  const auto ph = ParseNumber(std::string_view(text).substr(x + 1));
  if (!pw || !ph || *pw == 0 || *ph == 0 || *pw > 16384 || *ph > 16384) return false;
  w = static_cast<int>(*pw);
  h = static_cast<int>(*ph);
  return true;
}

}  // namespace

std::string ChosenShowFile(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && *xdgConfigHome == '/') return std::string(xdgConfigHome) + "/lumora/show";
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/lumora/show";
  return {};
}

TPlayOptions ParsePlayOptions(const std::vector<std::string>& args, const char* screenSaverWindow,
                              const std::string& chosenShow) {
  TPlayOptions o;
  bool targetGiven = false;
  const auto setTarget = [&](TPlayTarget target) {
    if (targetGiven) o.Error = "give only one of --window-id, --root and --preview";
    targetGiven = true;
    o.Target = target;
  };
  for (std::size_t i = 0; i < args.size() && o.Error.empty(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      o.Help = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "--how-to-exit" && hasValue) {
      const auto n = ParseNumber(args[++i]);
      if (!n || *n > 15) o.Error = "--how-to-exit takes a number from 0 to 15";
      else o.HowToExit = static_cast<std::int32_t>(*n);
    } else if (a == "--window-id" && hasValue) {
      setTarget(TPlayTarget::Window);
      const auto id = ParseNumber(args[++i]);
      if (!id || *id == 0) o.Error = "bad --window-id " + args[i];
      else o.WindowId = *id;
    } else if (a == "--root" || a == "-root") {
      setTarget(TPlayTarget::Root);
    } else if (a == "--preview" && hasValue) {
      setTarget(TPlayTarget::Preview);
      if (!ParseSize(args[++i], o.PreviewWidth, o.PreviewHeight)) o.Error = "bad --preview " + args[i];
    } else if (!a.empty() && a[0] != '-' && o.Show.empty()) {
      o.Show = a;
    } else {
      o.Error = "unknown or incomplete argument " + a;
    }
  }
  if (o.Help || o.Version || !o.Error.empty()) return o;
  if (o.Show.empty()) o.Show = chosenShow;
  if (o.Show.empty()) {
    o.Error = "no screen saver or show folder given (nor chosen in ~/.config/lumora/show)";
    return o;
  }
  if ((!targetGiven || o.Target == TPlayTarget::Root) && screenSaverWindow != nullptr && *screenSaverWindow != '\0') {
    const auto id = ParseNumber(screenSaverWindow);
    if (!id || *id == 0) {
      o.Error = std::string("bad XSCREENSAVER_WINDOW ") + screenSaverWindow;
    } else {
      o.Target = TPlayTarget::Window;
      o.WindowId = *id;
    }
  }
  return o;
}

}  // namespace lumora::tools
