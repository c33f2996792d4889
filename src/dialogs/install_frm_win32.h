// The install and removal modes of lumora.scr on the Win32 backend: the installer
// dialog TInstallFrm, and the worker and the removal without a dialog.
#pragma once

#include "platform/files.h"

#include <span>
#include <string>
#include <string_view>

namespace lumora {

// No switch, gate open: the installer dialog, until it closes.
void RunInstallFrm(platform::IFileSystem& files);

// "I" or "O" (args: the command line after the program name). Returns the process's
// exit code: 0, or 1 when this is the elevated step and it failed.
int RunInstallWorkerWin32(platform::IFileSystem& files, std::string_view runMode, std::span<const std::string> args);

// "U", with the same exit code.
int RunRemovalWin32(platform::IFileSystem& files, std::span<const std::string> args);

}  // namespace lumora
