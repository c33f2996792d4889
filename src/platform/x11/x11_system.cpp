#include "platform/x11/x11_system.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

namespace lumora::platform {

int TX11ShowSystem::ShowCursor(bool show) {
  counter_ += show ? 1 : -1;
  if (setCursorVisible_) setCursorVisible_(counter_ >= 0);
  return counter_;
}

void TX11ShowSystem::SetDefaultCursor() {
  if (setCursorVisible_) setCursorVisible_(counter_ >= 0);
}

TMonitorList ChooseMonitors(TMonitorList randr, TMonitorList xinerama, TSize screen) {
  TMonitorList list;
  if (randr.size() > 1)
    list = std::move(randr);
  else if (xinerama.size() > 1)
    list = std::move(xinerama);
  else if (!randr.empty())
    list = std::move(randr);
  else
    list.push_back({TRect{0, 0, screen.Width, screen.Height}, true});
  // A display without a marked primary: the first monitor plays that part.
  bool primary = false;
  for (const TMonitor& m : list) primary = primary || m.Primary;
  if (!primary) list.front().Primary = true;
  return list;
}

TMonitorList X11Monitors(Display* display) {
  TMonitorList randr, xinerama;
  const Window root = DefaultRootWindow(display);
  int event = 0, error = 0;
  if (XRRQueryExtension(display, &event, &error)) {
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    if (monitors != nullptr) {
      for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        randr.push_back({TRect{m.x, m.y, m.x + m.width, m.y + m.height}, m.primary != 0});
      }
      XRRFreeMonitors(monitors);
    }
  }
  if (XineramaQueryExtension(display, &event, &error) && XineramaIsActive(display)) {
    int count = 0;
    XineramaScreenInfo* heads = XineramaQueryScreens(display, &count);
    if (heads != nullptr) {
      for (int i = 0; i < count; ++i)
        xinerama.push_back({TRect{heads[i].x_org, heads[i].y_org, heads[i].x_org + heads[i].width,
                                  heads[i].y_org + heads[i].height},
                            false});
      XFree(heads);
    }
  }
  const int s = DefaultScreen(display);
  return ChooseMonitors(std::move(randr), std::move(xinerama), TSize{DisplayWidth(display, s), DisplayHeight(display, s)});
}

TSize X11ScreenSize(Display* display) {
  for (const TMonitor& m : X11Monitors(display))
    if (m.Primary) return {m.Bounds.Width(), m.Bounds.Height()};
  return {DisplayWidth(display, DefaultScreen(display)), DisplayHeight(display, DefaultScreen(display))};
}

void TX11DesktopCapture::Freeze() {
  const int s = DefaultScreen(display_);
  TBitmap32 shot;
  if (Read(shot, DisplayWidth(display_, s), DisplayHeight(display_, s))) frozen_ = std::move(shot);
}

bool TX11DesktopCapture::CaptureDesktop(TBitmap32& target, int width, int height) {
  if (!frozen_) return Read(target, width, height);
  target.SetSize(width, height, 0xFF000000u);
  target.CopyRect(0, 0, *frozen_, IntersectRect(frozen_->Bounds(), TRect{0, 0, width, height}));
  return true;
}

bool TX11DesktopCapture::Read(TBitmap32& target, int width, int height) {
  target.SetSize(std::max(0, width), std::max(0, height), 0xFF000000u);
  if (width <= 0 || height <= 0) return false;
  const int s = DefaultScreen(display_);
  const int w = std::min(width, DisplayWidth(display_, s));
  const int h = std::min(height, DisplayHeight(display_, s));
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  const unsigned long rm = image->red_mask, gm = image->green_mask, bm = image->blue_mask;
  const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && rm == 0xFF0000 &&
                      gm == 0xFF00 && bm == 0xFF;
  for (int y = 0; y < h; ++y) {
    TPixel* row = target.Row(y);
    for (int x = 0; x < w; ++x) {
      if (direct) {
        row[x] = 0xFF000000u | (reinterpret_cast<const std::uint32_t*>(image->data + y * image->bytes_per_line)[x] & 0xFFFFFFu);
        continue;
      }
      // Other layouts through the masks, each channel widened to eight bits.
      const unsigned long p = XGetPixel(image, x, y);
      const auto channel = [p](unsigned long mask) -> TPixel {
        if (mask == 0) return 0;
        int shift = 0;
        while (((mask >> shift) & 1u) == 0) ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<TPixel>(((p & mask) >> shift) * 255u / max);
      };
      row[x] = 0xFF000000u | channel(rm) << 16 | channel(gm) << 8 | channel(bm);
    }
  }
  XDestroyImage(image);
  return true;
}

