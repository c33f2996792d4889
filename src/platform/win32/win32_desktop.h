// The Win32 backend's named mutexes, window lookup and password services.
#pragma once

#include "platform/named_mutex.h"
#include "platform/password.h"
#include "platform/window_lookup.h"

namespace lumora::platform {

class TWin32NamedMutexes final : public INamedMutexes {
 public:
  TNamedMutex CreateNamedMutex(std::string_view name) override;
  TNamedMutex WaitForNamedMutex(std::string_view name, std::uint32_t timeoutMs) override;
};

class TWin32WindowLookup final : public IWindowLookup {
 public:
  bool HideTopLevelWindow(std::string_view title) override;
  bool ActivateTopLevelWindow(std::string_view title) override;
  bool WindowExists(TWindowHandle handle) override;
};

// The password change of MPR.DLL in the system folder ("PwdChangePasswordA" with the
// provider "SCRSAVE").
class TWin32ScreenSaverPassword final : public IScreenSaverPassword {
 public:
  void ChangePassword(TWindowHandle parent) override;
};

}  // namespace lumora::platform
