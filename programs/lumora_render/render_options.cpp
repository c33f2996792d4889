#include "render_options.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

namespace lumora::tools {

const char* const kRenderUsage =
    "usage: lumora-render [PICTURE] -o OUT.png [options]   one state of the picture view\n"
    "       lumora-render show SAVER.scr|SHOW-FOLDER -o OUT.png [--item N] ...\n"
    "                                 an item of a show as the player displays it\n"
    "                                 (lumora-render show --help)\n"
    "       lumora-render settings ...  the settings dialog (lumora-render settings --help)\n"
    "\n"
    "Renders one state of the picture view (headless) to a PNG file.\n"
    "  --client WxH            client area (default 800x600)\n"
    "  --screen WxH            physical screen (default: the client size)\n"
    "  --as-screen on|off      the client stands for the whole screen (default on)\n"
    "  --screen-scale WxH      virtual screen for percentages with --as-screen off (800x600)\n"
    "  --pic-size original|full-window|user   --pic-size-hor P   --pic-size-ver P\n"
    "  --pic-size-ref original|screen\n"
    "  --pic-pos random|center|top-left|top-center|top-right|bottom-left|bottom-center|\n"
    "            bottom-right|user   --pic-pos-hor P   --pic-pos-ver P\n"
    "  --mask FILE             compose the picture through this mask   --opacity N (0..255)\n"
    "  --stamp                 stamp the picture into the background\n"
    "  --caption \"L1|L2\"       caption lines   --cap-font NAME   --cap-height PX | --cap-size PT\n"
    "  --cap-color BBGGRR      --cap-bold --cap-italic --cap-underline --cap-strikeout\n"
    "  --cap-pos random|center|top-left|...|user   --cap-pos-hor P   --cap-pos-ver P   --cap-hidden\n"
    "  --bg solid|gradient|pattern|picture|screen\n"
    "  --bg-color BBGGRR       --bg-from BBGGRR   --bg-to BBGGRR\n"
    "  --bg-direction up|down|left|right|horz-in|horz-out|vert-in|vert-out\n"
    "  --bg-pattern \"Name|fb,fg,fr,ob,og,or,m\"   --bg-picture FILE\n"
    "  --bg-mode centered|stretched|tiled|smart-tiled   --bg-fill none|solid|gradient|pattern|screen\n"
    "  --bg-fix-hor  --bg-fix-ver\n"
    "  --desktop FILE          the picture that stands for the desktop (screen backgrounds)\n"
    "  --seed N                random placements   --frame-only (no caption layer)\n"
    "  --style S               transition style 0..78 (default: the picture at once)\n"
    "  --step K                the frame of step K of that transition (default: its end)\n"
    "  --out                   the show-out of the picture instead of its show-in\n"
    "  --show-speed MS         milliseconds between frames (--window)\n"
    "  --gallery               a contact sheet of all 79 styles at the middle of their show-in\n"
    "                          (10 x 8 cells of the client size; a test card without PICTURE)\n"
    "  --window [--seconds N]  Windows build: show the view in a window at the screen's\n"
    "                          top-left corner (until a key, a click or N seconds)\n"
    "Colours are hexadecimal 00BBGGRR, red in the low byte. Exit status 2 on argument errors.\n";

namespace {

template <typename E, std::size_t N>
bool ParseName(std::string_view value, const std::array<std::string_view, N>& names, E& out) {
  for (std::size_t i = 0; i < N; ++i) {
    if (value == names[i]) {
      out = static_cast<E>(i);
      return true;
    }
  }
  return false;
}

template <std::size_t N>
std::string Choices(const std::array<std::string_view, N>& names) {
  std::string s;
  for (const auto name : names) {
    if (!s.empty()) s += ", ";
    s += name;
  }
  return s;
}

constexpr std::array<std::string_view, 3> kPicSizes = {"original", "full-window", "user"};
constexpr std::array<std::string_view, 2> kPicSizeRefs = {"original", "screen"};
constexpr std::array<std::string_view, 10> kPicPositions = {"random",      "center",        "top-left",     "top-center",
                                                            "top-right",   "bottom-left",   "bottom-center", "bottom-right",
                                                            "user",        "current"};
constexpr std::array<std::string_view, 9> kCapPositions = {"random",      "center",        "top-left",
                                                           "top-center",  "top-right",     "bottom-left",
                                                           "bottom-center", "bottom-right", "user"};
constexpr std::array<std::string_view, 5> kBgStyles = {"solid", "gradient", "pattern", "picture", "screen"};
constexpr std::array<std::string_view, 5> kBgFills = {"none", "solid", "gradient", "pattern", "screen"};
constexpr std::array<std::string_view, 4> kBgModes = {"centered", "stretched", "tiled", "smart-tiled"};
constexpr std::array<std::string_view, 8> kDirections = {"up",      "down",     "left",    "right",
                                                         "horz-in", "horz-out", "vert-in", "vert-out"};

bool ParseInt(std::string_view s, int& out) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

bool ParseFloat(std::string_view s, float& out) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty() && std::isfinite(out);
}

bool ParseSize(std::string_view s, int& w, int& h) {
  const auto x = s.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  return ParseInt(s.substr(0, x), w) && ParseInt(s.substr(x + 1), h) && w > 0 && h > 0 && w <= 16384 && h <= 16384;
}

bool ParseColour(std::string_view s, TColor& out) {
  if (s.starts_with("0x") || s.starts_with("0X")) s.remove_prefix(2);
  else if (s.starts_with("$")) s.remove_prefix(1);
  if (s.empty() || s.size() > 8) return false;
  std::uint32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  out = static_cast<TColor>(v);
  return true;
}

std::vector<std::string> SplitLines(std::string_view s) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const auto bar = s.find('|', start);
    lines.emplace_back(s.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return lines;
}

// Point size to pixel height at 96 pixels per inch, rounded half away from zero.
int HeightFromPoints(int points) {
  const long long p = static_cast<long long>(points) * 96;
  const long long magnitude = (std::llabs(p) + 36) / 72;
  return static_cast<int>(p < 0 ? magnitude : -magnitude);
}

}  // namespace

