// The show's system services in memory for tests: a cursor counter, a scripted
// registry and password library, and every call recorded in order.
#pragma once

#include "platform/show_system.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessShowSystem final : public IShowSystem, public IRegistry, public IPasswordLibraries {
 public:
  // One line per call: "ShowCursor 0", "ScreenSaverRunning 1", "ImeHotKey 7 16",
  // "LoadLibrary C:\WINDOWS\system32\PASSWORD.CPL", "VerifyScreenSavePwd 42",
  // "FreeLibrary", "DefaultCursor".
  std::vector<std::string> Calls;
  int CursorCounter = 0;
  TWindowHandle Foreground = 0;
  std::string SystemFolder = "C:\\WINDOWS\\system32";
  // Libraries that load, by path; each holds the results its export gives in turn
  // (the last one repeats), or has no export when HasExport is false.
  struct TLibrary {
    bool HasExport = true;
    std::vector<int> Results{1};
    int Calls = 0;
  };
  std::map<std::string, TLibrary> Libraries;
  // Registry values of the current user, by "key\value".
  std::map<std::string, TRegistryValue> Registry;
  // Runs inside ProcessMessages: a test's stand-in for the messages waiting in the queue.
  std::function<void()> OnProcessMessages;

  void SetRegistryValue(std::string_view key, std::string_view value, TRegistryValue data);
  // The calls with a given prefix ("ShowCursor").
  std::vector<std::string> CallsStartingWith(std::string_view prefix) const;

  int ShowCursor(bool show) override;
  void SetDefaultCursor() override;
  TWindowHandle ForegroundWindow() override { return Foreground; }
  void SimulateImeHotKey(TWindowHandle window, std::uint32_t hotKey) override;
  void SetScreenSaverRunning(bool running) override;
  void ProcessMessages() override;

  std::optional<TRegistryValue> ReadCurrentUserValue(std::string_view keyPath, std::string_view valueName) override;

  std::string SystemDirectory() override { return SystemFolder; }
  std::unique_ptr<IPasswordLibrary> Load(const std::string& path) override;
};

}  // namespace lumora::platform
