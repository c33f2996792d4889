#include "render_show.h"

#include "png_writer.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#ifndef _WIN32
#include "platform/headless/headless_clock.h"
#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_media_panel.h"
#include "platform/headless/headless_media_player.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_show_system.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "packer.h"
#include "show/main_frm_show.h"
#include "show/show_config.h"
#include "show/show_payload.h"
#include "temp_folder.h"
#include "trpic/media_host.h"

#include <algorithm>

#include <cstring>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>
#endif

namespace lumora::tools {

#ifndef _WIN32
namespace {

// A video as the scripted player knows it: the native size and the frames of an AVI
// file's main header; any other file opens as a 320 x 240 video of one second.
std::optional<platform::THeadlessMediaPlayer::TMedium> VideoOfFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<char> head(4096);
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(std::size_t(in.gcount()));
  platform::THeadlessMediaPlayer::TMedium medium{1000, false, true, 320, 240, 10};
  const std::string text(head.begin(), head.end());
  const std::size_t at = text.find("avih");
  if (at != std::string::npos && at + 8 + 40 <= text.size()) {
    const auto word = [&](std::size_t offset) {
      std::uint32_t v = 0;
      std::memcpy(&v, text.data() + at + 8 + offset, 4);
      return v;
    };
    medium.Frames = word(16);
    medium.Length = static_cast<std::uint32_t>(std::uint64_t(word(0)) * medium.Frames / 1000);
    medium.Width = static_cast<int>(std::min<std::uint32_t>(word(32), 1 << 15));
    medium.Height = static_cast<int>(std::min<std::uint32_t>(word(36), 1 << 15));
  }
  return medium;
}

// The media panels over the view's frame as a native player would show them: the frame
// image inside the panel's region and, for the video or movie, a grey labelled
// placeholder inside the region of its window.
void DrawMediaPanels(TBitmap32& screen, const platform::THeadlessMediaPanels& panels, const TMediaHost& host,
                     platform::ITextRasterizer& text) {
  const auto* media = static_cast<const platform::THeadlessMediaPanel*>(host.MediaPanel());
  const bool movie = host.MediaKind() == 1;
  const auto* video =
      static_cast<const platform::THeadlessMediaPanel*>(movie ? host.FlashPanel() : host.VideoPanel());
  const auto* frame = static_cast<const platform::THeadlessMediaPanel*>(host.ShapeImage());
  if (media == nullptr || !media->Showing()) return;
  (void)panels;
  const TRect r = media->Bounds();
  // Only what the screen shows of the panel is made: a medium may declare any size.
  const TRect visible = IntersectRect(r, screen.Bounds());
  if (visible.Empty()) return;
  const char* label = movie ? "movie" : "video";
  const int w = r.Width(), h = r.Height();
  // The placeholder: grey with a lighter diagonal from the top left.
  const auto placeholder = [w, h](int x, int y) {
    return y < std::min(w, h) && x == static_cast<int>(std::int64_t(y) * w / std::max(h, 1) % std::max(w, 1))
               ? 0xFFA0A0A0u
               : 0xFF606060u;
  };
  // Its label, centred, drawn over the placeholder in a bitmap of its own.
  const platform::TTextFont font{};
  const platform::TTextExtent extent = text.TextExtent(font, label);
  const TRect labelRect = IntersectRect(
      TRect{(w - extent.Width) / 2 - 8, (h - extent.Height) / 2 - 8, (w + extent.Width) / 2 + 8, (h + extent.Height) / 2 + 8},
      TRect{0, 0, w, h});
  TBitmap32 labelled(std::max(labelRect.Width(), 0), std::max(labelRect.Height(), 0), 0xFF606060u);
  for (int y = 0; y < labelled.Height(); ++y)
    for (int x = 0; x < labelled.Width(); ++x) labelled.At(x, y) = placeholder(labelRect.Left + x, labelRect.Top + y);
  if (!labelled.Empty())
    text.PaintText(labelled, (w - extent.Width) / 2 - labelRect.Left, (h - extent.Height) / 2 - labelRect.Top, font,
                   label, 0xFFFFFFFFu);
  const TBitmap32* image = frame != nullptr && frame->Showing() && frame->Image() ? &*frame->Image() : nullptr;
  const bool videoShowing = video != nullptr && video->Showing();
  for (int sy = visible.Top; sy < visible.Bottom; ++sy)
    for (int sx = visible.Left; sx < visible.Right; ++sx) {
      const int x = sx - r.Left, y = sy - r.Top;
      if (media->Region() && !media->Region()->Contains(x, y)) continue;
      TPixel pixel = 0xFF000000u;
      if (image != nullptr && x < image->Width() && y < image->Height()) pixel = image->At(x, y);
      if (videoShowing && (!video->Region() || video->Region()->Contains(x, y)))
        pixel = x >= labelRect.Left && x < labelRect.Right && y >= labelRect.Top && y < labelRect.Bottom ? labelled.At(x - labelRect.Left, y - labelRect.Top) : placeholder(x, y);
      screen.At(sx, sy) = pixel;
    }
}

}  // namespace
#endif

