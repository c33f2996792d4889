// The UI thread's loop on X11: the display connection, the X events of our windows,
// calls posted from other threads, the timers, and the message filter that sees input
// first, in the form the show's exit handling reads it.
#pragma once

#include "platform/message.h"
#include "platform/timer.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumora::platform {

// The millisecond tick counter of this backend (monotonic, wraps like the system's).
std::uint32_t X11TickCount();

// An X event as the show's filter sees it; nullopt-like Message 0 for events that are
// not input.
TMessage MessageFromXEvent(const XEvent& event);

class TX11Loop final : public ITimers {
 public:
  // Connects to displayName (null: DISPLAY); null when no display can be opened.
  static std::unique_ptr<TX11Loop> Open(const char* displayName);
  ~TX11Loop() override;
  TX11Loop(const TX11Loop&) = delete;
  TX11Loop& operator=(const TX11Loop&) = delete;

  Display* Dpy() const { return display_; }

  using TEventHandler = std::function<void(const XEvent&)>;
  void SetWindowHandler(Window window, TEventHandler handler);
  void RemoveWindowHandler(Window window);
  void SetMessageFilter(TMessageFilter filter) { filter_ = std::move(filter); }

  // Any thread: runs call on the UI thread at its next turn.
  void Post(std::function<void()> call);
  // UI thread: handles whatever waits (X events, posted calls, due timers), then returns.
  void ProcessPending();
  // UI thread: waits at most timeoutMs for something to handle and handles it.
  void RunOnce(int timeoutMs);
  // UI thread: returns when something waits to be handled, or after timeoutMs.
  void WaitForEvents(int timeoutMs);
  // UI thread: runs until done() or a quit request.
  void RunUntil(const std::function<bool()>& done);

  void Quit() { quit_ = true; }
  // A Quit, a quit signal or an X error.
  bool QuitRequested() const;
  // Async-signal-safe: asks the loop of this process to quit (SIGTERM and SIGINT).
  static void QuitFromSignal();

  // Process-wide. SIGTERM, SIGINT and SIGHUP end the show from any state: the first call
  // installs handlers that mark the process as asked to quit and make QuitSignalFd()
  // readable, which the loop and a message dialog's own loop both watch.
  static void InstallQuitSignals();
  static bool QuitSignalled();
  static int QuitSignalFd();  // -1 before InstallQuitSignals
  // Process-wide. An X error is reported in one line on standard error, prefixed by
  // program, and ends the loop (XErrorSeen() tells so afterwards); a lost connection is
  // reported too, and displayLost (nothing that talks to the server) runs before the
  // process ends with status 1, as Xlib allows nothing else then.
  static void InstallErrorHandlers(const char* program, void (*displayLost)());
  static bool XErrorSeen();

  std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;

 private:
  class TTimer;
  explicit TX11Loop(Display* display, int wakeRead, int wakeWrite);
  void HandleXEvents();
  void RunPosted();
  void FireTimers();
  int MillisecondsToNextTimer() const;

  Display* display_;
  int wakeRead_;
  int wakeWrite_;
  bool quit_ = false;
  TMessageFilter filter_;
  std::map<Window, TEventHandler> handlers_;
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
  std::vector<TTimer*> timers_;
};

}  // namespace lumora::platform
