#include "platform/x11/x11_surface.h"

#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <sys/ipc.h>
#include <sys/shm.h>

namespace lumora::platform {
namespace {

// Set by the error handler that is in place while a shared segment is attached (a
// display on another machine refuses it).
bool gAttachFailed = false;
int AttachErrorHandler(Display*, XErrorEvent*) {
  gAttachFailed = true;
  return 0;
}

// Frames hold 0xAARRGGBB words: any 24- or 32-bit true-colour visual with those masks
// takes them as they are.
bool DrawableVisual(const Visual* visual, int depth) {
  return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
         visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
}

TShiftState ShiftFromState(unsigned state) {
  TShiftState s;
  s.Shift = (state & ShiftMask) != 0;
  s.Ctrl = (state & ControlMask) != 0;
  s.Alt = (state & Mod1Mask) != 0;
  s.Left = (state & Button1Mask) != 0;
  s.Middle = (state & Button2Mask) != 0;
  s.Right = (state & Button3Mask) != 0;
  return s;
}

Bool CompletionPredicate(Display*, XEvent* event, XPointer surface) {
  return reinterpret_cast<const TX11Surface*>(surface)->IsOurCompletion(*event) ? True : False;
}

}  // namespace

void TPendingTransfers::CompletedUpTo(unsigned long serial) {
  // Serials wrap: "up to" is a signed distance.
  while (!pending_.empty() && static_cast<long>(serial - pending_.front().Serial) >= 0) pending_.pop_front();
}

bool TPendingTransfers::Blocks(const TRect& rect) const {
  if (pending_.size() >= kMost) return true;
  return std::any_of(pending_.begin(), pending_.end(),
                     [&](const TTransfer& t) { return !IntersectRect(t.Rect, rect).Empty(); });
}

std::unique_ptr<TX11Surface> TX11Surface::Create(TX11Loop& loop, const TRect& bounds, bool fullScreen,
                                                 const std::string& title, TSize screen) {
  Display* d = loop.Dpy();
  const int scr = DefaultScreen(d);
  if (!DrawableVisual(DefaultVisual(d, scr), DefaultDepth(d, scr))) return nullptr;
  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(d, scr);
  a.override_redirect = fullScreen ? True : False;
  a.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                 PointerMotionMask;
  const Window w = XCreateWindow(d, RootWindow(d, scr), bounds.Left, bounds.Top,
                                 static_cast<unsigned>(std::max(1, bounds.Width())),
                                 static_cast<unsigned>(std::max(1, bounds.Height())), 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
  XStoreName(d, w, title.c_str());
  XClassHint hint{const_cast<char*>("lumora-play"), const_cast<char*>("Lumora")};
  XSetClassHint(d, w, &hint);
  if (!fullScreen) {
    // A preview keeps the size it was asked for.
    XSizeHints size{};
    size.flags = PMinSize | PMaxSize;
    size.min_width = size.max_width = bounds.Width();
    size.min_height = size.max_height = bounds.Height();
    XSetWMNormalHints(d, w, &size);
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &deleteWindow, 1);
  }
  std::unique_ptr<TX11Surface> s(new TX11Surface(loop, w, true, fullScreen, {bounds.Width(), bounds.Height()}, screen));
  if (!s->MakeImage()) return nullptr;
  return s;
}

std::unique_ptr<TX11Surface> TX11Surface::Adopt(TX11Loop& loop, Window window, TSize screen) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(loop.Dpy(), window, &a) == 0) return nullptr;
  if (!DrawableVisual(a.visual, a.depth)) return nullptr;
  // Only exposure and size: the window's input belongs to whoever gave it to us.
  XSelectInput(loop.Dpy(), window, ExposureMask | StructureNotifyMask);
  const TSize client{a.width, a.height};
  std::unique_ptr<TX11Surface> s(
      new TX11Surface(loop, window, false, false, client, screen.Width > 0 ? screen : client));
  s->visual_ = a.visual;
  s->depth_ = a.depth;
  if (!s->MakeImage()) return nullptr;
  return s;
}

TX11Surface::TX11Surface(TX11Loop& loop, Window window, bool owned, bool fullScreen, TSize client, TSize screen)
    : loop_(loop), display_(loop.Dpy()), window_(window), owned_(owned), fullScreen_(fullScreen), client_(client),
      screen_(screen) {
  visual_ = DefaultVisual(display_, DefaultScreen(display_));
  depth_ = DefaultDepth(display_, DefaultScreen(display_));
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  loop_.SetWindowHandler(window_, [this](const XEvent& e) { HandleEvent(e); });
}