const char* const kRenderShowUsage =
    "usage: lumora-render show SAVER.scr|SHOW-FOLDER -o OUT.png [--item N] [--screen WxH] [--preview WxH]\n"
    "       [--seed N]\n"
    "Plays a packed screen saver (or a show folder, packed on the way) headless and writes\n"
    "the screen as item N shows after its show-in; items count like their sections, so\n"
    "--item 1 (the default) is [Pic1].\n"
    "  --screen WxH   the full-screen show's screen (default 1024x768)\n"
    "  --preview WxH  play it as the preview in a window of that size instead\n"
    "  --seed N       the random numbers of placements, effects and shuffled order\n"
    "A preview that shows only its desktop-preview picture or the built-in picture is\n"
    "written as it stands. Exit status 2 on argument errors (a missing file included), 1\n"
    "when the item is not in the show or never shows.\n";

namespace {

bool ParseSize(const std::string& text, int& w, int& h) {
  return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 16384 && h <= 16384;
}

bool ParseItem(const std::string& text, int& item) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < 1 || n > 0x7FFFFFFF) return false;
  item = static_cast<int>(n);
  return true;
}

#ifndef _WIN32
// The list position of section [Pic<item>], by the player's own rule for the items it
// keeps; or why the section is not in the list.
bool ListPosition(platform::IFileSystem& files, const std::filesystem::path& saver, int item, bool preview,
                  int& position, std::string& why) {
  const std::unique_ptr<platform::IReadableFile> file = files.OpenForReadDenyWrite(saver);
  if (!file) {
    why = "cannot open the file";
    return false;
  }
  // Only the configuration is read: inflating every entry to check it would cost as much
  // as the show's own extraction of the item.
  const std::optional<PayloadTrailer> trailer = ReadPayloadTrailer(*file);
  std::uint32_t inflated = 0;
  std::string configText;
  const bool configOk =
      trailer &&
      ReadEntryInflatedSize(*file, trailer->ConfigPosition, trailer->ConfigStoredSize, inflated) == TEntryStatus::Ok &&
      inflated <= kMaxConfigTextSize &&
      InflateEntry(*file, trailer->ConfigPosition, trailer->ConfigStoredSize,
                   [&](std::span<const std::byte> chunk) {
                     configText.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
                     return true;
                   },
                   true) == TEntryStatus::Ok;
  if (!configOk) return position = item - 1, true;  // the show itself says what is wrong
  const std::unique_ptr<TBiggerIniFile> ini = IniFromText(configText);
  const TIniIndex index(*ini);
  const int count = index.ReadInteger("AppInfo", "PicCount", 0);
  if (item > count) {
    why = "the show has " + std::to_string(std::max(count, 0)) + " item sections; --item " + std::to_string(item) +
          " is past the last one";
    return false;
  }
  position = 0;
  for (int n = 1; n <= item; ++n) {
    const std::string section = PicSectionName(n);
    const bool kept = index.ReadInteger(section, "FilePos", -1) != -1 && index.ReadInteger(section, "FileSize", 0) != 0 &&
                      (!preview || index.ReadInteger(section, "MediaStyle", 0) == 0);
    if (n == item && !kept) {
      why = "[" + section + "] is not played (" + (preview ? "no entry, or a media item in a preview)" : "no entry)");
      return false;
    }
    if (kept && n < item) ++position;
  }
  return true;
}
#endif

}  // namespace

int RenderShow(const std::vector<std::string>& args) {
  std::string scr, out;
  int item = 1, screenW = 1024, screenH = 768, clientW = 0, clientH = 0;
  unsigned seed = 0;
  bool preview = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      std::fputs(kRenderShowUsage, stdout);
      return 0;
    } else if (a == "-o" && hasValue) {
      out = args[++i];
    } else if (a == "--item" && hasValue) {
      if (!ParseItem(args[++i], item)) {
        std::fprintf(stderr, "lumora-render: bad --item %s (items count from 1, as [Pic1])\n", args[i].c_str());
        return 2;
      }
    } else if (a == "--screen" && hasValue) {
      if (!ParseSize(args[++i], screenW, screenH)) {
        std::fprintf(stderr, "lumora-render: bad --screen %s\n", args[i].c_str());
        return 2;
      }
    } else if (a == "--preview" && hasValue) {
      preview = true;
      if (!ParseSize(args[++i], clientW, clientH)) {
        std::fprintf(stderr, "lumora-render: bad --preview %s\n", args[i].c_str());
        return 2;
      }
    } else if (a == "--seed" && hasValue) {
      seed = static_cast<unsigned>(std::strtoul(args[++i].c_str(), nullptr, 10));
    } else if (!a.empty() && a[0] != '-' && scr.empty()) {
      scr = a;
    } else {
      std::fprintf(stderr, "lumora-render: unknown or incomplete argument %s\n(see lumora-render show --help)\n",
                   a.c_str());
      return 2;
    }
  }
  if (scr.empty() || out.empty()) {
    std::fputs(kRenderShowUsage, stderr);
    return 2;
  }
