// lumora-play: a screen saver of this layout (or a show folder) played natively on X11
// by the same core as lumora.scr: full screen, in a window somebody gives us (the way
// Linux screen-saver frameworks run their programs), on the root window, or as a preview.
#include "app/main_frm.h"
#include "app/run_mode.h"
#include "packer.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_text.h"
#include "platform/show_trace.h"
#include "platform/x11/x11_loop.h"
#include "platform/x11/x11_media_panel.h"
#include "platform/x11/x11_named_mutex.h"
#include "platform/x11/x11_surface.h"
#include "platform/x11/x11_system.h"
#include "platform/x11/x11_threads.h"
#include "play_options.h"
#include "play_scratch.h"
#include "show/main_frm_show.h"
#include "trpic/media_host.h"

#ifdef LUMORA_PLAY_MEDIA
#include "platform/x11/gst_media_player.h"
#endif

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace lumora;
namespace fs = std::filesystem;

// The show's window as the show logic sees it: closing it ends the loop.
class TPlayForm final : public platform::IFormWindow {
 public:
  TPlayForm(platform::TX11Loop& loop, platform::TWindowHandle handle) : loop_(loop), handle_(handle) {}
  platform::TWindowHandle Handle() const override { return handle_; }
  void SetFormStyle(platform::TFormStyle) override {}
  bool EmbedIn(platform::TWindowHandle) override { return false; }
  void Close() override { loop_.Quit(); }

 private:
  platform::TX11Loop& loop_;
  platform::TWindowHandle handle_;
};

// The show with its Flash items passed over: no control plays them here. Videos play
// as on Windows, where GStreamer is built in.
class TPlayShow final : public TMainFrmShow {
 public:
  using TMainFrmShow::TMainFrmShow;

 protected:
  bool ShowMediaItem() override {
    std::string ext = CurrentItem() != nullptr ? CurrentItem()->PicFileName : std::string();
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
#ifdef LUMORA_PLAY_MEDIA
    if (ext != ".swf") return TMainFrmShow::ShowMediaItem();
#endif
    // Once per item, not at every round of the show.
    if (noted_.insert(CurrentIndex()).second)
      std::fprintf(stderr, "lumora-play: item %d is %s; skipped\n", CurrentIndex() + 1,
                   ext == ".swf" ? "a Flash movie, which plays only on Windows"
                                 : "a video, and this lumora-play was built without GStreamer");
    return false;
  }

 private:
  std::set<std::int32_t> noted_;
};

// A black window over a monitor the show does not use.
class TCover {
 public:
  TCover(Display* d, const TRect& r) : display_(d) {
    XSetWindowAttributes a{};
    a.background_pixel = BlackPixel(d, DefaultScreen(d));
    a.override_redirect = True;
    a.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask;
    window_ = XCreateWindow(d, DefaultRootWindow(d), r.Left, r.Top, static_cast<unsigned>(r.Width()),
                            static_cast<unsigned>(r.Height()), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
    XMapRaised(d, window_);
  }
  ~TCover() { XDestroyWindow(display_, window_); }
  TCover(const TCover&) = delete;
  TCover& operator=(const TCover&) = delete;

 private:
  Display* display_;
  Window window_;
};

// What an exit that runs no destructors (the display lost) must still remove.
tools::TPlayScratch* gScratch = nullptr;
std::filesystem::path gOwnedLock;

void RemoveLeftovers() {
  if (gScratch != nullptr) gScratch->Remove();
  if (!gOwnedLock.empty()) ::unlink(gOwnedLock.c_str());
}

// The targets that belong to a screen-saver framework (or to the desktop): nobody may be
// there to answer a dialog, so messages go to standard error only.
bool FrameworkTarget(tools::TPlayTarget target) {
  return target == tools::TPlayTarget::Window || target == tools::TPlayTarget::Root;
}

int Play(const tools::TPlayOptions& o) {
  // One full-screen show and one preview at a time, as on Windows; a framework's window
  // is the framework's to manage.
  platform::TX11NamedMutexes mutexes;
  platform::TNamedMutex mutex;
  if (o.Target == tools::TPlayTarget::FullScreen || o.Target == tools::TPlayTarget::Preview) {
    mutex = mutexes.CreateNamedMutex(o.Target == tools::TPlayTarget::Preview ? kPreviewTitle : kFullScreenTitle);
    if (mutex.Outcome == platform::TMutexOutcome::AlreadyExisted) {
      std::fputs("lumora-play: another show of this kind is running\n", stderr);
      return 0;
    }
    if (mutex.Outcome == platform::TMutexOutcome::Created)
      gOwnedLock = mutexes.LockFilePath(o.Target == tools::TPlayTarget::Preview ? kPreviewTitle : kFullScreenTitle);
  }
  tools::TPlayScratch scratch;
  gScratch = &scratch;
  struct TForget {
    ~TForget() {
      gScratch = nullptr;
      gOwnedLock.clear();
    }
  } forget;
  fs::path saver = o.Show;
  std::error_code ec;
  if (fs::is_directory(saver, ec)) {
    // A show folder: packed on the way.
    try {
      platform::THeadlessFileSystem packFiles;
      saver = pack::PackFolderForPlaying(packFiles, o.Show, scratch.Path(), nullptr);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "lumora-play: cannot pack %s: %s\n", o.Show.c_str(), e.what());
      return 1;
    }
  } else if (!fs::is_regular_file(saver, ec)) {
    std::fprintf(stderr, "lumora-play: no such screen saver or show folder: %s\n", o.Show.c_str());
    return 1;
  }
  if (platform::TX11Loop::QuitSignalled()) return 0;

