#include "platform/win32/win32_registry.h"

#include "platform/win32/win32_unicode.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace lumora::platform {
namespace {

TRegistryResult ResultOf(LSTATUS status) {
  switch (status) {
    case ERROR_SUCCESS:
      return TRegistryResult::Ok;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return TRegistryResult::NotFound;
    case ERROR_ACCESS_DENIED:
      return TRegistryResult::AccessDenied;
    default:
      return TRegistryResult::Failed;
  }
}

class TWin32Key final : public IMachineRegistryKey {
 public:
  explicit TWin32Key(HKEY key) : key_(key) {}
  ~TWin32Key() override { ::RegCloseKey(key_); }
  TWin32Key(const TWin32Key&) = delete;
  TWin32Key& operator=(const TWin32Key&) = delete;

  bool WriteText(std::string_view name, std::string_view text) override {
    const std::wstring wideName = WideFromUtf8(name);
    const std::wstring wideText = WideFromUtf8(text);
    const DWORD bytes = static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key_, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wideText.c_str()),
                            bytes) == ERROR_SUCCESS;
  }

 private:
  HKEY key_;
};

}  // namespace

TRegistryResult TWin32MachineRegistry::OpenKey(std::string_view keyPath, bool create,
                                               std::unique_ptr<IMachineRegistryKey>& key) {
  const std::wstring path = WideFromUtf8(keyPath);
  HKEY opened = nullptr;
  const LSTATUS status =
      create ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, &opened, nullptr)
             : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &opened);
  if (status != ERROR_SUCCESS) return ResultOf(status);
  key = std::make_unique<TWin32Key>(opened);
  return TRegistryResult::Ok;
}

TRegistryResult TWin32MachineRegistry::DeleteKey(std::string_view keyPath) {
  const std::wstring path = WideFromUtf8(keyPath);
  return ResultOf(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()));
}

namespace {
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kScreenSaverValue[] = L"SCRNSAVE.EXE";
}  // namespace

std::optional<std::string> TWin32MachineRegistry::CurrentScreenSaver() {
  // RRF_RT_REG_SZ alone also takes an expandable string, expanded.
  DWORD type = 0;
  DWORD bytes = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue, RRF_RT_REG_SZ, &type,
                     nullptr, &bytes) != ERROR_SUCCESS ||
      bytes < sizeof(wchar_t)) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue, RRF_RT_REG_SZ, &type,
                     value.data(), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(::wcsnlen(value.c_str(), value.size()));
  if (value.empty()) return std::nullopt;
  return Utf8FromWide(value);
}

bool TWin32MachineRegistry::ClearCurrentScreenSaver() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  const LSTATUS status = ::RegDeleteValueW(key, kScreenSaverValue);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace lumora::platform
