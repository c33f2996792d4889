// Worker threads under a virtual clock and a deterministic scheduler. Each worker body
// runs on a thread of its own, but only while the scheduler hands it the baton: the UI
// thread and the workers take turns, so every ordering repeats from run to run. The
// clock only moves when nothing can go on without time passing, and then jumps to the
// next tick a worker waits for; a 642-frame effect takes milliseconds and no test sleeps.
// Like the Win32 host it can be paused (the display is off): the workers' clock stands
// still while the host's own time goes on, and no wait of a worker ends through time.
#pragma once

#include "platform/threads.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace lumora::platform {

// Thrown by a UI-thread wait that nothing can ever end (a deadlock on a real system).
class EHeadlessDeadlock : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class THeadlessThreadHost final : public IThreadHost {
 public:
  THeadlessThreadHost();
  ~THeadlessThreadHost() override;
  THeadlessThreadHost(const THeadlessThreadHost&) = delete;
  THeadlessThreadHost& operator=(const THeadlessThreadHost&) = delete;

  IWorkerThread& CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                              TWorkerPriority priority) override;
  // The workers' clock: the host's time less the time spent paused.
  std::uint32_t TickCount() const override { return paused_ ? pausedAt_ : now_ - lostTicks_; }
  void WaitPumping(const std::function<bool()>& done) override;

  // The message loop of a test. Runs until every worker has ended or waits suspended.
  void RunUntilIdle();
  // Runs for ms of virtual time (the clock ends exactly ms later).
  void RunFor(std::uint32_t ms);
  // Runs until done() is true; false when nothing more can happen first.
  bool RunUntil(const std::function<bool()>& done);
  // Sets the workers' clock.
  void SetTickCount(std::uint32_t tick) { now_ = tick + lostTicks_; }
  // Stops (true) or restarts (false) the workers' clock; RunFor still lets the host's time
  // pass meanwhile, which the workers never see.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }

  std::size_t WorkerCount() const { return workers_.size(); }
  std::uint64_t SynchronizedCalls() const { return syncCalls_; }
  // Priorities the workers were created with, in creation order.
  const std::vector<TWorkerPriority>& Priorities() const { return priorities_; }

 private:
  class TWorker;
  friend class TWorker;
  // One unit of progress; false when nothing can go on at the current tick.
  bool Step();
  // Jumps the clock to the earliest tick a waiting worker named; false when none.
  bool AdvanceClock(std::uint64_t limit);
  void Run(TWorker& worker);

  std::mutex mutex_;
  std::condition_variable changed_;
  TWorker* baton_ = nullptr;  // the worker allowed to run; null: the UI thread
  bool abandon_ = false;
  std::uint32_t now_ = 0;       // the host's time
  bool paused_ = false;
  std::uint32_t pausedAt_ = 0;   // the workers' tick at the pause
  std::uint32_t lostTicks_ = 0;  // time spent paused so far
  std::vector<std::unique_ptr<TWorker>> workers_;
  std::size_t cursor_ = 0;
  std::uint64_t syncCalls_ = 0;
  std::vector<TWorkerPriority> priorities_;
};

}  // namespace lumora::platform
