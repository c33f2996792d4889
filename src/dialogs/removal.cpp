#include "dialogs/removal.h"

#include <memory>
#include <optional>

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
  if (!platform.Processes.StartCommand(DeleteMeBatchCommand(platform.Files.SystemDirectory(), batch),
                                       platform::TShowState::Minimized)) {
    return TStepOutcome::Failed;
  }
  return TStepOutcome::Done;
}

// The user's current screen saver must not go on naming a file that is about to vanish.
void ForgetAsCurrentScreenSaver(const TInstallPlatform& platform, const std::filesystem::path& executable) {
  const std::optional<std::string> current = platform.Registry.CurrentScreenSaver();
  if (!current) return;
  const std::filesystem::path named(std::u8string(current->begin(), current->end()));
  if (platform.Files.SameFile(named, executable)) platform.Registry.ClearCurrentScreenSaver();
}

}  // namespace

std::string DeleteMeBatchText(std::string_view path) {
  // Deleting fails while the removal's own process (its last message box) is running:
  // try once a second (the ping waits without using the processor) and give up after a
  // while, rather than spin a core for as long as the message waits for its click.
  const std::string quoted = Quoted(path);
  return "@echo off\r\n"
         "set tries=0\r\n"
         ":try\r\n"
         "del " + quoted + "\r\n"
         "if not exist " + quoted + " goto end\r\n"
         "set /a tries+=1\r\n"
         "if %tries% geq " + std::to_string(kDeleteMeTries) + " goto end\r\n"
         "ping -n 2 127.0.0.1 >nul\r\n"
         "goto try\r\n"
         ":end\r\n"
         "del %0\r\n";
}

std::string DeleteMeBatchCommand(const std::optional<std::filesystem::path>& systemDirectory,
                                 const std::filesystem::path& batch) {
  // Batch files run in the command interpreter, named by its full path so that no
  // cmd.exe beside the screen saver is taken instead. With /c, the interpreter drops the
  // outer pair of quotes, leaving the quoted file name.
  const std::string interpreter =
      systemDirectory ? QuotedIfBlank(Utf8Of(*systemDirectory / "cmd.exe")) : std::string("cmd.exe");
  return interpreter + " /d /c \"" + Quoted(Utf8Of(batch)) + "\"";
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
      if (done) ForgetAsCurrentScreenSaver(platform, executable);
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

    // The setting is the user's own (an elevated step may run as another user), and
    // goes before the message, while the file still exists to compare names with.
    if (!elevatedStep) {
      ForgetAsCurrentScreenSaver(platform, executable);
      platform.Messages.ShowMessage(kUninstalled);
    }
    return entry == TStepOutcome::Done && batch == TStepOutcome::Done;
  } catch (...) {
    return false;
  }
}

}  // namespace lumora
