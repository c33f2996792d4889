#include "platform/win32/win32_show_system.h"

#include "platform/win32/win32_ledger.h"

#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <imm.h>

#include <cstring>
#include <map>
#include <vector>

namespace lumora::platform {
namespace {

HWND HwndOf(TWindowHandle handle) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(handle)); }

// The password library's export: takes the owner window, nonzero when the password was given.
using TVerifyScreenSavePwd = BOOL(WINAPI*)(HWND);

class TWin32PasswordLibrary final : public IPasswordLibrary {
 public:
  explicit TWin32PasswordLibrary(HMODULE module) : module_(module) {}
  ~TWin32PasswordLibrary() override { ::FreeLibrary(module_); }
  TWin32PasswordLibrary(const TWin32PasswordLibrary&) = delete;
  TWin32PasswordLibrary& operator=(const TWin32PasswordLibrary&) = delete;

  std::optional<int> VerifyScreenSavePwd(TWindowHandle owner) override {
    const FARPROC proc = ::GetProcAddress(module_, "VerifyScreenSavePwd");
    if (proc == nullptr) return std::nullopt;
    const auto verify = reinterpret_cast<TVerifyScreenSavePwd>(reinterpret_cast<void*>(proc));
    return verify(HwndOf(owner)) != FALSE ? 1 : 0;
  }

 private:
  HMODULE module_;
};

// The thread timers by their system identifiers; one UI thread uses them.
std::map<UINT_PTR, class TWin32Timer*>& TimersById() {
  static std::map<UINT_PTR, TWin32Timer*> timers;
  return timers;
}

class TWin32Timer final : public ITimer {
 public:
  explicit TWin32Timer(std::function<void()> onTimer) : onTimer_(std::move(onTimer)) {}
  ~TWin32Timer() override { Stop(); }
  TWin32Timer(const TWin32Timer&) = delete;
  TWin32Timer& operator=(const TWin32Timer&) = delete;

  void SetInterval(std::uint32_t milliseconds) override {
    interval_ = milliseconds;
    if (enabled_) Start();
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_)
      Start();
    else
      Stop();
  }
  bool Enabled() const override { return enabled_; }

  static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
    const auto it = TimersById().find(id);
    if (it == TimersById().end()) return;
    try {
      if (it->second->onTimer_) it->second->onTimer_();
    } catch (...) {
      // Nothing unwinds into the dispatcher.
    }
  }

 private:
  void Start() {
    Stop();
    id_ = ::SetTimer(nullptr, 0, interval_ == 0 ? 1 : interval_, &TWin32Timer::Fire);
    if (id_ != 0) {
      TimersById()[id_] = this;
      counted::Created(TLedgerKind::Timer);
    }
  }
  void Stop() {
    if (id_ == 0) return;
    if (::KillTimer(nullptr, id_)) counted::Destroyed(TLedgerKind::Timer);
    TimersById().erase(id_);
    id_ = 0;
  }

  std::function<void()> onTimer_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = false;
  UINT_PTR id_ = 0;
};

}  // namespace

int TWin32ShowSystem::ShowCursor(bool show) { return ::ShowCursor(show ? TRUE : FALSE); }

void TWin32ShowSystem::SetDefaultCursor() { ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512))); }

TWindowHandle TWin32ShowSystem::ForegroundWindow() {
  return static_cast<TWindowHandle>(reinterpret_cast<INT_PTR>(::GetForegroundWindow()));
}

void TWin32ShowSystem::SimulateImeHotKey(TWindowHandle window, std::uint32_t hotKey) {
  ::ImmSimulateHotKey(HwndOf(window), hotKey);
}

void TWin32ShowSystem::SetScreenSaverRunning(bool running) {
  BOOL previous = FALSE;
  ::SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, running ? 1 : 0, &previous, 0);
}

std::optional<TRegistryValue> TWin32ShowSystem::ReadCurrentUserValue(std::string_view keyPath,
                                                                     std::string_view valueName) {
  HKEY key = nullptr;
  const std::wstring path = WideFromUtf8(keyPath);
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  const std::wstring name = WideFromUtf8(valueName);
  DWORD type = 0;
  DWORD size = 0;
  std::optional<TRegistryValue> result;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size <= (1u << 20)) {
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      TRegistryValue value;
      if (type == REG_DWORD && size >= sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof(number));
        value.Kind = TRegistryValue::TKind::Integer;
        value.Integer = static_cast<std::int32_t>(number);
      } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        value.Kind = TRegistryValue::TKind::Text;
        value.Text = Utf8FromWide(text);
      }
      result = value;
    }
  }
  ::RegCloseKey(key);
  return result;
}

std::string TWin32ShowSystem::SystemDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return Utf8FromWide(std::wstring(buffer, length));
}

std::unique_ptr<IPasswordLibrary> TWin32ShowSystem::Load(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  HMODULE module = ::LoadLibraryW(wide.c_str());
  if (module == nullptr) return nullptr;
  return std::make_unique<TWin32PasswordLibrary>(module);
}

std::unique_ptr<ITimer> TWin32Timers::CreateTimer(std::function<void()> onTimer) {
  return std::make_unique<TWin32Timer>(std::move(onTimer));
}

}  // namespace lumora::platform
