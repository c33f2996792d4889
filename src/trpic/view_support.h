// Small helpers the view's units share: colours, limits, integer arithmetic as the
// layout does it, and a flag held for a scope.
#pragma once

#include "imaging/bitmap32.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace lumora::view_support {

constexpr TPixel kBlack = 0xFF000000u;
constexpr TPixel kWhite = 0xFFFFFFFFu;
// The overlay's brush colour, 0x00FFFFFE as a colour: white with red one short.
constexpr TPixel kStampWhite = MakePixel(0xFE, 0xFF, 0xFF);
// The largest side an effect bitmap can have.
constexpr int kMaxDibSide = 0xFFFF;

// Trunc(a * percent) / 100, the way percentages become pixels.
inline int PercentOf(std::int64_t a, float percent) {
  const double product = static_cast<double>(a) * static_cast<double>(percent);
  if (!(std::fabs(product) < 9.0e18)) return 0;
  const auto t = static_cast<std::int64_t>(product);
  return static_cast<int>(std::clamp<std::int64_t>(t / 100, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

inline int ClampInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

inline TRect UnionBounds(const TRect& a, const TRect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}

// Clears a flag when a scope ends, also on an exception.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace lumora::view_support
