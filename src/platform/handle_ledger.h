// A count of the system objects a backend creates and destroys, kind by kind, so that a
// long show can be checked for leaks where the system itself reports no object counts.
// (Windows are not booked: they also go with their parents, so a backend counts the ones
// it has when it reports.)
// The backend books each creation and destruction; a report gives, per kind, the objects
// alive, created and destroyed. Thread-safe.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumora::platform {

enum class TLedgerKind : std::size_t {
  DeviceContext,
  Bitmap,
  Font,
  Brush,
  Region,
  Timer,
  Thread,
  MediaDevice,
};
inline constexpr std::size_t kLedgerKinds = 8;

constexpr std::string_view LedgerKindName(TLedgerKind kind) {
  constexpr std::array<std::string_view, kLedgerKinds> names{"dc",    "bitmap", "font",  "brush",
                                                             "region", "timer",  "thread", "media"};
  return names[static_cast<std::size_t>(kind)];
}

class THandleLedger {
 public:
  void Created(TLedgerKind kind) { created_[Index(kind)].fetch_add(1, std::memory_order_relaxed); }
  void Destroyed(TLedgerKind kind) { destroyed_[Index(kind)].fetch_add(1, std::memory_order_relaxed); }
  std::int64_t CreatedCount(TLedgerKind kind) const { return created_[Index(kind)].load(std::memory_order_relaxed); }
  std::int64_t DestroyedCount(TLedgerKind kind) const {
    return destroyed_[Index(kind)].load(std::memory_order_relaxed);
  }
  std::int64_t Live(TLedgerKind kind) const { return CreatedCount(kind) - DestroyedCount(kind); }

  // One line per kind: "name live created destroyed", in the order of TLedgerKind.
  std::string Report() const {
    std::string text;
    for (std::size_t i = 0; i < kLedgerKinds; ++i) {
      const auto kind = static_cast<TLedgerKind>(i);
      text += std::string(LedgerKindName(kind)) + ' ' + std::to_string(Live(kind)) + ' ' +
              std::to_string(CreatedCount(kind)) + ' ' + std::to_string(DestroyedCount(kind)) + '\n';
    }
    return text;
  }

 private:
  static constexpr std::size_t Index(TLedgerKind kind) { return static_cast<std::size_t>(kind); }
  std::array<std::atomic<std::int64_t>, kLedgerKinds> created_{};
  std::array<std::atomic<std::int64_t>, kLedgerKinds> destroyed_{};
};

// The ledger of this process's backend.
inline THandleLedger& ProcessLedger() {
  static THandleLedger ledger;
  return ledger;
}

}  // namespace lumora::platform
