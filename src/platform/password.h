// The system's screen-saver password services.
#pragma once

#include "platform/window_handle.h"

namespace lumora::platform {

class IScreenSaverPassword {
 public:
  virtual ~IScreenSaverPassword() = default;
  // Lets the user change the screen-saver password in the system's own dialog, owned
  // by parent (0: none). Returns when the dialog is done; returns at once when the
  // system has no such service.
  virtual void ChangePassword(TWindowHandle parent) = 0;
};

}  // namespace lumora::platform