std::vector<std::string> WrapMessage(std::string_view text, std::size_t columns) {
  std::vector<std::string> lines;
  columns = std::max<std::size_t>(columns, 1);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    do {
      if (line.size() <= columns) {
        lines.emplace_back(line);
        break;
      }
      std::size_t cut = line.rfind(' ', columns);
      const bool atSpace = cut != std::string_view::npos && cut > 0;
      if (!atSpace) cut = columns;
      lines.emplace_back(line.substr(0, cut));
      line.remove_prefix(atSpace ? cut + 1 : cut);
    } while (!line.empty());
    start = end + 1;
  }
  return lines;
}

void TX11MessageBox::ShowMessage(std::string_view text) {
  ++shown_;
  std::fprintf(stderr, "%s: %.*s\n", title_.c_str(), static_cast<int>(text.size()), text.data());
  if (display_ != nullptr) ShowDialog(text);
}

void TX11MessageBox::ShowDialog(std::string_view text) {
  Display* d = display_;
  const int screen = DefaultScreen(d);
  std::vector<std::string> lines = WrapMessage(text, 60);
  lines.emplace_back();
  lines.emplace_back("[ OK ]");
  XFontStruct* font = XQueryFont(d, XGContextFromGC(DefaultGC(d, screen)));
  const int ascent = font != nullptr ? font->ascent : 11, lineHeight = font != nullptr ? font->ascent + font->descent : 14;
  int width = 200;
  for (const std::string& line : lines)
    width = std::max(width, font != nullptr ? XTextWidth(font, line.data(), static_cast<int>(line.size()))
                                            : static_cast<int>(line.size()) * 7);
  width += 40;
  const int height = static_cast<int>(lines.size()) * lineHeight + 40;
  XSetWindowAttributes a{};
  a.background_pixel = WhitePixel(d, screen);
  a.border_pixel = BlackPixel(d, screen);
  // Over a full-screen show, which no window manager's stacking may put on top of it.
  a.override_redirect = True;
  a.event_mask = ExposureMask | KeyPressMask | ButtonPressMask;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), (DisplayWidth(d, screen) - width) / 2,
                                 (DisplayHeight(d, screen) - height) / 2, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 2, CopyFromParent, InputOutput, CopyFromParent,
                                 CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask, &a);
  XStoreName(d, w, title_.c_str());
  XMapRaised(d, w);
  const GC gc = DefaultGC(d, screen);
  // A key or a click on any window of ours dismisses it (a full-screen show holds the
  // keyboard); every other event waits in the queue for the loop. A quit signal or an X
  // error ends it too: a framework's SIGTERM must end the program whatever it shows.
  const auto wanted = [](Display*, XEvent* event, XPointer arg) -> Bool {
    return event->type == KeyPress || event->type == ButtonPress ||
           (event->type == Expose && event->xexpose.window == *reinterpret_cast<Window*>(arg));
  };
  for (bool done = false; !done && !TX11Loop::QuitSignalled() && !TX11Loop::XErrorSeen();) {
    XEvent e;
    if (!XCheckIfEvent(d, &e, wanted, reinterpret_cast<XPointer>(const_cast<Window*>(&w)))) {
      // Another thread may read the connection for us: look again now and then.
      pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {TX11Loop::QuitSignalFd(), POLLIN, 0}};
      ::poll(fds, 2, 250);
      continue;
    }
    if (e.type != Expose) {
      done = true;
    } else if (e.xexpose.count == 0) {
      XSetForeground(d, gc, BlackPixel(d, screen));
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const int tw = font != nullptr ? XTextWidth(font, line.data(), static_cast<int>(line.size())) : 0;
        // The button's line centred, the text from the left.
        const int x = i + 1 == lines.size() ? (width - tw) / 2 : 20;
        XDrawString(d, w, gc, x, 20 + ascent + static_cast<int>(i) * lineHeight, line.data(),
                    static_cast<int>(line.size()));
      }
    }
  }
  if (font != nullptr) XFreeFontInfo(nullptr, font, 1);
  XDestroyWindow(d, w);
  XFlush(d);
}

void TX11Random::Randomize() {
  state_ ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<std::uint64_t>(::getpid()) << 32);
}

int TX11Random::Random(int n) {
  if (n <= 0) return 0;
  // A 64-bit linear congruential step; the high half is the well-mixed part.
  state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
  return static_cast<int>(((state_ >> 32) * static_cast<std::uint64_t>(n)) >> 32);
}

}  // namespace lumora::platform