  platform::TX11Loop::InstallErrorHandlers("lumora-play", &RemoveLeftovers);
  std::unique_ptr<platform::TX11Loop> loop = platform::TX11Loop::Open(nullptr);
  if (!loop) {
    std::fprintf(stderr, "lumora-play: cannot open the X display %s\n",
                 std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "(DISPLAY is not set)");
    return 1;
  }
  platform::TraceMark("display open");
  Display* d = loop->Dpy();
  const platform::TMonitorList monitors = platform::X11Monitors(d);
  const platform::TSize screen = platform::X11ScreenSize(d);
  platform::TX11DesktopCapture desktop(d);
  std::unique_ptr<platform::TX11Surface> surface;
  std::vector<std::unique_ptr<TCover>> covers;
  switch (o.Target) {
    case tools::TPlayTarget::FullScreen: {
      const TRect primary = PrimaryMonitorBounds(monitors).value_or(TRect{0, 0, screen.Width, screen.Height});
      // The desktop as it was before the show covered it, for backgrounds made from it.
      desktop.Freeze();
      platform::TraceMark("desktop captured");
      surface = platform::TX11Surface::Create(*loop, primary, true, std::string(kFullScreenTitle), screen);
      if (surface)
        for (const TRect& r : CoverRects(monitors, primary)) covers.push_back(std::make_unique<TCover>(d, r));
      break;
    }
    case tools::TPlayTarget::Preview:
      surface = platform::TX11Surface::Create(*loop, TRect{0, 0, o.PreviewWidth, o.PreviewHeight}, false,
                                              std::string(kPreviewTitle), screen);
      break;
    case tools::TPlayTarget::Window:
    case tools::TPlayTarget::Root: {
      const Window w = o.Target == tools::TPlayTarget::Root ? DefaultRootWindow(d) : static_cast<Window>(o.WindowId);
      // The window is the screen this show covers.
      surface = platform::TX11Surface::Adopt(*loop, w, platform::TSize{});
      break;
    }
  }
  platform::TraceMark("window made");
  if (!surface) {
    // A window that is not there has said so already, in the X error's line.
    if (platform::TX11Loop::XErrorSeen()) return 1;
    std::fprintf(stderr, "lumora-play: cannot draw on %s (a 24-bit true-colour visual is needed)\n",
                 o.Target == tools::TPlayTarget::Window ? "that window" : "this display");
    return 1;
  }

