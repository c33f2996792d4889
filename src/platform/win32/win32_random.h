// Random numbers of the Windows backend, seeded from the tick counters.
#pragma once

#include "platform/random.h"

namespace lumora::platform {

class TWin32Random final : public IRandom {
 public:
  void Randomize() override;
  int Random(int n) override;

 private:
  unsigned seed_ = 0;
};

}  // namespace lumora::platform
