#include "dialogs/removal.h"

#include <memory>

namespace lumora {
namespace {

enum class TStepOutcome { Done, AccessDenied, Failed };

TStepOutcome DeleteUninstallEntry(const TInstallPlatform& platform, const std::string& keyPath) {
  std::unique_ptr<platform::IMachineRegistryKey> key;
  switch (platform.Registry.OpenKey(keyPath, false, key)) {
    case platform::TRegistryResult::Ok:
      break;
    case platform::TRegistryResult::AccessDenied:
      return TStepOutcome::AccessDenied;
    case platform::TRegistryResult::NotFound:
    case platform::TRegistryResult::Failed:
      return TStepOutcome::Done;  // nothing there to remove, or nothing we can reach
  }
  key.reset();
  switch (platform.Registry.DeleteKey(keyPath)) {
    case platform::TRegistryResult::Ok:
    case platform::TRegistryResult::NotFound:
      return TStepOutcome::Done;
    case platform::TRegistryResult::AccessDenied:
      return TStepOutcome::AccessDenied;
    case platform::TRegistryResult::Failed:
      break;
  }
  return TStepOutcome::Failed;
}

TStepOutcome StartDeleteMeBatch(const TInstallPlatform& platform, const std::filesystem::path& executable) {
  const std::filesystem::path batch = executable.parent_path() / kDeleteMeBatchName;
  platform::TFileFailure failure = platform::TFileFailure::None;
  std::unique_ptr<platform::IWritableFile> file = platform.Files.CreateForWriteChecked(batch, failure);
  if (!file) {
    return failure == platform::TFileFailure::AccessDenied ? TStepOutcome::AccessDenied : TStepOutcome::Failed;
  }
  const std::string text = DeleteMeBatchText(platform.Processes.CommandInterpreterText(executable));
  const bool written = file->Write(std::as_bytes(std::span(text.data(), text.size())));
  if (!file->Close() || !written) return TStepOutcome::Failed;
  if (!platform.Processes.StartCommand(QuotedIfBlank(Utf8Of(batch)), platform::TShowState::Minimized)) {
    return TStepOutcome::Failed;
  }
  return TStepOutcome::Done;
}

}  // namespace

std::string DeleteMeBatchText(std::string_view path) {
  const std::string quoted = Quoted(path);
  return ":try\r\n"
         "del " + quoted + "\r\n"
         "if exist " + quoted + " goto try\r\n"
         "goto end\r\n"
         ":end\r\n"
         "del %0\r\n";
}

bool RunRemoval(const TInstallPlatform& platform, bool elevatedStep) {
  try {
    const std::filesystem::path executable = platform.Files.ExecutablePath();
    const std::string baseName = BaseNameOf(executable);
    if (!elevatedStep && !platform.Messages.AskYesNo(kUninstallQuestion, baseName)) return false;

    // Without the rights for the entry or the batch file, the elevated run does the
    // whole removal; telling the user it was done when nothing was would be worse.
    const auto elevated = [&] {
      if (elevatedStep) return false;
      const bool done = RunElevatedStepOf(platform, "/U");
      platform.Messages.ShowMessage(done ? kUninstalled : kUninstallFailed);
      return done;
    };

    const TStepOutcome entry = DeleteUninstallEntry(platform, UninstallKeyOf(baseName));
    if (entry == TStepOutcome::AccessDenied) return elevated();

    std::filesystem::path settings = executable;
    settings.replace_extension(".ini");
    if (platform.Files.FileExists(settings)) platform.Files.RemoveFile(settings);

    const TStepOutcome batch = StartDeleteMeBatch(platform, executable);
    if (batch == TStepOutcome::AccessDenied) return elevated();

    if (!elevatedStep) platform.Messages.ShowMessage(kUninstalled);
    return entry == TStepOutcome::Done && batch == TStepOutcome::Done;
  } catch (...) {
    return false;
  }
}

}  // namespace lumora
