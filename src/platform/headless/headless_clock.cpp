#include "platform/headless/headless_clock.h"

#include <algorithm>
#include <optional>

namespace lumora::platform {

class THeadlessTimer final : public ITimer {
 public:
  THeadlessTimer(THeadlessClock& clock, std::function<void()> onTimer) : clock_(clock), onTimer_(std::move(onTimer)) {
    clock_.timers_.push_back(this);
  }
  ~THeadlessTimer() override { std::erase(clock_.timers_, this); }
  THeadlessTimer(const THeadlessTimer&) = delete;
  THeadlessTimer& operator=(const THeadlessTimer&) = delete;

  void SetInterval(std::uint32_t milliseconds) override {
    interval_ = milliseconds;
    if (enabled_) due_ = clock_.now_ + std::max<std::uint32_t>(interval_, 1);
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled && !enabled_) due_ = clock_.now_ + std::max<std::uint32_t>(interval_, 1);
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }

  std::uint64_t Due() const { return due_; }
  void Fire() {
    due_ = clock_.now_ + std::max<std::uint32_t>(interval_, 1);
    if (onTimer_) onTimer_();
  }

 private:
  THeadlessClock& clock_;
  std::function<void()> onTimer_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = false;
  std::uint64_t due_ = 0;
};

THeadlessClock::THeadlessClock() = default;
THeadlessClock::~THeadlessClock() = default;

THeadlessTimer* THeadlessClock::EarliestDue() const {
  THeadlessTimer* best = nullptr;
  for (THeadlessTimer* timer : timers_)
    if (timer->Enabled() && (best == nullptr || timer->Due() < best->Due())) best = timer;
  return best;
}

std::optional<std::uint64_t> THeadlessClock::NextDue() const {
  const THeadlessTimer* timer = EarliestDue();
  if (timer == nullptr) return std::nullopt;
  return timer->Due();
}

void THeadlessClock::AdvanceBy(std::uint64_t milliseconds) {
  const std::uint64_t end = now_ + milliseconds;
  for (;;) {
    THeadlessTimer* timer = EarliestDue();
    if (timer == nullptr || timer->Due() > end) break;
    now_ = std::max(now_, timer->Due());
    timer->Fire();
  }
  now_ = end;
}

bool THeadlessClock::AdvanceToNextTimer() {
  THeadlessTimer* timer = EarliestDue();
  if (timer == nullptr) return false;
  now_ = std::max(now_, timer->Due());
  timer->Fire();
  return true;
}

std::unique_ptr<ITimer> THeadlessClock::CreateTimer(std::function<void()> onTimer) {
  return std::make_unique<THeadlessTimer>(*this, std::move(onTimer));
}

}  // namespace lumora::platform
