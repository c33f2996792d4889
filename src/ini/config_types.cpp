#include "ini/config_types.h"

#include <cstdlib>
#include <limits>

namespace lumora {

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t magnitude = (std::llabs(product) + std::llabs(static_cast<std::int64_t>(c)) / 2) /
                                 std::llabs(static_cast<std::int64_t>(c));
  const std::int64_t result = ((product < 0) != (c < 0)) ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max() || result < std::numeric_limits<std::int32_t>::min())
    return -1;
  return static_cast<std::int32_t>(result);
}

std::int32_t TFont::Size() const { return -MulDiv(height_, 72, PixelsPerInch); }

void TFont::SetSize(std::int32_t size) { height_ = -MulDiv(size, PixelsPerInch, 72); }

}  // namespace lumora