  const bool preview = o.Target == tools::TPlayTarget::Preview;
  bool failed = false;
  {
    platform::THeadlessFileSystem files(saver, scratch.Path());
    platform::THeadlessTextRasterizer text;
    platform::TX11Random random;
    platform::TX11MessageBox messages("lumora-play", FrameworkTarget(o.Target) ? nullptr : d);
    platform::TX11ShowSystem system(*loop, [&surface](bool visible) { surface->SetCursorVisible(visible); });
    platform::TX11ThreadHost threads(*loop);
    TPlayForm form(*loop, surface->Handle());
#ifdef LUMORA_PLAY_MEDIA
    // mdaScr, made before the show that holds on to it: its completions come through the
    // loop, and the completion handler's wait idles on the loop.
    platform::TGstMediaPlayer player(*loop);
#endif
#ifdef LUMORA_PLAY_MEDIA
    // Video items: panels inside the show's window, each video through a player of its own.
    platform::TX11MediaPanels panels(d, surface->Handle(), [&surface](bool waiting) { surface->SetWaitCursor(waiting); });
#endif
    TTrPic view(TTrPicPlatform{*surface, text, desktop, random, messages, &threads});
#ifdef LUMORA_PLAY_MEDIA
    view.SetMediaPlatform(TMediaHostPlatform{
        panels, *loop, [&loop] { return std::make_unique<platform::TGstMediaPlayer>(*loop, platform::TGstMedia::Video); },
        [&loop] { loop->ProcessPending(); }, nullptr, [] { return std::uint64_t{platform::X11TickCount()}; }});
#endif
    platform::TraceMark("view made");
    TPlayShow show(TShowPlatform{files, system, system, system, *loop, messages, random}, form, view,
                   preview ? "P" : "S");
#ifdef LUMORA_PLAY_MEDIA
    show.SetMusicPlatform(TMusicPlatform{files, player, [&loop] { loop->ProcessPending(); },
                                         [&loop](std::uint32_t ms) { loop->WaitForEvents(static_cast<int>(ms)); },
                                         [] { return platform::X11TickCount(); }, loop.get()});
#endif
    surface->Show();
    platform::TraceMark("window shown");
    loop->SetMessageFilter([&show](const platform::TMessage& m) { show.ExitFilter(m); });
    show.FormShow();
    if (o.HowToExit) show.Exit().SetHowToExit(*o.HowToExit);
    if (o.Target == tools::TPlayTarget::FullScreen) {
      // The system's first pointer message reports where the pointer is; the exit's
      // mouse movement is measured from there.
      Window root = 0, child = 0;
      int rx = 0, ry = 0, wx = 0, wy = 0;
      unsigned mask = 0;
      if (XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask)) {
        platform::TMessage first;
        first.Window = surface->Handle();
        first.Message = platform::kWmMouseMove;
        first.X = rx;
        first.Y = ry;
        show.ExitFilter(first);
      }
    }
    loop->RunUntil([] { return false; });
    loop->SetMessageFilter(nullptr);
    show.FormClose();
    // A framework learns of a show that could not play from the status.
    if (FrameworkTarget(o.Target) && messages.Shown() > 0) failed = true;
  }
  surface.reset();
  covers.clear();
  return failed || platform::TX11Loop::XErrorSeen() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The show's timing, one line per event, into the file LUMORA_TRACE names.
  std::unique_ptr<platform::TTraceFile> trace;
  if (const char* path = std::getenv("LUMORA_TRACE"); path != nullptr && *path != '\0')
    if (std::FILE* file = std::fopen(path, "wb"); file != nullptr) trace = std::make_unique<platform::TTraceFile>(file);
  const platform::TTraceScope tracing(trace.get());
  platform::TraceMark("start");
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The show chosen for screen-saver frameworks, which start the player without one.
    std::string chosen;
    if (std::ifstream in(tools::ChosenShowFile(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"))); in) {
      std::getline(in, chosen);
      if (!chosen.empty() && chosen.back() == '\r') chosen.pop_back();
    }
    const tools::TPlayOptions options = tools::ParsePlayOptions(args, std::getenv("XSCREENSAVER_WINDOW"), chosen);
    if (options.Help) {
      std::fputs(tools::kPlayUsage, stdout);
      return 0;
    }
    if (options.Version) {
      std::puts("lumora-play " LUMORA_VERSION);
      return 0;
    }
    if (!options.Error.empty()) {
      std::fprintf(stderr, "lumora-play: %s\n%s", options.Error.c_str(), tools::kPlayUsage);
      return 2;
    }
    platform::TX11Loop::InstallQuitSignals();
    // A library that ends the process with exit() while a show plays leaves nothing either.
    std::atexit(RemoveLeftovers);
    // GStreamer's video sink talks to the server from threads of its own.
    XInitThreads();
    return Play(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora-play: %s\n", e.what());
  }
  return 1;
}
