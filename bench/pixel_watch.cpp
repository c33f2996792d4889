// Prints the moments one pixel of an X display changes colour, for timing what a
// program shows from outside it. Polls the pixel every millisecond.
//
//   pixel_watch DISPLAY X Y SECONDS
//
// Each line: milliseconds since the start, then the pixel's red, green, blue.
// Built by the bench scripts that use it: c++ -O2 pixel_watch.cpp -lX11

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fputs("usage: pixel_watch DISPLAY X Y SECONDS\n", stderr);
    return 2;
  }
  Display* display = XOpenDisplay(argv[1]);
  if (display == nullptr) {
    std::fprintf(stderr, "pixel_watch: cannot open display %s\n", argv[1]);
    return 1;
  }
  const int x = std::atoi(argv[2]);
  const int y = std::atoi(argv[3]);
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::duration<double>(std::atof(argv[4]));
  const Window root = DefaultRootWindow(display);
  unsigned long last = ~0ul;
  while (std::chrono::steady_clock::now() < end) {
    XImage* image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image != nullptr) {
      const unsigned long pixel = XGetPixel(image, 0, 0);
      XDestroyImage(image);
      if (pixel != last) {
        last = pixel;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("%.1f %lu %lu %lu\n", ms, (pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
        std::fflush(stdout);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  XCloseDisplay(display);
  return 0;
}
