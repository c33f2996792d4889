// The machine-wide registry (HKEY_LOCAL_MACHINE), where the system keeps its list of
// installed programs. Keys are opened with full access; paths are backslash-separated.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::platform {

enum class TRegistryResult {
  Ok,
  NotFound,      // the key does not exist (opening without creating)
  AccessDenied,  // the user lacks the rights (standard users may not write this hive)
  Failed,        // anything else
};

// An open key; closed when destroyed.
class IMachineRegistryKey {
 public:
  virtual ~IMachineRegistryKey() = default;
  // Writes a plain string value (REG_SZ); name and text are UTF-8.
  virtual bool WriteText(std::string_view name, std::string_view text) = 0;
};

class IMachineRegistry {
 public:
  virtual ~IMachineRegistry() = default;
  // Opens keyPath with full access; with create, makes it (and its parents) when missing.
  // key receives the open key on Ok.
  virtual TRegistryResult OpenKey(std::string_view keyPath, bool create, std::unique_ptr<IMachineRegistryKey>& key) = 0;
  // Deletes keyPath with its values; the key must have no subkeys.
  virtual TRegistryResult DeleteKey(std::string_view keyPath) = 0;
  // The user's own current screen saver (HKEY_CURRENT_USER\Control Panel\Desktop,
  // "SCRNSAVE.EXE"), which a removal must not leave naming a file that is gone: its
  // path (UTF-8), none when unset; and the removal of that value.
  virtual std::optional<std::string> CurrentScreenSaver() { return std::nullopt; }
  virtual bool ClearCurrentScreenSaver() { return false; }
};

}  // namespace lumora::platform
