#include "app/startup.h"

#include "app/main_frm.h"
#include "app/payload.h"
#include "app/run_mode.h"

namespace lumora {
namespace {

void RunSettings(platform::TWindowHandle owner, const TStartupPlatform& platform, const TModeHooks& hooks) {
  if (!hooks.RunSettingsDialog) return;
  // One settings dialog at a time: a second request brings the first one forward.
  const platform::TNamedMutex mutex = platform.Mutexes.CreateNamedMutex(kSettingsMutexName);
  if (mutex.Outcome == platform::TMutexOutcome::AlreadyExisted) {
    platform.Windows.ActivateTopLevelWindow(kSettingsTitle);
    return;
  }
  platform.Application.Initialize();
  hooks.RunSettingsDialog(owner);
}

void RunInstallGate(const TStartupPlatform& platform, const TModeHooks& hooks) {
  // An unreadable trailer ends the process like a closed gate.
  const std::optional<PayloadTrailer> trailer = ReadPayloadTrailer(platform.Files);
  if (!trailer) return;
  if (trailer->InstallGate == 0) {
    // An installed copy started with no switch is the shell's "Configure": it configures.
    if (RunMode().empty()) RunSettings(0, platform, hooks);
    return;
  }
  if (RunMode().empty()) {
    if (!hooks.RunInstallerDialog) return;
    platform.Application.Initialize();
    hooks.RunInstallerDialog();
  } else if (hooks.RunInstallWorker) {
    hooks.RunInstallWorker(RunMode());
  }
}

void RunShow(TMainFrm& form, const TStartupPlatform& platform, const TModeHooks& hooks) {
  const std::unique_ptr<platform::IFormEvents> show = hooks.CreateShow ? hooks.CreateShow(form) : nullptr;
  form.AttachShow(show.get());
  platform.Application.Run();
  form.AttachShow(nullptr);
  platform.Application.SetMessageFilter(nullptr);
}

void RunFullScreen(const TStartupPlatform& platform, const TModeHooks& hooks) {
  platform.Application.SetTitle(kFullScreenTitle);
  const platform::TNamedMutex mutex = platform.Mutexes.CreateNamedMutex(kFullScreenTitle);
  if (mutex.Outcome == platform::TMutexOutcome::AlreadyExisted) return;
  // A running preview gives way to the full-screen show.
  platform.Windows.HideTopLevelWindow(kPreviewTitle);
  platform.Application.Initialize();
  TMainFrm form(platform.Application);
  form.Window().SetFormStyle(platform::TFormStyle::fsStayOnTop);
  RunShow(form, platform, hooks);
}

void RunPreview(std::span<const std::string> args, const TStartupPlatform& platform, const TModeHooks& hooks) {
  platform.Application.SetTitle(kPreviewTitle);
  // The preview before this one may still be ending: wait for it rather than leave the
  // display settings with a blank preview.
  const platform::TNamedMutex mutex = platform.Mutexes.WaitForNamedMutex(kPreviewTitle, kPreviewMutexWaitMs);
  if (mutex.Outcome == platform::TMutexOutcome::AlreadyExisted) return;
  platform.Application.Initialize();
  TMainFrm form(platform.Application);
  // A form the system would not parent is no child of anything: end, mutex released.
  if (!ApplyPreviewParenting(form, args, platform)) return;
  RunShow(form, platform, hooks);
}

}  // namespace

bool ApplyPreviewParenting(TMainFrm& form, std::span<const std::string> args, const TStartupPlatform& platform) {
  // No taskbar button for the preview, parented or not.
  platform.Application.HideApplicationWindow();
  platform.Application.SetPreviewApplicationStyles();
  const std::optional<std::int32_t> parent = PreviewParentArgument(args);
  if (!parent || *parent == 0) return true;
  // A child of no window would be an invisible disabled form that nothing ever closes,
  // holding the preview mutex for good; and the window it was meant for is gone.
  if (!platform.Windows.WindowExists(*parent)) return false;
  return form.Window().EmbedIn(*parent);
}

void RunStartup(std::span<const std::string> args, const TStartupPlatform& platform, const TModeHooks& hooks) {
  SetRunMode(DecodeRunMode(args));
  switch (ClassifyRunMode(RunMode())) {
    case TRunModeKind::InstallGate:
      RunInstallGate(platform, hooks);
      return;
    case TRunModeKind::Uninstall:
      if (hooks.RunRemoval) hooks.RunRemoval();
      return;
    case TRunModeKind::FullScreen:
      RunFullScreen(platform, hooks);
      return;
    case TRunModeKind::Preview:
      RunPreview(args, platform, hooks);
      return;
    case TRunModeKind::ChangePassword:
      platform.Password.ChangePassword(SecondArgumentAsInt(args, 0));
      return;
    case TRunModeKind::Settings:
      RunSettings(SettingsOwnerArgument(args), platform, hooks);
      return;
  }
}

}  // namespace lumora
