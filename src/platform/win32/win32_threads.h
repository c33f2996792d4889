// Worker threads of the Windows backend: real threads; a synchronised call is a message
// sent to a hidden window of the UI thread; the end of a worker is a message posted to
// it, on which the termination callback runs and the worker is freed. Workers keep time
// with the high-resolution counter and sleep between polls; while any exists, the
// system timer runs at 1 ms.
#pragma once

#include "platform/threads.h"

#include <memory>
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
  void SetPreDispatch(std::function<void(const void* msg)> preDispatch) { preDispatch_ = std::move(preDispatch); }

  class TWorker;
  // Window procedure side: the worker has ended.
  void WorkerEnded(TWorker* worker);

 private:
  void SetFineTimer(bool on);

  void* window_ = nullptr;  // HWND
  bool fineTimer_ = false;
  std::vector<std::unique_ptr<TWorker>> workers_;
  std::function<void(const void*)> preDispatch_;
};

}  // namespace lumora::platform
