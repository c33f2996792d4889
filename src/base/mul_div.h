// a * b / c as the system computes it: a 64-bit product, rounded to the nearest integer
// with halves away from zero; -1 when c is 0 or the result does not fit 32 bits.
#pragma once

#include <cstdint>
#include <limits>

namespace lumora {

constexpr int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const std::uint64_t magnitude =
      product < 0 ? 0u - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
  const std::uint64_t divisor =
      c < 0 ? 0u - static_cast<std::uint64_t>(static_cast<std::int64_t>(c)) : static_cast<std::uint64_t>(c);
  const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return -1;
  const auto q = static_cast<int>(quotient);
  return negative ? -q : q;
}

}  // namespace lumora
