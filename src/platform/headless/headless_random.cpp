#include "platform/headless/headless_random.h"

namespace lumora::platform {

int THeadlessRandom::Random(int n) {
  if (n <= 0) return 0;
  if (!queued_.empty()) {
    const int v = queued_.front();
    queued_.pop_front();
    const int r = v % n;
    return r < 0 ? r + n : r;
  }
  seed_ = seed_ * 134775813u + 1u;
  return static_cast<int>((static_cast<std::uint64_t>(seed_) * static_cast<std::uint32_t>(n)) >> 32);
}

}  // namespace lumora::platform
