// Stand-in for the Display control panel's "desk.cpl,InstallScreenSaver" entry, as
// rundll32.exe calls it: the end-to-end tests put it in the prefix's Windows folder.
// It records the file it was asked to make the current screen saver, one line per
// call, in desk-cpl-calls.txt beside itself, and does nothing else.
#include <windows.h>

namespace {

HINSTANCE self = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) void CALLBACK InstallScreenSaverW(HWND, HINSTANCE, LPWSTR commandLine, int) {
  wchar_t path[MAX_PATH + 32];
  const DWORD n = ::GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  DWORD slash = n;
  while (slash > 0 && path[slash - 1] != L'\\') --slash;
  ::lstrcpyW(path + slash, L"desk-cpl-calls.txt");
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char text[4 * MAX_PATH];
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, text, sizeof text - 2, nullptr, nullptr);
  if (length > 0) {
    text[length - 1] = '\n';
    DWORD written = 0;
    ::WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
  }
  ::CloseHandle(file);
}
