// Worker threads of the Windows backend: real threads; a synchronised call is a message
// sent to a hidden window of the UI thread; the end of a worker is a message posted to
// it, on which the termination callback runs and the worker is freed. Workers keep time
// with the high-resolution counter and sleep between polls, on a high-resolution waitable
// timer where the system has one; elsewhere the system timer runs at 1 ms only while a
// worker waits for its next step. The clock the workers see stops while the host is
// paused (the display is off), so every step holds where it is.
#pragma once

#include "platform/threads.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace lumora::platform {

class TWin32ThreadHost final : public IThreadHost {
 public:
  // Must be made on the UI thread.
  TWin32ThreadHost();
  ~TWin32ThreadHost() override;
  TWin32ThreadHost(const TWin32ThreadHost&) = delete;
  TWin32ThreadHost& operator=(const TWin32ThreadHost&) = delete;

  IWorkerThread& CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                              TWorkerPriority priority) override;
  std::uint32_t TickCount() const override;
  void WaitPumping(const std::function<bool()>& done) override;
  // Runs on every message WaitPumping takes from the queue (a MSG*), before it is
  // dispatched: the application's message filter.
  // Stops (true) or restarts (false) the workers' clock; the time paused never passes
  // for them.
  void SetPaused(bool paused);
  bool Paused() const;
  // The tick count the workers see (thread-safe).
  std::uint32_t ShowTick() const;

  void SetPreDispatch(std::function<void(const void* msg)> preDispatch) { preDispatch_ = std::move(preDispatch); }

  class TWorker;
  // Window procedure side: the worker has ended.
  void WorkerEnded(TWorker* worker);

 private:
  void* window_ = nullptr;  // HWND
  mutable std::mutex clockLock_;
  bool paused_ = false;
  std::uint32_t pausedAt_ = 0;   // the show tick at the pause
  std::uint32_t lostTicks_ = 0;  // time spent paused so far
  std::vector<std::unique_ptr<TWorker>> workers_;
  std::function<void(const void*)> preDispatch_;
};

}  // namespace lumora::platform
