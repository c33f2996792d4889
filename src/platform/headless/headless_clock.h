// A virtual clock with the timers of the UI thread: time moves only when a test says
// so, and the timers that fall due meanwhile fire in time order.
#pragma once

#include "platform/timer.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace lumora::platform {

class THeadlessClock final : public ITimers {
 public:
  THeadlessClock();
  ~THeadlessClock() override;
  THeadlessClock(const THeadlessClock&) = delete;
  THeadlessClock& operator=(const THeadlessClock&) = delete;

  std::uint64_t Now() const { return now_; }
  // Moves the clock forward by milliseconds, firing every timer that falls due.
  void AdvanceBy(std::uint64_t milliseconds);
  // Moves the clock to the next moment a timer fires and fires it; false when no
  // timer is enabled (nothing would ever happen).
  bool AdvanceToNextTimer();
  // The moment the next timer fires, if any is enabled.
  std::optional<std::uint64_t> NextDue() const;

  std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;

 private:
  friend class THeadlessTimer;
  class THeadlessTimer* EarliestDue() const;
  std::uint64_t now_ = 0;
  std::vector<class THeadlessTimer*> timers_;
};

}  // namespace lumora::platform
