#include "platform/headless/headless_registry.h"

namespace lumora::platform {
namespace {

class THeadlessKey final : public IMachineRegistryKey {
 public:
  explicit THeadlessKey(std::map<std::string, std::string>& values) : values_(values) {}
  bool WriteText(std::string_view name, std::string_view text) override {
    values_[std::string(name)] = std::string(text);
    return true;
  }

 private:
  std::map<std::string, std::string>& values_;
};

}  // namespace

TRegistryResult THeadlessMachineRegistry::OpenKey(std::string_view keyPath, bool create,
                                                  std::unique_ptr<IMachineRegistryKey>& key) {
  const std::string path(keyPath);
  if (Denied.contains(path)) return TRegistryResult::AccessDenied;
  auto found = Keys.find(path);
  if (found == Keys.end()) {
    if (!create) return TRegistryResult::NotFound;
    if (Broken.contains(path)) return TRegistryResult::Failed;
    found = Keys.emplace(path, std::map<std::string, std::string>{}).first;
  }
  key = std::make_unique<THeadlessKey>(found->second);
  return TRegistryResult::Ok;
}

TRegistryResult THeadlessMachineRegistry::DeleteKey(std::string_view keyPath) {
  const std::string path(keyPath);
  if (Denied.contains(path)) return TRegistryResult::AccessDenied;
  return Keys.erase(path) != 0 ? TRegistryResult::Ok : TRegistryResult::NotFound;
}

}  // namespace lumora::platform
