#include "ini/config_types.h"

#include <cstdlib>
#include <limits>

namespace lumora {

std::int32_t TFont::Size() const { return -MulDiv(height_, 72, PixelsPerInch); }

void TFont::SetSize(std::int32_t size) { height_ = -MulDiv(size, PixelsPerInch, 72); }

}  // namespace lumora
