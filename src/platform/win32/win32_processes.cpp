#include "platform/win32/win32_processes.h"

#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace lumora::platform {

bool TWin32Processes::StartCommand(std::string_view commandLine, TShowState show) {
  // CreateProcessW parses the line as WinExec does, and takes names the ANSI code page
  // cannot spell.
  std::wstring line = WideFromUtf8(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

std::optional<std::uint32_t> TWin32Processes::RunElevated(const std::filesystem::path& program,
                                                          std::string_view parameters) {
  const std::wstring file = program.wstring();
  const std::wstring wideParameters = WideFromUtf8(parameters);
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  // "runas" through the class of executables: a .scr file's own type need not have that
  // verb, while every executable program has it.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_CLASSNAME;
  execute.lpClass = L"exefile";
  execute.hwnd = static_cast<HWND>(owner_);
  execute.lpVerb = L"runas";
  execute.lpFile = file.c_str();
  execute.lpParameters = wideParameters.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&execute) || execute.hProcess == nullptr) return std::nullopt;
  // Pump while waiting, so that the installer's dialog stays painted; its buttons are
  // disabled meanwhile.
  for (;;) {
    const DWORD wait = ::MsgWaitForMultipleObjects(1, &execute.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    if (wait != WAIT_OBJECT_0 + 1) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  DWORD code = 1;
  const bool known = ::GetExitCodeProcess(execute.hProcess, &code) != 0;
  ::CloseHandle(execute.hProcess);
  if (!known) return std::nullopt;
  return static_cast<std::uint32_t>(code);
}

std::string TWin32Processes::CommandInterpreterText(const std::filesystem::path& path) {
  // The command interpreter reads batch files in the console's (OEM) code page.
  const std::wstring wide = path.wstring();
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    ::WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  }
  return out;
}

}  // namespace lumora::platform
