#include "platform/win32/win32_shell.h"

#include "platform/win32/win32_files.h"

#include <windows.h>
#include <shellapi.h>

namespace lumora::platform {

void TWin32Shell::OpenAddress(std::string_view address) {
  try {
    const std::wstring wide = WideFromAnsi(address);
    // No owner, parameters or folder; the result is of no interest.
    ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  } catch (...) {
    // Nothing leaves through the platform boundary.
  }
}

}  // namespace lumora::platform
