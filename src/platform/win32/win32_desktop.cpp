#include "platform/win32/win32_desktop.h"

#include "platform/win32/win32_unicode.h"

#include <windows.h>

#include <string>

namespace lumora::platform {
namespace {

class TWin32NamedMutex final : public INamedMutex {
 public:
  explicit TWin32NamedMutex(HANDLE handle) : handle_(handle) {}
  ~TWin32NamedMutex() override { ::CloseHandle(handle_); }
  TWin32NamedMutex(const TWin32NamedMutex&) = delete;
  TWin32NamedMutex& operator=(const TWin32NamedMutex&) = delete;

 private:
  HANDLE handle_;
};

HWND HwndOf(TWindowHandle handle) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(handle)); }

// The system folder with a trailing backslash.
std::wstring SystemFolder() {
  std::wstring dir(MAX_PATH, L'\0');
  for (;;) {
    const UINT n = ::GetSystemDirectoryW(dir.data(), static_cast<UINT>(dir.size()));
    if (n == 0) return {};
    if (n < dir.size()) {
      dir.resize(n);
      break;
    }
    dir.resize(n);
  }
  if (dir.back() != L'\\') dir.push_back(L'\\');
  return dir;
}

}  // namespace

TNamedMutex TWin32NamedMutexes::CreateNamedMutex(std::string_view name) {
  const std::wstring wideName = WideFromUtf8(name);
  HANDLE handle = ::CreateMutexW(nullptr, FALSE, wideName.c_str());
  const DWORD error = ::GetLastError();
  TNamedMutex result;
  if (handle == nullptr) return result;
  result.Handle = std::make_unique<TWin32NamedMutex>(handle);
  result.Outcome = error == ERROR_ALREADY_EXISTS ? TMutexOutcome::AlreadyExisted : TMutexOutcome::Created;
  return result;
}

TNamedMutex TWin32NamedMutexes::WaitForNamedMutex(std::string_view name, std::uint32_t timeoutMs) {
  // The holder never owns the mutex (its existence is the signal), so there is nothing
  // to wait on: try again until the last handle of the other process is gone.
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    TNamedMutex result = CreateNamedMutex(name);
    if (result.Outcome != TMutexOutcome::AlreadyExisted || ::GetTickCount64() >= deadline) return result;
    result.Handle.reset();
    ::Sleep(50);
  }
}

bool TWin32WindowLookup::ActivateTopLevelWindow(std::string_view title) {
  const std::wstring wideTitle = WideFromUtf8(title);
  HWND window = ::FindWindowW(nullptr, wideTitle.c_str());
  if (window == nullptr) return false;
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
  return true;
}

bool TWin32WindowLookup::HideTopLevelWindow(std::string_view title) {
  const std::wstring wideTitle = WideFromUtf8(title);
  HWND window = ::FindWindowW(nullptr, wideTitle.c_str());
  if (window == nullptr) return false;
  ::ShowWindow(window, SW_HIDE);
  return true;
}

bool TWin32WindowLookup::WindowExists(TWindowHandle handle) { return handle != 0 && ::IsWindow(HwndOf(handle)); }

void TWin32ScreenSaverPassword::ChangePassword(TWindowHandle parent) {
  const std::wstring dir = SystemFolder();
  if (dir.empty()) return;
  HMODULE library = ::LoadLibraryW((dir + L"MPR.DLL").c_str());
  if (library == nullptr) return;
  using TPwdChangePassword = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
  const auto change = reinterpret_cast<TPwdChangePassword>(
      reinterpret_cast<void*>(::GetProcAddress(library, "PwdChangePasswordA")));
  if (change != nullptr) change("SCRSAVE", HwndOf(parent), 0, 0);
  ::FreeLibrary(library);
}

}  // namespace lumora::platform
