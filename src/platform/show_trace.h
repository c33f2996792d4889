// The show's trace: one line per event of its timing (the tick, the first frame of a
// transition, the first picture's decode, the music's start), for working out where the
// time between two pictures or before the first one goes. Off unless a program sets a
// sink (lumora.scr and lumora-play do when the environment variable LUMORA_TRACE names a
// file); then each event costs one line written under a lock. Thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace lumora::platform {

class IShowTrace {
 public:
  virtual ~IShowTrace() = default;
  virtual void Mark(std::string_view event) = 0;
};

inline std::atomic<IShowTrace*>& ShowTraceSlot() {
  static std::atomic<IShowTrace*> slot{nullptr};
  return slot;
}

// The sink stays the caller's; it must outlive every event (set it back to none first).
inline void SetShowTrace(IShowTrace* sink) { ShowTraceSlot().store(sink, std::memory_order_release); }

// Whether events are written: a caller that builds its event's text asks first.
inline bool Tracing() { return ShowTraceSlot().load(std::memory_order_relaxed) != nullptr; }

inline void TraceMark(std::string_view event) {
  if (IShowTrace* sink = ShowTraceSlot().load(std::memory_order_acquire)) sink->Mark(event);
}

// Microseconds since 1970 from the system's clock: a script that started the process
// can line the events up with what it saw from outside.
inline std::int64_t TraceMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Lines "MICROSECONDS EVENT" into an open file, flushed one by one so that a process
// killed at the end of a benchmark loses none. Owns the file.
class TTraceFile final : public IShowTrace {
 public:
  explicit TTraceFile(std::FILE* file) : file_(file) {}
  ~TTraceFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  TTraceFile(const TTraceFile&) = delete;
  TTraceFile& operator=(const TTraceFile&) = delete;

  void Mark(std::string_view event) override {
    const std::string line = std::to_string(TraceMicroseconds()) + ' ' + std::string(event) + '\n';
    std::lock_guard lock(lock_);
    if (file_ == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }

 private:
  std::mutex lock_;
  std::FILE* file_;
};

// Sets the sink for as long as it lives.
class TTraceScope {
 public:
  explicit TTraceScope(IShowTrace* sink) : sink_(sink) {
    if (sink_ != nullptr) SetShowTrace(sink_);
  }
  ~TTraceScope() {
    if (sink_ != nullptr) SetShowTrace(nullptr);
  }
  TTraceScope(const TTraceScope&) = delete;
  TTraceScope& operator=(const TTraceScope&) = delete;

 private:
  IShowTrace* sink_;
};

}  // namespace lumora::platform
