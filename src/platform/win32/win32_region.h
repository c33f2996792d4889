// Native window regions from portable regions.
#pragma once

#include "imaging/region.h"

#include <windows.h>

#include <span>

namespace lumora::platform {

// A native region holding exactly the given rectangles (a TRegion's Rects(), already in
// y-then-x band order). Built in batches of at most 1600 rectangles that are united, so
// that no single native call gets a huge rectangle list. The caller owns the result
// (DeleteObject, or hand it to SetWindowRgn). Null when the system cannot make it.
HRGN MakeNativeRegion(std::span<const TRect> rects) noexcept;

}  // namespace lumora::platform