TX11Surface::~TX11Surface() {
  loop_.RemoveWindowHandler(window_);
  FreeImage();
  if (gc_ != nullptr) XFreeGC(display_, gc_);
  if (owned_) {
    XUngrabPointer(display_, CurrentTime);
    XUngrabKeyboard(display_, CurrentTime);
    XDestroyWindow(display_, window_);
  } else {
    XSelectInput(display_, window_, NoEventMask);
  }
  if (blank_ != 0) XFreeCursor(display_, blank_);
  if (watch_ != 0) XFreeCursor(display_, watch_);
  XSync(display_, False);
}

bool TX11Surface::MakeImage() {
  FreeImage();
  const auto w = static_cast<unsigned>(std::max(1, client_.Width));
  const auto h = static_cast<unsigned>(std::max(1, client_.Height));
  // LUMORA_NO_XSHM forces the plain transfer, as a display on another machine gets it.
  if (XShmQueryExtension(display_) && std::getenv("LUMORA_NO_XSHM") == nullptr) {
    image_ = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr, &shmInfo_, w, h);
    if (image_ != nullptr) {
      shmInfo_.shmid = ::shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * h, IPC_CREAT | 0600);
      if (shmInfo_.shmid >= 0) {
        shmInfo_.shmaddr = image_->data = static_cast<char*>(::shmat(shmInfo_.shmid, nullptr, 0));
        shmInfo_.readOnly = False;
        XSync(display_, False);
        gAttachFailed = false;
        auto* previous = XSetErrorHandler(AttachErrorHandler);
        const Status attached = image_->data != reinterpret_cast<char*>(-1) && XShmAttach(display_, &shmInfo_);
        XSync(display_, False);
        XSetErrorHandler(previous);
        // Marked for removal now: it goes when both sides have detached, even after a crash.
        ::shmctl(shmInfo_.shmid, IPC_RMID, nullptr);
        if (attached && !gAttachFailed) {
          shm_ = true;
          completionType_ = XShmGetEventBase(display_) + ShmCompletion;
          return true;
        }
        if (image_->data != reinterpret_cast<char*>(-1)) ::shmdt(image_->data);
      }
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
    }
  }
  auto* data = static_cast<char*>(std::calloc(static_cast<std::size_t>(w) * h, 4));
  if (data == nullptr) return false;
  image_ = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, data, w, h, 32, 0);
  if (image_ == nullptr) {
    std::free(data);
    return false;
  }
  // The words are written in this machine's order; the server converts if it must.
  image_->byte_order = LSBFirst;
  image_->bitmap_bit_order = LSBFirst;
  return image_->bits_per_pixel == 32;
}

void TX11Surface::FreeImage() {
  if (image_ == nullptr) return;
  if (shm_) {
    XShmDetach(display_, &shmInfo_);
    // Every transfer before the detach has been read once the server answers.
    XSync(display_, False);
    pending_.Clear();
    ::shmdt(shmInfo_.shmaddr);
    image_->data = nullptr;
  }
  XDestroyImage(image_);
  image_ = nullptr;
  shm_ = false;
}

void TX11Surface::Show() {
  if (!owned_) return;
  XMapRaised(display_, window_);
  XSync(display_, False);
  if (!fullScreen_) return;
  // Nobody manages a full-screen window: it takes the keyboard and the pointer itself,
  // as soon as the server lets it (it is viewable only once mapped).
  for (int attempt = 0; attempt < 200; ++attempt) {
    XWindowAttributes a{};
    XGetWindowAttributes(display_, window_, &a);
    if (a.map_state == IsViewable &&
        XGrabKeyboard(display_, window_, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess)
      break;
    XSync(display_, False);
  }
  XGrabPointer(display_, window_, True, PointerMotionMask | ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
               GrabModeAsync, None, None, CurrentTime);
  XSync(display_, False);
}

void TX11Surface::SetWaitCursor(bool waiting) {
  waiting_ = waiting;
  SetCursorVisible(visible_);
}

void TX11Surface::SetCursorVisible(bool visible) {
  visible_ = visible;
  if (!owned_) return;
  if (visible && waiting_) {
    if (watch_ == 0) watch_ = XCreateFontCursor(display_, XC_watch);
    XDefineCursor(display_, window_, watch_);
  } else if (visible) {
    XUndefineCursor(display_, window_);
  } else {
    if (blank_ == 0) {
      static const char empty[8] = {};
      const Pixmap p = XCreateBitmapFromData(display_, window_, empty, 8, 8);
      XColor black{};
      blank_ = XCreatePixmapCursor(display_, p, p, &black, &black, 0, 0);
      XFreePixmap(display_, p);
    }
    XDefineCursor(display_, window_, blank_);
  }
  XFlush(display_);
}

void TX11Surface::Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) {
  Show(frame, rect, caption, nullptr);
}

