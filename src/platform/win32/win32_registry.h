// HKEY_LOCAL_MACHINE through the wide-character registry calls, full access.
#pragma once

#include "platform/registry.h"

namespace lumora::platform {

class TWin32MachineRegistry final : public IMachineRegistry {
 public:
  TRegistryResult OpenKey(std::string_view keyPath, bool create, std::unique_ptr<IMachineRegistryKey>& key) override;
  TRegistryResult DeleteKey(std::string_view keyPath) override;
  std::optional<std::string> CurrentScreenSaver() override;
  bool ClearCurrentScreenSaver() override;
};

}  // namespace lumora::platform
