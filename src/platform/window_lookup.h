// Windows of other processes, found by their caption or handle.
#pragma once

#include "platform/window_handle.h"

#include <string_view>

namespace lumora::platform {

class IWindowLookup {
 public:
  virtual ~IWindowLookup() = default;
  // Hides the top-level window whose caption is exactly title, of whatever process;
  // false when there is none.
  virtual bool HideTopLevelWindow(std::string_view title) = 0;
  // Brings the top-level window whose caption is exactly title to the front; false
  // when there is none.
  virtual bool ActivateTopLevelWindow(std::string_view title) {
    (void)title;
    return false;
  }
  // Whether handle names an existing window.
  virtual bool WindowExists(TWindowHandle handle) = 0;
};

}  // namespace lumora::platform
