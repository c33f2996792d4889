// The machine-wide registry in memory: keys by path, their string values, and a set
// of keys the user may not open, as a standard user meets HKEY_LOCAL_MACHINE.
#pragma once

#include "platform/registry.h"

#include <map>
#include <optional>
#include <set>
#include <string>

namespace lumora::platform {

class THeadlessMachineRegistry final : public IMachineRegistry {
 public:
  // Values of each key, by key path; a key without values is still present.
  std::map<std::string, std::map<std::string, std::string>> Keys;
  // Key paths whose opening (with or without creating) and deletion are denied.
  std::set<std::string> Denied;
  // Key paths that cannot be created for any other reason.
  std::set<std::string> Broken;

  // HKEY_CURRENT_USER\Control Panel\Desktop, "SCRNSAVE.EXE".
  std::optional<std::string> ScreenSaver;

  std::optional<std::string> CurrentScreenSaver() override { return ScreenSaver; }
  bool ClearCurrentScreenSaver() override {
    ScreenSaver.reset();
    return true;
  }
  TRegistryResult OpenKey(std::string_view keyPath, bool create, std::unique_ptr<IMachineRegistryKey>& key) override;
  TRegistryResult DeleteKey(std::string_view keyPath) override;
};

}  // namespace lumora::platform