void TX11Surface::PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                                   const TFrameInset& inset) {
  Show(frame, rect, caption, &inset);
}

void TX11Surface::Show(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                       const TFrameInset* inset) {
  if (image_ == nullptr) return;
  TRect r = IntersectRect(rect, frame.Bounds());
  r = IntersectRect(r, TRect{0, 0, std::min(client_.Width, image_->width), std::min(client_.Height, image_->height)});
  if (r.Empty()) return;
  if (shm_) WaitForTransfers(r);
  ComposePresented(reinterpret_cast<TPixel*>(image_->data),
                   static_cast<std::size_t>(image_->bytes_per_line) / sizeof(TPixel), frame, r, caption, inset);
  const auto w = static_cast<unsigned>(r.Width()), h = static_cast<unsigned>(r.Height());
  if (shm_) {
    // No round trip per frame: the completion event tells when the server has read it.
    const unsigned long serial = NextRequest(display_);
    XShmPutImage(display_, window_, gc_, image_, r.Left, r.Top, r.Left, r.Top, w, h, True);
    pending_.Sent(serial, r);
    XFlush(display_);
  } else {
    XPutImage(display_, window_, gc_, image_, r.Left, r.Top, r.Left, r.Top, w, h);
    XFlush(display_);
  }
}

bool TX11Surface::IsOurCompletion(const XEvent& event) const {
  if (!shm_ || event.type != completionType_) return false;
  const auto& done = reinterpret_cast<const XShmCompletionEvent&>(event);
  return done.drawable == window_ && done.shmseg == shmInfo_.shmseg;
}

void TX11Surface::WaitForTransfers(const TRect& rect) {
  XEvent event;
  // Completions that have arrived meanwhile, without waiting.
  while (pending_.Blocks(rect) && XCheckIfEvent(display_, &event, CompletionPredicate, reinterpret_cast<XPointer>(this)))
    pending_.CompletedUpTo(event.xany.serial);
  if (!pending_.Blocks(rect)) return;
  // The server has read every transfer sent so far once it answers; their completions
  // still queued find nothing left to complete.
  XSync(display_, False);
  pending_.Clear();
}

void TX11Surface::SetClientSize(int width, int height) {
  if (!owned_ || width <= 0 || height <= 0) return;
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void TX11Surface::SetDefaultCursor() { SetCursorVisible(true); }

void TX11Surface::HandleEvent(const XEvent& e) {
  if (IsOurCompletion(e)) {
    pending_.CompletedUpTo(e.xany.serial);
    return;
  }
  switch (e.type) {
    case Expose:
      if (e.xexpose.count == 0 && events_ != nullptr) events_->SurfacePaint();
      break;
    case ConfigureNotify: {
      const TSize size{e.xconfigure.width, e.xconfigure.height};
      if (size == client_) break;
      client_ = size;
      MakeImage();
      if (events_ != nullptr) events_->SurfaceResized();
      break;
    }
    case ClientMessage:
      // The window manager's close button on a preview.
      if (owned_ && !fullScreen_) loop_.Quit();
      break;
    case ButtonPress:
    case ButtonRelease: {
      if (events_ == nullptr) break;
      TMouseButton b = TMouseButton::mbLeft;
      if (e.xbutton.button == Button2) b = TMouseButton::mbMiddle;
      else if (e.xbutton.button == Button3) b = TMouseButton::mbRight;
      else if (e.xbutton.button != Button1) break;
      events_->SurfaceMouse(e.type == ButtonPress ? TMouseAction::Down : TMouseAction::Up, b,
                            ShiftFromState(e.xbutton.state), e.xbutton.x, e.xbutton.y);
      break;
    }
    case MotionNotify:
      if (events_ != nullptr)
        events_->SurfaceMouse(TMouseAction::Move, TMouseButton::mbLeft, ShiftFromState(e.xmotion.state), e.xmotion.x,
                              e.xmotion.y);
      break;
    default:
      break;
  }
}

}  // namespace lumora::platform
