#include "platform/x11/x11_media_panel.h"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <vector>

namespace lumora::platform {
namespace {

class TX11MediaPanel final : public IMediaPanel {
 public:
  TX11MediaPanel(Display* display, Window parent) : display_(display) {
    XSetWindowAttributes a{};
    a.background_pixel = BlackPixel(display, DefaultScreen(display));
    // No input of its own: the pointer's events go on to the view's window.
    a.do_not_propagate_mask = NoEventMask;
    window_ = XCreateWindow(display, parent, 0, 0, 1, 1, 0, CopyFromParent, InputOutput, CopyFromParent, CWBackPixel,
                            &a);
  }
  ~TX11MediaPanel() override {
    FreeBackground();
    XDestroyWindow(display_, window_);
    XFlush(display_);
  }
  TX11MediaPanel(const TX11MediaPanel&) = delete;
  TX11MediaPanel& operator=(const TX11MediaPanel&) = delete;

  TWindowHandle Handle() const override { return static_cast<TWindowHandle>(window_); }

  void SetBounds(const TRect& bounds) override {
    const bool resized = bounds.Width() != bounds_.Width() || bounds.Height() != bounds_.Height();
    bounds_ = bounds;
    // X has no windows of no size: an empty panel is 1 x 1 and hidden by its region.
    XMoveResizeWindow(display_, window_, bounds.Left, bounds.Top, static_cast<unsigned>(std::max(1, bounds.Width())),
                      static_cast<unsigned>(std::max(1, bounds.Height())));
    if (resized && hasImage_) UpdateBackground();
    XFlush(display_);
  }
  TRect Bounds() const override { return bounds_; }

  void SetVisible(bool visible) override {
    if (visible == visible_) return;
    visible_ = visible;
    if (visible)
      XMapWindow(display_, window_);
    else
      XUnmapWindow(display_, window_);
    XFlush(display_);
  }
  bool Visible() const override { return visible_; }

  void SetRegion(const TRegion* region) override {
    if (region == nullptr) {
      XShapeCombineMask(display_, window_, ShapeBounding, 0, 0, None, ShapeSet);
    } else {
      std::vector<XRectangle> rects;
      rects.reserve(region->RectCount());
      for (const TRect& r : region->Rects())
        rects.push_back(XRectangle{static_cast<short>(r.Left), static_cast<short>(r.Top),
                                   static_cast<unsigned short>(r.Width()), static_cast<unsigned short>(r.Height())});
      // An empty list is an empty shape: nothing of the panel shows.
      XShapeCombineRectangles(display_, window_, ShapeBounding, 0, 0, rects.data(), static_cast<int>(rects.size()),
                              ShapeSet, YXBanded);
    }
    XFlush(display_);
  }

  void SetImage(const TBitmap32* image) override {
    hasImage_ = image != nullptr && !image->Empty();
    if (hasImage_) {
      // Kept for a later resize; the caller's bitmap may go.
      image_ = *image;
      UpdateBackground();
    } else {
      image_ = TBitmap32();
      FreeBackground();
      XSetWindowBackground(display_, window_, BlackPixel(display_, DefaultScreen(display_)));
    }
    XClearArea(display_, window_, 0, 0, 0, 0, False);
    XFlush(display_);
  }

  void SendToBack() override {
    XLowerWindow(display_, window_);
    XFlush(display_);
  }

  // The view's window receives the pointer's events over the panel as its own.
  void SetOnMouse(std::function<void(TMouseAction, TMouseButton, TShiftState, int, int)>) override {}

 private:
  void FreeBackground() {
    if (background_ != 0) XFreePixmap(display_, background_);
    background_ = 0;
  }

  void UpdateBackground() {
    const int w = std::max(1, bounds_.Width()), h = std::max(1, bounds_.Height());
    std::vector<std::uint32_t> pixels = PanelBackground(&image_, w, h);
    const int screen = DefaultScreen(display_);
    Visual* visual = DefaultVisual(display_, screen);
    const int depth = DefaultDepth(display_, screen);
    XImage* ximage = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                  reinterpret_cast<char*>(pixels.data()), static_cast<unsigned>(w),
                                  static_cast<unsigned>(h), 32, w * 4);
    if (ximage == nullptr) return;
    FreeBackground();
    background_ = XCreatePixmap(display_, window_, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                static_cast<unsigned>(depth));
    GC gc = XCreateGC(display_, background_, 0, nullptr);
    XPutImage(display_, background_, gc, ximage, 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFreeGC(display_, gc);
    ximage->data = nullptr;  // the vector's
    XDestroyImage(ximage);
    XSetWindowBackgroundPixmap(display_, window_, background_);
    XClearArea(display_, window_, 0, 0, 0, 0, False);
  }

  Display* display_;
  Window window_ = 0;
  TRect bounds_{0, 0, 1, 1};
  bool visible_ = false;
  bool hasImage_ = false;
  TBitmap32 image_;
  Pixmap background_ = 0;
};

}  // namespace

std::vector<std::uint32_t> PanelBackground(const TBitmap32* image, int width, int height) {
  if (width <= 0 || height <= 0) return {};
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  if (image == nullptr) return pixels;
  const int w = std::min(width, image->Width()), h = std::min(height, image->Height());
  for (int y = 0; y < h; ++y) {
    const TPixel* row = image->Row(y);
    for (int x = 0; x < w; ++x)
      pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
          row[x] & 0x00FFFFFFu;
  }
  return pixels;
}

std::unique_ptr<IMediaPanel> TX11MediaPanels::CreatePanel(IMediaPanel* parent) {
  const Window p = parent != nullptr ? static_cast<Window>(parent->Handle()) : view_;
  return std::make_unique<TX11MediaPanel>(display_, p);
}

void TX11MediaPanels::SetWaitCursor(bool waiting) {
  if (setWaitCursor_) setWaitCursor_(waiting);
}

}  // namespace lumora::platform
