// The show's system services on Windows: cursor, foreground window, input-method hot
// key, the screen-saver-running notice, message pumping through the application, the
// current user's registry, the password library, and thread timers.
#pragma once

#include "platform/app_shell.h"
#include "platform/show_system.h"
#include "platform/timer.h"

namespace lumora::platform {

class TWin32ShowSystem final : public IShowSystem, public IRegistry, public IPasswordLibraries {
 public:
  explicit TWin32ShowSystem(IApplicationShell& application) : application_(application) {}

  int ShowCursor(bool show) override;
  void SetDefaultCursor() override;
  TWindowHandle ForegroundWindow() override;
  void SimulateImeHotKey(TWindowHandle window, std::uint32_t hotKey) override;
  void SetScreenSaverRunning(bool running) override;
  void ProcessMessages() override { application_.ProcessMessages(); }

  std::optional<TRegistryValue> ReadCurrentUserValue(std::string_view keyPath, std::string_view valueName) override;

  std::string SystemDirectory() override;
  std::unique_ptr<IPasswordLibrary> Load(const std::string& path) override;

 private:
  IApplicationShell& application_;
};

// Timers of the UI thread, fired from its message loop.
class TWin32Timers final : public ITimers {
 public:
  std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;
};

}  // namespace lumora::platform