#ifdef _WIN32
  (void)item, (void)seed, (void)preview, (void)clientW, (void)clientH;
  std::fputs("lumora-render: rendering shows is done by the native build\n", stderr);
  return 1;
#else
  namespace fs = std::filesystem;
  {
    std::error_code ec;
    if (!fs::exists(fs::u8path(scr), ec)) {
      std::fprintf(stderr, "lumora-render: %s: the file does not exist\n", scr.c_str());
      return 2;
    }
  }
  if (!preview) {
    clientW = screenW;
    clientH = screenH;
  }
  const TRenderTempFolder tempFolder;
  const fs::path& temp = tempFolder.Path();
  struct TForm final : platform::IFormWindow {
    platform::TWindowHandle Handle() const override { return 1; }
    void SetFormStyle(platform::TFormStyle) override {}
    bool EmbedIn(platform::TWindowHandle) override { return false; }
    void Close() override { closed = true; }
    bool closed = false;
  } form;
  int status = 0;
  fs::path saver = scr;
  std::error_code ec;
  if (fs::is_directory(saver, ec)) {
    try {
      platform::THeadlessFileSystem packFiles;
      std::vector<std::string> warnings;
      saver = pack::PackFolderForPlaying(packFiles, scr, temp, &warnings);
      for (const std::string& w : warnings) std::fprintf(stderr, "lumora-render: warning: %s\n", w.c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "lumora-render: cannot pack %s: %s\n", scr.c_str(), e.what());
      fs::remove_all(temp, ec);
      return 1;
    }
  }
  {
    platform::THeadlessFileSystem files(saver, temp);

    platform::THeadlessSurface surface({clientW, clientH}, {screenW, screenH});
    platform::THeadlessTextRasterizer text;
    platform::THeadlessDesktopCapture desktop;
    platform::THeadlessRandom random(seed);
    platform::THeadlessMessageBox messages;
    platform::THeadlessShowSystem system;
    platform::THeadlessClock clock;
    TTrPic view(TTrPicPlatform{surface, text, desktop, random, messages});
    platform::THeadlessMediaPanels panels;
    // Movies play in the scripted control: their place is drawn like a video's.
    platform::THeadlessActiveXHost activeX(clock);
    view.SetMediaPlatform(TMediaHostPlatform{panels, clock,
                                             [&clock] {
                                               auto player = std::make_unique<platform::THeadlessMediaPlayer>(clock);
                                               player->Media = VideoOfFile;
                                               return player;
                                             },
                                             nullptr, &activeX, [&clock] { return clock.Now(); }});
    const auto mediaShown = [&] {
      const TMediaHost* host = view.MediaHost();
      return host != nullptr && host->MediaPanel() != nullptr &&
             static_cast<const platform::THeadlessMediaPanel*>(host->MediaPanel())->Showing();
    };
    TMainFrmShow show(TShowPlatform{files, system, system, system, clock, messages, random}, form, view,
                      preview ? "P" : "S");
    show.FormShow();
    for (const std::string& m : messages.Shown()) std::fprintf(stderr, "lumora-render: the show says: %s\n", m.c_str());
    bool shown = !show.timScr().Enabled() && !form.closed;  // a preview's picture alone
    int position = 0;
    std::string why;
    if (!shown && !ListPosition(files, saver, item, preview, position, why)) {
      std::fprintf(stderr, "lumora-render: %s\n", why.c_str());
      show.FormClose();
      std::error_code ignored;
      fs::remove_all(temp, ignored);
      return 1;
    }
    // The item's turn comes once per round; when it has come and gone without the
    // picture on screen, it will not show later either.
    bool turnCame = false, turnPassed = false;
    for (int ticks = 0; !shown && !turnPassed && !form.closed && ticks < 100000; ++ticks) {
      if (!clock.AdvanceToNextTimer()) break;
      const bool itsTurn = show.CurrentIndex() == position;
      shown = itsTurn && (view.PicShown() || mediaShown());
      turnPassed = turnCame && !itsTurn;
      turnCame = turnCame || itsTurn;
    }
    if (!shown) {
      std::fprintf(stderr, "lumora-render: item %d never showed%s\n", item,
                   form.closed ? " (the show closed)" : turnPassed ? " (its picture could not be shown)" : "");
      status = 1;
    } else {
      std::string error;
      TBitmap32 screen = surface.Screen();
      if (mediaShown()) DrawMediaPanels(screen, panels, *view.MediaHost(), text);
      if (!WritePng(out, screen, &error)) {
        std::fprintf(stderr, "lumora-render: %s\n", error.c_str());
        status = 1;
      }
    }
    show.FormClose();
    view.FreeMedia();
  }
  std::error_code ignored;
  fs::remove_all(temp, ignored);
  return status;
#endif
}

}  // namespace lumora::tools
