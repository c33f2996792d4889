#include "platform/win32/win32_threads.h"

#include "platform/win32/win32_ledger.h"

#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace lumora::platform {
namespace {

constexpr UINT kSyncCall = WM_APP + 1;
constexpr UINT kWorkerEnded = WM_APP + 2;
constexpr wchar_t kClassName[] = L"LumoraWorkerHost";

int NativePriority(TWorkerPriority priority) {
  switch (priority) {
    case TWorkerPriority::Idle: return THREAD_PRIORITY_IDLE;
    case TWorkerPriority::Lowest: return THREAD_PRIORITY_LOWEST;
    case TWorkerPriority::Lower: return THREAD_PRIORITY_BELOW_NORMAL;
    case TWorkerPriority::Normal: return THREAD_PRIORITY_NORMAL;
    case TWorkerPriority::Higher: return THREAD_PRIORITY_ABOVE_NORMAL;
    case TWorkerPriority::Highest: return THREAD_PRIORITY_HIGHEST;
    case TWorkerPriority::TimeCritical: return THREAD_PRIORITY_TIME_CRITICAL;
  }
  return THREAD_PRIORITY_NORMAL;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == kSyncCall) {
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return 0;
    }
    if (message == kWorkerEnded) {
      auto* host = reinterpret_cast<TWin32ThreadHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      if (host != nullptr) host->WorkerEnded(reinterpret_cast<TWin32ThreadHost::TWorker*>(lParam));
      return 0;
    }
  } catch (...) {
    // Nothing crosses the window procedure.
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Milliseconds from the high-resolution counter. The system tick count moves in steps of
// about 16 ms, which would stretch every pause of "more than 1 ms" to 16 or 32 ms.
std::uint32_t PreciseTickCount() {
  static const std::int64_t frequency = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? f.QuadPart : 1;
  }();
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  const std::int64_t c = now.QuadPart;
  return static_cast<std::uint32_t>((c / frequency) * 1000 + (c % frequency) * 1000 / frequency);
}

// How long a worker sleeps between polls: until shortly before the tick it waits for,
// but never so long that a stop goes unnoticed for more than a few milliseconds.
DWORD PollSlice(std::optional<std::uint32_t> wakeTick, std::uint32_t now) {
  constexpr std::int32_t kLongestSlice = 5;
  if (!wakeTick) return 1;
  const auto ahead = static_cast<std::int32_t>(*wakeTick - now);
  return static_cast<DWORD>(std::clamp(ahead - 1, 1, kLongestSlice));
}

// While paused a worker only looks for a stop, and that a little less often.
constexpr DWORD kPausedSlice = 20;

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10, version 1803): a timer that
// keeps millisecond time without raising the resolution of the whole system.
constexpr DWORD kHighResolutionTimer = 0x00000002;

// Millisecond sleeps for one worker: on a high-resolution timer of its own where the
// system has one; otherwise with the system timer at 1 ms for as long as the object
// lives (one wait for a step), so that no fine timer is held between steps.
class TFineSleeper {
 public:
  explicit TFineSleeper(HANDLE timer) : timer_(timer) {
    if (timer_ == nullptr) fine_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  ~TFineSleeper() {
    if (fine_) ::timeEndPeriod(1);
  }
  TFineSleeper(const TFineSleeper&) = delete;
  TFineSleeper& operator=(const TFineSleeper&) = delete;

  void Sleep(DWORD ms) {
    if (timer_ != nullptr) {
      LARGE_INTEGER due{};
      due.QuadPart = -static_cast<LONGLONG>(ms) * 10000;  // relative, in 100 ns units
      if (::SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
        ::WaitForSingleObject(timer_, INFINITE);
        return;
      }
    }
    ::Sleep(ms);
  }

 private:
  HANDLE timer_;
  bool fine_ = false;
};

}  // namespace

class TWin32ThreadHost::TWorker final : public IWorkerThread, public IWorkerContext {
 public:
  TWorker(TWin32ThreadHost& host, HWND window, TWorkerBody body, std::function<void()> onTerminate)
      : host_(host), window_(window), body_(std::move(body)), onTerminate_(std::move(onTerminate)) {
    sleepTimer_ = ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
  }
  ~TWorker() override {
    if (handle_ != nullptr && ::CloseHandle(handle_)) counted::Destroyed(TLedgerKind::Thread);
    if (sleepTimer_ != nullptr) ::CloseHandle(sleepTimer_);
  }

  bool Start(bool suspended, TWorkerPriority priority) {
    handle_ = ::CreateThread(nullptr, 0, &TWorker::Entry, this, CREATE_SUSPENDED, nullptr);
    if (handle_ == nullptr) return false;
    counted::Created(TLedgerKind::Thread);
    ::SetThreadPriority(handle_, NativePriority(priority));
    suspended_ = true;
    if (!suspended) Resume();
    return true;
  }

