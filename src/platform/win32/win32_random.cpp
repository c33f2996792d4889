#include "platform/win32/win32_random.h"

#include <windows.h>

#include <cstdint>

namespace lumora::platform {

void TWin32Random::Randomize() {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  seed_ = static_cast<unsigned>(::GetTickCount()) ^ static_cast<unsigned>(counter.LowPart);
}

int TWin32Random::Random(int n) {
  if (n <= 0) return 0;
  seed_ = seed_ * 134775813u + 1u;
  return static_cast<int>((static_cast<std::uint64_t>(seed_) * static_cast<std::uint32_t>(n)) >> 32);
}

}  // namespace lumora::platform
