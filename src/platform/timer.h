// Periodic timers on the UI thread (the show's timScr).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace lumora::platform {

// Fires OnTimer every Interval milliseconds while enabled. Enabling it, or giving an
// enabled timer a new interval, starts the count again from zero. Fires on the UI
// thread from the message loop; the handler must not throw.
class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetInterval(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class ITimers {
 public:
  virtual ~ITimers() = default;
  // A new timer, disabled, interval 1000 ms.
  virtual std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) = 0;
};

}  // namespace lumora::platform