  bool Suspended() const override { return suspended_; }
  void Resume() override {
    if (!suspended_) return;
    suspended_ = false;
    ::ResumeThread(handle_);
  }
  void Terminate() override { terminated_.store(true); }

  bool Terminated() const override { return terminated_.load(); }
  void Synchronize(const std::function<void()>& call) override {
    ::SendMessageW(window_, kSyncCall, 0, reinterpret_cast<LPARAM>(&call));
  }
  void WaitUntil(const std::function<bool()>& ready, std::optional<std::uint32_t> wakeTick) override {
    if (ready()) return;
    std::optional<TFineSleeper> sleeper;
    while (!ready()) {
      if (host_.Paused()) {
        sleeper.reset();  // no fine timer for a dark screen
        ::Sleep(kPausedSlice);
        continue;
      }
      if (!sleeper) sleeper.emplace(sleepTimer_);
      sleeper->Sleep(PollSlice(wakeTick, host_.ShowTick()));
    }
  }
  std::uint32_t TickCount() const override { return host_.ShowTick(); }

  void Join() { ::WaitForSingleObject(handle_, INFINITE); }
  void Finish() {
    Join();
    if (onTerminate_) onTerminate_();
  }

 private:
  static DWORD WINAPI Entry(void* parameter) {
    auto* self = static_cast<TWorker*>(parameter);
    try {
      self->body_(*self);
    } catch (...) {
      // Nothing leaves a thread entry.
    }
    ::PostMessageW(self->window_, kWorkerEnded, 0, reinterpret_cast<LPARAM>(self));
    return 0;
  }

  TWin32ThreadHost& host_;
  HWND window_;
  TWorkerBody body_;
  HANDLE sleepTimer_ = nullptr;  // high-resolution, where the system has one
  std::function<void()> onTerminate_;
  HANDLE handle_ = nullptr;
  bool suspended_ = false;
  std::atomic<bool> terminated_{false};
};

TWin32ThreadHost::TWin32ThreadHost() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc);
  }();
  (void)atom;
  HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
  if (window != nullptr) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  window_ = window;
}

TWin32ThreadHost::~TWin32ThreadHost() {
  // Owners have ended their workers; any left are ended here without their callbacks.
  for (auto& worker : workers_) {
    worker->Terminate();
    worker->Resume();
  }
  auto* window = static_cast<HWND>(window_);
  while (!workers_.empty()) {
    MSG msg;
    while (::PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
      if (msg.message == kWorkerEnded) {
        auto* worker = reinterpret_cast<TWorker*>(msg.lParam);
        const auto it = std::find_if(workers_.begin(), workers_.end(), [&](const auto& w) { return w.get() == worker; });
        if (it != workers_.end()) {
          (*it)->Join();
          workers_.erase(it);
        }
      } else {
        ::DispatchMessageW(&msg);
      }
    }
    if (!workers_.empty()) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  if (window != nullptr) ::DestroyWindow(window);
}

void TWin32ThreadHost::SetPaused(bool paused) {
  const std::uint32_t now = PreciseTickCount();
  std::lock_guard lock(clockLock_);
  if (paused == paused_) return;
  if (paused)
    pausedAt_ = now - lostTicks_;
  else
    lostTicks_ = now - pausedAt_;
  paused_ = paused;
}

bool TWin32ThreadHost::Paused() const {
  std::lock_guard lock(clockLock_);
  return paused_;
}

std::uint32_t TWin32ThreadHost::ShowTick() const {
  const std::uint32_t now = PreciseTickCount();
  std::lock_guard lock(clockLock_);
  return paused_ ? pausedAt_ : now - lostTicks_;
}

IWorkerThread& TWin32ThreadHost::CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                                              TWorkerPriority priority) {
  auto worker = std::make_unique<TWorker>(*this, static_cast<HWND>(window_), std::move(body), std::move(onTerminate));
  TWorker& ref = *worker;
  workers_.push_back(std::move(worker));
  if (!ref.Start(suspended, priority)) {
    workers_.pop_back();
    throw std::runtime_error("cannot start a worker thread");
  }
  return ref;
}

std::uint32_t TWin32ThreadHost::TickCount() const { return ShowTick(); }

void TWin32ThreadHost::WorkerEnded(TWorker* worker) {
  const auto it = std::find_if(workers_.begin(), workers_.end(), [&](const auto& w) { return w.get() == worker; });
  if (it == workers_.end()) return;
  std::unique_ptr<TWorker> owned = std::move(*it);
  workers_.erase(it);
  try {
    owned->Finish();
  } catch (...) {
  }
}

void TWin32ThreadHost::WaitPumping(const std::function<bool()>& done) {
  while (!done()) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (preDispatch_) preDispatch_(&msg);
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      if (done()) return;
    }
    if (done()) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

}  // namespace lumora::platform
