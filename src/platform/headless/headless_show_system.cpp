#include "platform/headless/headless_show_system.h"

#include <algorithm>

namespace lumora::platform {
namespace {

class THeadlessPasswordLibrary final : public IPasswordLibrary {
 public:
  THeadlessPasswordLibrary(THeadlessShowSystem& system, THeadlessShowSystem::TLibrary& library)
      : system_(system), library_(library) {}
  ~THeadlessPasswordLibrary() override { system_.Calls.push_back("FreeLibrary"); }
  THeadlessPasswordLibrary(const THeadlessPasswordLibrary&) = delete;
  THeadlessPasswordLibrary& operator=(const THeadlessPasswordLibrary&) = delete;

  std::optional<int> VerifyScreenSavePwd(TWindowHandle owner) override {
    if (!library_.HasExport) return std::nullopt;
    system_.Calls.push_back("VerifyScreenSavePwd " + std::to_string(owner));
    const int index = std::min<int>(library_.Calls++, static_cast<int>(library_.Results.size()) - 1);
    return index < 0 ? 0 : library_.Results[static_cast<std::size_t>(index)];
  }

 private:
  THeadlessShowSystem& system_;
  THeadlessShowSystem::TLibrary& library_;
};

}  // namespace

void THeadlessShowSystem::SetRegistryValue(std::string_view key, std::string_view value, TRegistryValue data) {
  Registry[std::string(key) + "\\" + std::string(value)] = std::move(data);
}

std::vector<std::string> THeadlessShowSystem::CallsStartingWith(std::string_view prefix) const {
  std::vector<std::string> result;
  for (const std::string& call : Calls)
    if (call.starts_with(prefix)) result.push_back(call);
  return result;
}

int THeadlessShowSystem::ShowCursor(bool show) {
  Calls.push_back(show ? "ShowCursor 1" : "ShowCursor 0");
  CursorCounter += show ? 1 : -1;
  return CursorCounter;
}

void THeadlessShowSystem::SetDefaultCursor() { Calls.push_back("DefaultCursor"); }

void THeadlessShowSystem::SimulateImeHotKey(TWindowHandle window, std::uint32_t hotKey) {
  Calls.push_back("ImeHotKey " + std::to_string(window) + " " + std::to_string(hotKey));
}

void THeadlessShowSystem::SetScreenSaverRunning(bool running) {
  Calls.push_back(running ? "ScreenSaverRunning 1" : "ScreenSaverRunning 0");
}

void THeadlessShowSystem::ProcessMessages() {
  if (OnProcessMessages) OnProcessMessages();
}

std::optional<TRegistryValue> THeadlessShowSystem::ReadCurrentUserValue(std::string_view keyPath,
                                                                        std::string_view valueName) {
  const auto it = Registry.find(std::string(keyPath) + "\\" + std::string(valueName));
  if (it == Registry.end()) return std::nullopt;
  return it->second;
}

std::unique_ptr<IPasswordLibrary> THeadlessShowSystem::Load(const std::string& path) {
  Calls.push_back("LoadLibrary " + path);
  const auto it = Libraries.find(path);
  if (it == Libraries.end()) return nullptr;
  return std::make_unique<THeadlessPasswordLibrary>(*this, it->second);
}

}  // namespace lumora::platform
