// A window message as the message loop takes it from the queue, for the filter that
// looks at every message before it is dispatched.
#pragma once

#include "platform/window_handle.h"

#include <cstdint>
#include <functional>

namespace lumora::platform {

// Message numbers the show looks at.
constexpr std::uint32_t kWmKeyDown = 0x0100;
constexpr std::uint32_t kWmSysKeyDown = 0x0104;
constexpr std::uint32_t kWmTimer = 0x0113;
constexpr std::uint32_t kWmMouseMove = 0x0200;
constexpr std::uint32_t kWmLButtonDown = 0x0201;
constexpr std::uint32_t kWmRButtonDown = 0x0204;
constexpr std::uint32_t kWmMButtonDown = 0x0207;
constexpr std::uint32_t kWmImeNotify = 0x0282;
constexpr std::uint32_t kVkEscape = 0x1B;
// The input-method hot key that toggles between IME and non-IME input.
constexpr std::uint32_t kImeHotKeyNonImeToggle = 0x10;

// One message as the loop took it from the queue: its window, number, parameters and
// the cursor position at the time it was posted, in screen coordinates.
struct TMessage {
  TWindowHandle Window = 0;
  std::uint32_t Message = 0;
  std::uint64_t WParam = 0;
  std::int64_t LParam = 0;
  int X = 0;
  int Y = 0;
};

// Looks at a message before it is dispatched; never throws.
using TMessageFilter = std::function<void(const TMessage&)>;

}  // namespace lumora::platform
