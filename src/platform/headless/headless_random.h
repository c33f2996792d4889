// Headless random numbers: a fixed-seed linear congruential generator, so that runs
// repeat, with values that a test can queue in front of it.
#pragma once

#include "platform/random.h"

#include <cstdint>
#include <deque>

namespace lumora::platform {

class THeadlessRandom final : public IRandom {
 public:
  explicit THeadlessRandom(std::uint32_t seed = 0) : seed_(seed) {}

  void Randomize() override { ++randomizeCount_; }
  // Queued values come first (taken modulo n); then the generator.
  int Random(int n) override;

  void Queue(int value) { queued_.push_back(value); }
  void SetSeed(std::uint32_t seed) { seed_ = seed; }
  int RandomizeCount() const { return randomizeCount_; }

 private:
  std::uint32_t seed_;
  std::deque<int> queued_;
  int randomizeCount_ = 0;
};

}  // namespace lumora::platform