bool ParseRenderOptions(const std::vector<std::string>& args, TRenderOptions& o, std::string& error) {
  const auto fail = [&error](std::string message) {
    error = std::move(message);
    return false;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // Options with a value take the next argument.
    const auto value = [&](std::string_view& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string_view v;
    const auto needs = [&]() { return fail("option " + arg + " needs a value"); };
    const auto bad = [&](std::string_view what) {
      return fail("option " + arg + ": '" + std::string(v) + "' is not " + std::string(what));
    };
    if (arg == "-h" || arg == "--help") {
      o.Help = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(v)) return needs();
      o.OutputFile = v;
    } else if (arg == "--client") {
      if (!value(v)) return needs();
      if (!ParseSize(v, o.ClientWidth, o.ClientHeight)) return bad("a size WxH (1..16384 each)");
    } else if (arg == "--screen") {
      if (!value(v)) return needs();
      int w = 0, h = 0;
      if (!ParseSize(v, w, h)) return bad("a size WxH (1..16384 each)");
      o.ScreenWidth = w;
      o.ScreenHeight = h;
    } else if (arg == "--screen-scale") {
      if (!value(v)) return needs();
      if (!ParseSize(v, o.ScreenScaleWidth, o.ScreenScaleHeight)) return bad("a size WxH");
    } else if (arg == "--as-screen") {
      if (!value(v)) return needs();
      if (v == "on") o.AsScreen = true;
      else if (v == "off") o.AsScreen = false;
      else return bad("on or off");
    } else if (arg == "--pic-size") {
      if (!value(v)) return needs();
      if (!ParseName(v, kPicSizes, o.PicSize)) return bad("one of " + Choices(kPicSizes));
    } else if (arg == "--pic-size-ref") {
      if (!value(v)) return needs();
      if (!ParseName(v, kPicSizeRefs, o.PicSizeRef)) return bad("one of " + Choices(kPicSizeRefs));
    } else if (arg == "--pic-size-hor" || arg == "--pic-size-ver" || arg == "--pic-pos-hor" || arg == "--pic-pos-ver" ||
               arg == "--cap-pos-hor" || arg == "--cap-pos-ver") {
      if (!value(v)) return needs();
      float f = 0;
      if (!ParseFloat(v, f)) return bad("a number (percent)");
      if (arg == "--pic-size-hor") o.PicSizeHor = f;
      else if (arg == "--pic-size-ver") o.PicSizeVer = f;
      else if (arg == "--pic-pos-hor") o.PicPosHor = f;
      else if (arg == "--pic-pos-ver") o.PicPosVer = f;
      else if (arg == "--cap-pos-hor") o.CapPosHor = f;
      else o.CapPosVer = f;
    } else if (arg == "--pic-pos") {
      if (!value(v)) return needs();
      if (!ParseName(v, kPicPositions, o.PicPos)) return bad("one of " + Choices(kPicPositions));
    } else if (arg == "--mask") {
      if (!value(v)) return needs();
      o.MaskFile = v;
    } else if (arg == "--opacity") {
      if (!value(v)) return needs();
      if (!ParseInt(v, o.PicOpacity) || o.PicOpacity < 0 || o.PicOpacity > 255) return bad("an opacity 0..255");
    } else if (arg == "--stamp") {
      o.Stamp = true;
    } else if (arg == "--caption") {
      if (!value(v)) return needs();
      o.Caption = SplitLines(v);
    } else if (arg == "--cap-font") {
      if (!value(v)) return needs();
      o.CapFont.Name = v;
    } else if (arg == "--cap-height" || arg == "--cap-size") {
      if (!value(v)) return needs();
      int n = 0;
      if (!ParseInt(v, n) || n == 0 || n < -2000 || n > 2000) return bad("a non-zero size (-2000..2000)");
      o.CapFont.SetHeight(arg == "--cap-height" ? n : HeightFromPoints(n));
    } else if (arg == "--cap-color") {
      if (!value(v)) return needs();
      if (!ParseColour(v, o.CapFont.Color)) return bad("a colour (hexadecimal 00BBGGRR)");
    } else if (arg == "--cap-bold") {
      o.CapFont.Style.Bold = true;
    } else if (arg == "--cap-italic") {
      o.CapFont.Style.Italic = true;
    } else if (arg == "--cap-underline") {
      o.CapFont.Style.Underline = true;
    } else if (arg == "--cap-strikeout") {
      o.CapFont.Style.StrikeOut = true;
    } else if (arg == "--cap-pos") {
      if (!value(v)) return needs();
      if (!ParseName(v, kCapPositions, o.CapPos)) return bad("one of " + Choices(kCapPositions));
    } else if (arg == "--cap-hidden") {
      o.CapVisible = false;
    } else if (arg == "--bg") {
      if (!value(v)) return needs();
      if (!ParseName(v, kBgStyles, o.BgStyle)) return bad("one of " + Choices(kBgStyles));
    } else if (arg == "--bg-fill") {
      if (!value(v)) return needs();
      if (!ParseName(v, kBgFills, o.BgBgpStyle)) return bad("one of " + Choices(kBgFills));
    } else if (arg == "--bg-mode") {
      if (!value(v)) return needs();
      if (!ParseName(v, kBgModes, o.BgPictureMode)) return bad("one of " + Choices(kBgModes));
    } else if (arg == "--bg-direction") {
      if (!value(v)) return needs();
      if (!ParseName(v, kDirections, o.BgGradientDirection)) return bad("one of " + Choices(kDirections));
    } else if (arg == "--bg-color" || arg == "--bg-from" || arg == "--bg-to") {
      if (!value(v)) return needs();
      TColor c = 0;
      if (!ParseColour(v, c)) return bad("a colour (hexadecimal 00BBGGRR)");
      (arg == "--bg-color" ? o.BgSolidColor : arg == "--bg-from" ? o.BgGradientFromColor : o.BgGradientToColor) = c;
    } else if (arg == "--bg-pattern") {
      if (!value(v)) return needs();
      o.BgPatternString = v;
    } else if (arg == "--bg-picture") {
      if (!value(v)) return needs();
      o.BgPictureFile = v;
    } else if (arg == "--bg-fix-hor") {
      o.BgBgpFixHor = true;
    } else if (arg == "--bg-fix-ver") {
      o.BgBgpFixVer = true;
    } else if (arg == "--desktop") {
      if (!value(v)) return needs();
      o.DesktopFile = v;
    } else if (arg == "--seed") {
      if (!value(v)) return needs();
      int n = 0;
      if (!ParseInt(v, n) || n < 0) return bad("a seed (0 or more)");
      o.Seed = static_cast<unsigned>(n);
    } else if (arg == "--window") {
      o.Window = true;
    } else if (arg == "--seconds") {
      if (!value(v)) return needs();
      if (!ParseInt(v, o.WindowSeconds) || o.WindowSeconds < 0) return bad("a number of seconds");
    } else if (arg == "--style") {
      if (!value(v)) return needs();
      int n = 0;
      if (!ParseInt(v, n) || n < 0 || n > 78) return bad("a style 0..78");
      o.Style = n;
    } else if (arg == "--step") {
      if (!value(v)) return needs();
      int n = 0;
      if (!ParseInt(v, n) || n < 0) return bad("a step (0 or more)");
      o.Step = n;
    } else if (arg == "--out") {
      o.ShowOut = true;
    } else if (arg == "--show-speed") {
      if (!value(v)) return needs();
      if (!ParseInt(v, o.ShowSpeed) || o.ShowSpeed < 1 || o.ShowSpeed > 65535) return bad("milliseconds 1..65535");
    } else if (arg == "--gallery") {
      o.Gallery = true;
    } else if (arg == "--frame-only") {
      o.FrameOnly = true;
    } else if (arg.size() > 1 && arg.front() == '-') {
      return fail("unknown option " + arg);
    } else if (o.PictureFile.empty()) {
      o.PictureFile = arg;
    } else {
      return fail("more than one picture given: '" + o.PictureFile + "' and '" + arg + "'");
    }
  }
  if (o.Help) return true;
  if (o.Window) {
#ifndef _WIN32
    return fail("option --window: windows are shown by the Windows build only");
#else
    return true;
#endif
  }
  if (o.OutputFile.empty()) return fail("no output file given (-o OUT.png)");
  return true;
}

}  // namespace lumora::tools
