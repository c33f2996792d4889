// Worker threads of the view on the X11 loop: each step a worker synchronises runs as a
// posted call on the UI thread, and the worker's end comes back the same way.
#pragma once

#include "platform/threads.h"
#include "platform/x11/x11_loop.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace lumora::platform {

// When a waiting worker polls again, seen at now: at the start of the millisecond in
// which the tick counter reaches wakeTick, so that a pause ends as soon as it may, but
// never more than a few milliseconds on, so that a stop is seen soon; 1 ms on without a
// wake tick.
std::chrono::steady_clock::time_point NextWorkerPoll(std::optional<std::uint32_t> wakeTick,
                                                     std::chrono::steady_clock::time_point now);

class TX11ThreadHost final : public IThreadHost {
 public:
  explicit TX11ThreadHost(TX11Loop& loop);
  ~TX11ThreadHost() override;
  TX11ThreadHost(const TX11ThreadHost&) = delete;
  TX11ThreadHost& operator=(const TX11ThreadHost&) = delete;

  IWorkerThread& CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                              TWorkerPriority priority) override;
  std::uint32_t TickCount() const override { return X11TickCount(); }
  void WaitPumping(const std::function<bool()>& done) override;

  std::size_t WorkerCount() const { return workers_.size(); }

 private:
  class TWorker;
  void WorkerEnded(TWorker* worker);

  TX11Loop& loop_;
  std::vector<std::unique_ptr<TWorker>> workers_;
  bool closing_ = false;
};

}  // namespace lumora::platform
