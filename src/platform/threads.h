// Worker threads of the view and the millisecond tick counter.
//
// A worker only keeps time: every step that touches the view is a synchronised call that
// runs on the UI thread and blocks the worker until it returns; between steps the worker
// polls the tick counter and plain flags. Its end is reported through a termination
// callback that runs on the UI thread, after which the host frees the worker. The UI
// thread, whenever it waits for a worker, keeps processing messages (synchronised calls
// and termination callbacks).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace lumora::platform {

enum class TWorkerPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// What the worker's body sees (worker side).
class IWorkerContext {
 public:
  virtual ~IWorkerContext() = default;
  // Terminate was called by the UI thread.
  virtual bool Terminated() const = 0;
  // Runs call on the UI thread and returns when it has returned. A failure inside the
  // call is swallowed there (it never crosses into the worker).
  virtual void Synchronize(const std::function<void()>& call) = 0;
  // Returns when ready() is true; ready is polled (it reads plain flags and the tick
  // counter), and the worker sleeps between polls rather than spinning. wakeTick, when
  // given, is the tick count at which ready may become true through time alone, so that
  // a scheduler can jump to it and a sleeper need not wake much earlier.
  virtual void WaitUntil(const std::function<bool()>& ready, std::optional<std::uint32_t> wakeTick) = 0;
  // The millisecond tick counter (wraps around like the system's). It moves in steps of
  // 1 ms or finer, so that a pause of a few milliseconds lasts that long.
  virtual std::uint32_t TickCount() const = 0;
};

// A worker as its owner sees it (UI side). Valid until its termination callback has
// returned; the host frees it then.
class IWorkerThread {
 public:
  virtual ~IWorkerThread() = default;
  virtual bool Suspended() const = 0;
  // Starts a suspended worker; nothing when it already runs.
  virtual void Resume() = 0;
  // Asks the worker to end; its body sees Terminated() and returns.
  virtual void Terminate() = 0;
};

using TWorkerBody = std::function<void(IWorkerContext&)>;

class IThreadHost {
 public:
  virtual ~IThreadHost() = default;
  // A new worker running body, suspended or running; onTerminate runs on the UI thread
  // once the body has returned (a failure inside it is swallowed). The body never throws
  // out of the worker: an escaping exception ends it like a return.
  virtual IWorkerThread& CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                                      TWorkerPriority priority) = 0;
  // The millisecond tick counter, as the workers see it.
  virtual std::uint32_t TickCount() const = 0;
  // UI thread: processes messages (synchronised calls, termination callbacks) until
  // done() is true.
  virtual void WaitPumping(const std::function<bool()>& done) = 0;
};

}  // namespace lumora::platform
