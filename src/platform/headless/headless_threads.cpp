#include "platform/headless/headless_threads.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <thread>

namespace lumora::platform {
namespace {

// Thrown inside an abandoned worker (the host goes away) to unwind its body.
struct TAbandoned {};

}  // namespace

class THeadlessThreadHost::TWorker final : public IWorkerThread, public IWorkerContext {
 public:
  enum class TState { Suspended, Ready, Running, Sync, InSync, Waiting, Ended, Finishing };

  TWorker(THeadlessThreadHost& host, TWorkerBody body, std::function<void()> onTerminate, bool suspended)
      : host_(host), body_(std::move(body)), onTerminate_(std::move(onTerminate)),
        state_(suspended ? TState::Suspended : TState::Ready) {}
  ~TWorker() override {
    if (thread_.joinable()) thread_.join();
  }

  bool Suspended() const override { return state_ == TState::Suspended; }
  void Resume() override {
    if (state_ == TState::Suspended) state_ = TState::Ready;
  }
  void Terminate() override { terminated_ = true; }

  bool Terminated() const override { return terminated_; }
  void Synchronize(const std::function<void()>& call) override {
    call_ = &call;
    Yield(TState::Sync);
  }
  void WaitUntil(const std::function<bool()>& ready, std::optional<std::uint32_t> wakeTick) override {
    if (ready()) return;
    ready_ = &ready;
    wake_ = wakeTick;
    Yield(TState::Waiting);
  }
  std::uint32_t TickCount() const override { return host_.TickCount(); }

  // Worker thread: waits for the baton, runs the body, reports the end.
  void Main() {
    bool abandoned = false;
    {
      std::unique_lock lock(host_.mutex_);
      host_.changed_.wait(lock, [this] { return host_.baton_ == this || host_.abandon_; });
      abandoned = host_.abandon_;
    }
    if (!abandoned) {
      try {
        body_(*this);
      } catch (...) {
        // Nothing leaves a worker; an abandoned one unwinds here too.
      }
    }
    std::lock_guard lock(host_.mutex_);
    state_ = TState::Ended;
    if (host_.baton_ == this) host_.baton_ = nullptr;
    host_.changed_.notify_all();
  }

  // Hands the baton back to the UI thread and waits for it again.
  void Yield(TState next) {
    std::unique_lock lock(host_.mutex_);
    state_ = next;
    host_.baton_ = nullptr;
    host_.changed_.notify_all();
    host_.changed_.wait(lock, [this] { return host_.baton_ == this || host_.abandon_; });
    if (host_.abandon_) throw TAbandoned{};
  }

  THeadlessThreadHost& host_;
  TWorkerBody body_;
  std::function<void()> onTerminate_;
  TState state_;
  bool terminated_ = false;
  bool started_ = false;
  const std::function<void()>* call_ = nullptr;
  const std::function<bool()>* ready_ = nullptr;
  std::optional<std::uint32_t> wake_;
  std::thread thread_;
};

THeadlessThreadHost::THeadlessThreadHost() = default;

THeadlessThreadHost::~THeadlessThreadHost() {
  // Termination callbacks would reach owners that may be gone: the remaining workers are
  // unwound without them.
  {
    std::lock_guard lock(mutex_);
    abandon_ = true;
    changed_.notify_all();
  }
  workers_.clear();  // joins the started threads
}

IWorkerThread& THeadlessThreadHost::CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                                                 TWorkerPriority priority) {
  priorities_.push_back(priority);
  workers_.push_back(std::make_unique<TWorker>(*this, std::move(body), std::move(onTerminate), suspended));
  return *workers_.back();
}

void THeadlessThreadHost::Run(TWorker& worker) {
  if (!worker.started_) {
    worker.started_ = true;
    worker.thread_ = std::thread([&worker] { worker.Main(); });
  }
  std::unique_lock lock(mutex_);
  worker.state_ = TWorker::TState::Running;  // the worker sets its next state before it yields
  baton_ = &worker;
  changed_.notify_all();
  changed_.wait(lock, [this] { return baton_ == nullptr; });
}

bool THeadlessThreadHost::Step() {
  const std::size_t count = workers_.size();
  const std::size_t start = cursor_;
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t index = (start + n) % count;
    TWorker& worker = *workers_[index];
    cursor_ = (index + 1) % count;
    switch (worker.state_) {
      case TWorker::TState::Ready:
        Run(worker);
        return true;
      case TWorker::TState::Sync:
        // The worker stays blocked until the call has returned, also when the call waits
        // for other workers meanwhile.
        worker.state_ = TWorker::TState::InSync;
        ++syncCalls_;
        try {
          (*worker.call_)();
        } catch (...) {
        }
        worker.state_ = TWorker::TState::Ready;
        return true;
      case TWorker::TState::Waiting:
        if ((*worker.ready_)()) {
          worker.state_ = TWorker::TState::Ready;
          return true;
        }
        break;
      case TWorker::TState::Ended: {
        worker.state_ = TWorker::TState::Finishing;
        if (worker.thread_.joinable()) worker.thread_.join();
        try {
          if (worker.onTerminate_) worker.onTerminate_();
        } catch (...) {
        }
        const auto it = std::find_if(workers_.begin(), workers_.end(), [&](const auto& w) { return w.get() == &worker; });
        workers_.erase(it);
        cursor_ = 0;
        return true;
      }
      default:
        break;
    }
  }
  return false;
}

void THeadlessThreadHost::SetPaused(bool paused) {
  if (paused == paused_) return;
  if (paused)
    pausedAt_ = now_ - lostTicks_;
  else
    lostTicks_ = now_ - pausedAt_;
  paused_ = paused;
}

bool THeadlessThreadHost::AdvanceClock(std::uint64_t limit) {
  // A paused clock wakes nobody.
  if (paused_) return false;
  const std::uint32_t tick = TickCount();
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  for (const auto& worker : workers_) {
    if (worker->state_ != TWorker::TState::Waiting || !worker->wake_) continue;
    const auto ahead = static_cast<std::int32_t>(*worker->wake_ - tick);
    if (ahead > 0 && ahead < best) best = ahead;
  }
  if (best == std::numeric_limits<std::int64_t>::max() || static_cast<std::uint64_t>(best) > limit) return false;
  now_ += static_cast<std::uint32_t>(best);
  return true;
}

void THeadlessThreadHost::WaitPumping(const std::function<bool()>& done) {
  while (!done()) {
    if (Step()) continue;
    if (!AdvanceClock(std::numeric_limits<std::uint64_t>::max()))
      throw EHeadlessDeadlock("headless threads: a UI-thread wait that no worker can end");
  }
}

void THeadlessThreadHost::RunUntilIdle() {
  while (Step() || AdvanceClock(std::numeric_limits<std::uint64_t>::max())) {
  }
}

bool THeadlessThreadHost::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    if (!Step() && !AdvanceClock(std::numeric_limits<std::uint64_t>::max())) return false;
  }
  return true;
}

void THeadlessThreadHost::RunFor(std::uint32_t ms) {
  const std::uint32_t end = now_ + ms;
  for (;;) {
    if (Step()) continue;
    const auto left = static_cast<std::uint32_t>(end - now_);
    if (!AdvanceClock(left)) break;
  }
  now_ = end;
}

}  // namespace lumora::platform
