#include "platform/x11/x11_loop.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace lumora::platform {
namespace {

constexpr char kWakeByte = 'w';

// The quit signals' pipe: written once per signal and never read, so that it stays
// readable and every wait from then on returns at once.
std::atomic<int> gQuitRead{-1};
std::atomic<int> gQuitWrite{-1};
std::atomic<bool> gQuitSignalled{false};

void OnQuitSignal(int) {
  const int saved = errno;
  TX11Loop::QuitFromSignal();
  errno = saved;
}

std::atomic<bool> gXError{false};
const char* gProgram = "lumora";
void (*gDisplayLost)() = nullptr;

// Called for any failed request, on whichever thread made it. Only the first is told:
// the others are mostly its consequences.
int OnXError(Display* display, XErrorEvent* error) {
  if (gXError.exchange(true)) return 0;
  char text[160] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  char number[16] = {};
  std::snprintf(number, sizeof number, "%d", error->request_code);
  char request[96] = {};
  XGetErrorDatabaseText(display, "XRequest", number, number, request, sizeof request);
  std::fprintf(stderr, "%s: X error: %s in request %s (resource 0x%lx)\n", gProgram, text, request,
               error->resourceid);
  return 0;
}

// Xlib ends the process after this returns: what must go goes now.
int OnXIOError(Display*) {
  std::fprintf(stderr, "%s: the X display went away\n", gProgram);
  if (gDisplayLost != nullptr) gDisplayLost();
  std::_Exit(1);
}

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// The virtual-key code the exit filter compares with: Esc as Esc, letters and digits as
// their upper-case character, everything else as a code that is none of those.
std::uint64_t VirtualKey(const XKeyEvent& key) {
  XKeyEvent copy = key;
  const KeySym sym = XLookupKeysym(&copy, 0);
  if (sym == XK_Escape) return kVkEscape;
  if (sym < 0x80 && std::isalnum(static_cast<int>(sym))) return static_cast<std::uint64_t>(std::toupper(static_cast<int>(sym)));
  return 0xFF;
}

}  // namespace

std::uint32_t X11TickCount() { return static_cast<std::uint32_t>(NowMs()); }

TMessage MessageFromXEvent(const XEvent& event) {
  TMessage m;
  switch (event.type) {
    case KeyPress:
      m.Window = event.xkey.window;
      m.Message = (event.xkey.state & Mod1Mask) != 0 ? kWmSysKeyDown : kWmKeyDown;
      m.WParam = VirtualKey(event.xkey);
      m.X = event.xkey.x_root;
      m.Y = event.xkey.y_root;
      break;
    case MotionNotify:
      m.Window = event.xmotion.window;
      m.Message = kWmMouseMove;
      m.X = event.xmotion.x_root;
      m.Y = event.xmotion.y_root;
      break;
    case ButtonPress:
      // Buttons 4 and up are wheels and side buttons, which are no clicks.
      if (event.xbutton.button == Button1) m.Message = kWmLButtonDown;
      else if (event.xbutton.button == Button2) m.Message = kWmMButtonDown;
      else if (event.xbutton.button == Button3) m.Message = kWmRButtonDown;
      m.Window = event.xbutton.window;
      m.X = event.xbutton.x_root;
      m.Y = event.xbutton.y_root;
      break;
    default:
      break;
  }
  return m;
}

class TX11Loop::TTimer final : public ITimer {
 public:
  TTimer(TX11Loop& loop, std::function<void()> onTimer) : loop_(loop), onTimer_(std::move(onTimer)) {
    loop_.timers_.push_back(this);
  }
  ~TTimer() override { std::erase(loop_.timers_, this); }

  void SetInterval(std::uint32_t milliseconds) override {
    interval_ = milliseconds;
    Restart();
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    Restart();
  }
  bool Enabled() const override { return enabled_; }

  std::uint64_t Due() const { return due_; }
  bool Armed() const { return enabled_ && interval_ > 0; }
  void Fire() {
    Restart();
    try {
      if (onTimer_) onTimer_();
    } catch (...) {
      // Nothing unwinds through the loop.
    }
  }

 private:
  void Restart() { due_ = NowMs() + interval_; }

  TX11Loop& loop_;
  std::function<void()> onTimer_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = false;
  std::uint64_t due_ = 0;
};

std::unique_ptr<TX11Loop> TX11Loop::Open(const char* displayName) {
  Display* display = XOpenDisplay(displayName);
  if (display == nullptr) return nullptr;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    XCloseDisplay(display);
    return nullptr;
  }
  return std::unique_ptr<TX11Loop>(new TX11Loop(display, fds[0], fds[1]));
}

TX11Loop::TX11Loop(Display* display, int wakeRead, int wakeWrite)
    : display_(display), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {}

