#include "platform/x11/x11_system.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <cstdio>

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

TMonitorList X11Monitors(Display* display) {
  TMonitorList list;
  const Window root = DefaultRootWindow(display);
  int event = 0, error = 0;
  if (XRRQueryExtension(display, &event, &error)) {
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    if (monitors != nullptr) {
      for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        list.push_back({TRect{m.x, m.y, m.x + m.width, m.y + m.height}, m.primary != 0});
      }
      XRRFreeMonitors(monitors);
    }
  }
  if (list.empty()) {
    const int s = DefaultScreen(display);
    list.push_back({TRect{0, 0, DisplayWidth(display, s), DisplayHeight(display, s)}, true});
  }
  // A display without a marked primary: the first monitor plays that part.
  bool primary = false;
  for (const TMonitor& m : list) primary = primary || m.Primary;
  if (!primary) list.front().Primary = true;
  return list;
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

void TX11MessageBox::ShowMessage(std::string_view text) {
  std::fprintf(stderr, "%s: %.*s\n", title_.c_str(), static_cast<int>(text.size()), text.data());
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
