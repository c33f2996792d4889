#include "platform/x11/x11_threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lumora::platform {

std::chrono::steady_clock::time_point NextWorkerPoll(std::optional<std::uint32_t> wakeTick,
                                                     std::chrono::steady_clock::time_point now) {
  using std::chrono::milliseconds;
  constexpr std::int32_t kLongestSlice = 5;
  if (!wakeTick) return now + milliseconds(1);
  // The tick counter is the clock's milliseconds: the tick moves at whole milliseconds.
  const auto whole = std::chrono::floor<milliseconds>(now);
  const auto ahead = static_cast<std::int32_t>(*wakeTick - static_cast<std::uint32_t>(whole.time_since_epoch().count()));
  return whole + milliseconds(std::clamp(ahead, 1, kLongestSlice));
}

class TX11ThreadHost::TWorker final : public IWorkerThread, public IWorkerContext {
 public:
  TWorker(TX11ThreadHost& host, TWorkerBody body, std::function<void()> onTerminate)
      : host_(host), body_(std::move(body)), onTerminate_(std::move(onTerminate)) {}
  ~TWorker() override { Join(); }

  void Start(bool suspended) {
    suspended_ = suspended;
    thread_ = std::thread([this] { Entry(); });
  }

  bool Suspended() const override { return suspended_; }
  void Resume() override {
    if (!suspended_) return;
    {
      const std::lock_guard lock(mutex_);
      suspended_ = false;
    }
    changed_.notify_all();
  }
  void Terminate() override { terminated_.store(true); }

  bool Terminated() const override { return terminated_.load(); }
  void Synchronize(const std::function<void()>& call) override {
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
    host_.loop_.Post([&] {
      try {
        call();
      } catch (...) {
        // A failure stays on the UI thread.
      }
      {
        const std::lock_guard lock(doneMutex);
        done = true;
      }
      doneChanged.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneChanged.wait(lock, [&] { return done; });
  }
  void WaitUntil(const std::function<bool()>& ready, std::optional<std::uint32_t> wakeTick) override {
    // Sleeps of 1 ms each overshoot by a fraction every time and add up to a pause well
    // past its end; one sleep to the deadline ends it on time.
    while (!ready()) std::this_thread::sleep_until(NextWorkerPoll(wakeTick, std::chrono::steady_clock::now()));
  }
  std::uint32_t TickCount() const override { return X11TickCount(); }

  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  void Finish() {
    Join();
    if (onTerminate_) onTerminate_();
  }

 private:
  void Entry() {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !suspended_; });
    }
    try {
      body_(*this);
    } catch (...) {
      // Nothing leaves a thread entry.
    }
    TX11ThreadHost& host = host_;
    host.loop_.Post([&host, self = this] { host.WorkerEnded(self); });
  }

  TX11ThreadHost& host_;
  TWorkerBody body_;
  std::function<void()> onTerminate_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool suspended_ = false;
  std::atomic<bool> terminated_{false};
};

TX11ThreadHost::TX11ThreadHost(TX11Loop& loop) : loop_(loop) {}

TX11ThreadHost::~TX11ThreadHost() {
  // Owners have ended their workers; any left end here without their callbacks, their
  // synchronised calls still served.
  closing_ = true;
  for (auto& worker : workers_) {
    worker->Terminate();
    worker->Resume();
  }
  while (!workers_.empty()) loop_.RunOnce(10);
}

IWorkerThread& TX11ThreadHost::CreateWorker(TWorkerBody body, std::function<void()> onTerminate, bool suspended,
                                            TWorkerPriority) {
  // Priorities stay the process's own: an unprivileged user may not raise them.
  auto worker = std::make_unique<TWorker>(*this, std::move(body), std::move(onTerminate));
  TWorker& ref = *worker;
  workers_.push_back(std::move(worker));
  ref.Start(suspended);
  return ref;
}

void TX11ThreadHost::WorkerEnded(TWorker* worker) {
  const auto it = std::find_if(workers_.begin(), workers_.end(), [&](const auto& w) { return w.get() == worker; });
  if (it == workers_.end()) return;
  std::unique_ptr<TWorker> owned = std::move(*it);
  workers_.erase(it);
  if (closing_) return;
  try {
    owned->Finish();
  } catch (...) {
  }
}

void TX11ThreadHost::WaitPumping(const std::function<bool()>& done) {
  while (!done()) {
    loop_.RunOnce(1);
  }
}

}  // namespace lumora::platform
