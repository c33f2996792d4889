// The random numbers of the show (placements, effect choices), seeded once per view.
#pragma once

namespace lumora::platform {

class IRandom {
 public:
  virtual ~IRandom() = default;
  // Seeds the generator from something that differs between runs (the headless backend
  // keeps its fixed seed, so that its runs repeat).
  virtual void Randomize() = 0;
  // A uniform integer in [0, n); 0 when n <= 0.
  virtual int Random(int n) = 0;
};

}  // namespace lumora::platform
