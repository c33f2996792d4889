#include "platform/win32/win32_threads.h"

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
DWORD PollSlice(std::optional<std::uint32_t> wakeTick) {
  constexpr std::int32_t kLongestSlice = 5;
  if (!wakeTick) return 1;
  const auto ahead = static_cast<std::int32_t>(*wakeTick - PreciseTickCount());
  return static_cast<DWORD>(std::clamp(ahead - 1, 1, kLongestSlice));
}

}  // namespace

class TWin32ThreadHost::TWorker final : public IWorkerThread, public IWorkerContext {
 public:
  TWorker(HWND window, TWorkerBody body, std::function<void()> onTerminate)
      : window_(window), body_(std::move(body)), onTerminate_(std::move(onTerminate)) {}
  ~TWorker() override {
    if (handle_ != nullptr) ::CloseHandle(handle_);
  }

  bool Start(bool suspended, TWorkerPriority priority) {
    handle_ = ::CreateThread(nullptr, 0, &TWorker::Entry, this, CREATE_SUSPENDED, nullptr);
    if (handle_ == nullptr) return false;
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
    while (!ready()) ::Sleep(PollSlice(wakeTick));
  }
  std::uint32_t TickCount() const override { return PreciseTickCount(); }

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

  HWND window_;
  TWorkerBody body_;
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
  SetFineTimer(false);
}

void TWin32ThreadHost::SetFineTimer(bool on) {
  // Sleeps of 1 ms need the system timer at 1 ms; asked for only while workers exist,
  // since a fine timer costs the whole system power.
  if (on == fineTimer_) return;
  fineTimer_ = on;
  if (on)
    ::timeBeginPeriod(1);
  else
    ::timeEndPeriod(1);
}

IWorkerThread& TWin32ThreadHost::CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                                              TWorkerPriority priority) {
  auto worker = std::make_unique<TWorker>(static_cast<HWND>(window_), std::move(body), std::move(onTerminate));
  TWorker& ref = *worker;
  workers_.push_back(std::move(worker));
  if (!ref.Start(suspended, priority)) {
    workers_.pop_back();
    throw std::runtime_error("cannot start a worker thread");
  }
  SetFineTimer(true);
  return ref;
}

std::uint32_t TWin32ThreadHost::TickCount() const { return PreciseTickCount(); }

void TWin32ThreadHost::WorkerEnded(TWorker* worker) {
  const auto it = std::find_if(workers_.begin(), workers_.end(), [&](const auto& w) { return w.get() == worker; });
  if (it == workers_.end()) return;
  std::unique_ptr<TWorker> owned = std::move(*it);
  workers_.erase(it);
  try {
    owned->Finish();
  } catch (...) {
  }
  // The callback may have started the next worker.
  if (workers_.empty()) SetFineTimer(false);
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
