// The start of the player: the run mode picks exactly one behaviour, which runs until
// its main form closes or its work is done; then the process ends.
#pragma once

#include "platform/app_shell.h"
#include "platform/files.h"
#include "platform/named_mutex.h"
#include "platform/password.h"
#include "platform/window_lookup.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace lumora {

class TMainFrm;

struct TStartupPlatform {
  platform::IFileSystem& Files;
  platform::INamedMutexes& Mutexes;
  platform::IWindowLookup& Windows;
  platform::IScreenSaverPassword& Password;
  platform::IApplicationShell& Application;
};

// The modes whose forms live elsewhere. An empty hook ends its mode quietly, with no
// window. The application object is initialised before the dialogs' hooks run.
struct TModeHooks {
  std::function<void()> RunInstallerDialog;                        // no switch, gate open
  std::function<void(std::string_view runMode)> RunInstallWorker;  // "I" or "O", gate open
  std::function<void()> RunRemoval;                                // "U"
  // Any other switch, and no switch on an installed copy (gate closed); the owner
  // window comes from "/c:HWND" or "/c HWND", 0 for none.
  std::function<void(platform::TWindowHandle owner)> RunSettingsDialog;
  // "S" and "P": the show played on the form, made after the form (and, in preview,
  // after its parenting), before the loop runs; it lives until the loop has ended.
  std::function<std::unique_ptr<platform::IFormEvents>(TMainFrm& form)> CreateShow;
};

// Sets RunMode from args (the command line without the program name) and runs its mode.
void RunStartup(std::span<const std::string> args, const TStartupPlatform& platform, const TModeHooks& hooks = {});

// Puts the preview form into the window whose handle the second argument gives. The
// application window is hidden and made a tool window first, whether or not a parent
// follows. An absent, non-numeric, -1 or 0 handle leaves the form unparented. False when
// the handle names no window (any more) or the system refused it as parent: the preview
// must end then.
bool ApplyPreviewParenting(TMainFrm& form, std::span<const std::string> args, const TStartupPlatform& platform);

}  // namespace lumora
