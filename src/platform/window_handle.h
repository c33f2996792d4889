// A native window handle carried through the core as a number (the command line
// gives it in decimal). 0 is no window.
#pragma once

#include <cstdint>

namespace lumora::platform {

using TWindowHandle = std::int64_t;

}  // namespace lumora::platform