TX11Loop::~TX11Loop() {
  XCloseDisplay(display_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

void TX11Loop::QuitFromSignal() {
  gQuitSignalled.store(true);
  const int fd = gQuitWrite.load();
  if (fd >= 0) {
    const ssize_t ignored = ::write(fd, &kWakeByte, 1);
    (void)ignored;
  }
}

void TX11Loop::InstallQuitSignals() {
  if (gQuitWrite.load() >= 0) return;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    gQuitRead.store(fds[0]);
    gQuitWrite.store(fds[1]);
  }
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  for (const int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
}

bool TX11Loop::QuitSignalled() { return gQuitSignalled.load(); }
int TX11Loop::QuitSignalFd() { return gQuitRead.load(); }

void TX11Loop::InstallErrorHandlers(const char* program, void (*displayLost)()) {
  gProgram = program;
  gDisplayLost = displayLost;
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXIOError);
}

bool TX11Loop::XErrorSeen() { return gXError.load(); }

bool TX11Loop::QuitRequested() const { return quit_ || gQuitSignalled.load() || gXError.load(); }

void TX11Loop::SetWindowHandler(Window window, TEventHandler handler) { handlers_[window] = std::move(handler); }
void TX11Loop::RemoveWindowHandler(Window window) { handlers_.erase(window); }

void TX11Loop::Post(std::function<void()> call) {
  {
    const std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(call));
  }
  const ssize_t ignored = ::write(wakeWrite_, &kWakeByte, 1);
  (void)ignored;
}

void TX11Loop::HandleXEvents() {
  while (!QuitRequested() && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    const TMessage message = MessageFromXEvent(event);
    if (message.Message != 0 && filter_) {
      try {
        filter_(message);
      } catch (...) {
      }
    }
    const auto it = handlers_.find(event.xany.window);
    if (it == handlers_.end()) continue;
    // The handler may remove itself.
    const TEventHandler handler = it->second;
    try {
      handler(event);
    } catch (...) {
    }
  }
}

void TX11Loop::RunPosted() {
  char bytes[64];
  while (::read(wakeRead_, bytes, sizeof bytes) > 0) {
  }
  // One call at a time off the queue: a call that waits and pumps the loop (a music
  // completion that waits for its stop) must still run the calls queued behind it,
  // such as a worker's synchronised step. Calls posted meanwhile wait for the next turn.
  std::size_t count = 0;
  {
    const std::lock_guard lock(postedMutex_);
    count = posted_.size();
  }
  for (; count > 0; --count) {
    std::function<void()> call;
    {
      const std::lock_guard lock(postedMutex_);
      if (posted_.empty()) break;
      call = std::move(posted_.front());
      posted_.pop_front();
    }
    try {
      call();
    } catch (...) {
    }
  }
}

void TX11Loop::FireTimers() {
  const std::uint64_t now = NowMs();
  // A handler may create or destroy timers: fire from a copy, and only the still alive.
  const std::vector<TTimer*> snapshot = timers_;
  for (TTimer* timer : snapshot) {
    if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) continue;
    if (timer->Armed() && timer->Due() <= now) timer->Fire();
  }
}

int TX11Loop::MillisecondsToNextTimer() const {
  const std::uint64_t now = NowMs();
  std::int64_t best = -1;
  for (const TTimer* timer : timers_) {
    if (!timer->Armed()) continue;
    const std::int64_t wait = timer->Due() > now ? static_cast<std::int64_t>(timer->Due() - now) : 0;
    if (best < 0 || wait < best) best = wait;
  }
  return static_cast<int>(std::min<std::int64_t>(best, 1 << 30));
}

void TX11Loop::ProcessPending() {
  HandleXEvents();
  RunPosted();
  FireTimers();
  XFlush(display_);
}

void TX11Loop::WaitForEvents(int timeoutMs) {
  XFlush(display_);
  if (XPending(display_) != 0) return;
  // A negative descriptor (no quit signals installed) is passed over by poll.
  pollfd fds[3] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeRead_, POLLIN, 0}, {gQuitRead.load(), POLLIN, 0}};
  const int rc = ::poll(fds, 3, timeoutMs);
  if (rc < 0 && errno != EINTR) quit_ = true;
  // The connection is gone: nothing will come any more.
  if (rc > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0) quit_ = true;
}

void TX11Loop::RunOnce(int timeoutMs) {
  ProcessPending();
  if (QuitRequested()) return;
  const int toTimer = MillisecondsToNextTimer();
  int timeout = timeoutMs;
  if (toTimer >= 0 && (timeout < 0 || toTimer < timeout)) timeout = toTimer;
  WaitForEvents(timeout);
  ProcessPending();
}

void TX11Loop::RunUntil(const std::function<bool()>& done) {
  while (!QuitRequested() && !done()) RunOnce(-1);
}

std::unique_ptr<ITimer> TX11Loop::CreateTimer(std::function<void()> onTimer) {
  return std::make_unique<TTimer>(*this, std::move(onTimer));
}

}  // namespace lumora::platform
