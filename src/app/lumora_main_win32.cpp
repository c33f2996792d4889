// Entry of lumora.scr: wires the start-up to the Win32 backend. The modes whose forms
// are not part of the player yet (installer dialog, install worker, removal, settings
// dialog) are the empty hooks of TModeHooks and end quietly.
#include "app/startup.h"
#include "imaging/codecs/codec_table.h"
#include "platform/win32/win32_app_shell.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_metafile.h"
#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// The command line's arguments after the program name, as UTF-8.
std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(lumora::platform::Utf8FromWide(argv[i]));
  ::LocalFree(argv);
  return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    // Windows metafiles are drawn by GDI; the portable decoders know them only through this.
    lumora::codecs::SetMetafileRenderer(&lumora::platform::Win32MetafileRenderer());
    const std::vector<std::string> args = CommandLineArguments();
    lumora::platform::TWin32FileSystem files;
    lumora::platform::TWin32NamedMutexes mutexes;
    lumora::platform::TWin32WindowLookup windows;
    lumora::platform::TWin32ScreenSaverPassword password;
    lumora::platform::TWin32ApplicationShell application;
    const lumora::TModeHooks hooks;  // installer, install worker, removal, settings: later
    lumora::RunStartup(args, {files, mutexes, windows, password, application}, hooks);
  } catch (...) {
    // The process ends quietly whatever happened; the exit code is always the default.
  }
  return 0;
}
