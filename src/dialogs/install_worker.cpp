#include "dialogs/install_worker.h"

#include "app/payload.h"

#include <array>
#include <memory>
#include <vector>

namespace lumora {
namespace {

enum class TCopyOutcome { Done, AccessDenied, InUse, Failed };

// Copies source to destination in chunks and closes the copy's install gate; a copy
// that could not be finished is removed again, so that no half file or file with an
// open gate is left where the system looks for screen savers.
TCopyOutcome CopyWithClosedGate(const TInstallPlatform& platform, const std::filesystem::path& source,
                                const std::filesystem::path& destination, IInstallDialog* dialog) {
  platform::IFileSystem& files = platform.Files;
  std::unique_ptr<platform::IReadableFile> in = files.OpenForReadDenyWrite(source);
  if (!in) return TCopyOutcome::Failed;
  const std::uint64_t size = in->Size();
  if (size < kPayloadTrailerSize) return TCopyOutcome::Failed;  // no trailer to close
  platform::TFileFailure failure = platform::TFileFailure::None;
  std::unique_ptr<platform::IWritableFile> out = files.CreateForWriteChecked(destination, failure);
  if (!out) {
    if (failure == platform::TFileFailure::AccessDenied) return TCopyOutcome::AccessDenied;
    return failure == platform::TFileFailure::SharingViolation ? TCopyOutcome::InUse : TCopyOutcome::Failed;
  }
  const auto fail = [&] {
    out.reset();
    files.RemoveFile(destination);
    return TCopyOutcome::Failed;
  };
  if (dialog) dialog->SetProgressRange(size);

  std::array<std::byte, kPayloadTrailerSize> trailer{};
  if (!in->ReadAt(size - kPayloadTrailerSize, trailer)) return fail();
  std::vector<std::byte> chunk(kInstallChunkSize);
  std::uint64_t copied = 0;
  const auto copyChunk = [&](std::size_t length) {
    const std::span<std::byte> bytes(chunk.data(), length);
    if (!in->ReadAt(copied, bytes)) return false;
    if (length != 0 && !out->Write(bytes)) return false;
    copied += length;
    if (dialog) dialog->SetProgressPosition(copied);
    return true;
  };
  const std::uint64_t fullChunks = size / kInstallChunkSize;
  for (std::uint64_t i = 0; i < fullChunks; ++i) {
    if (!copyChunk(kInstallChunkSize)) return fail();
  }
  if (!copyChunk(static_cast<std::size_t>(size % kInstallChunkSize))) return fail();
  in.reset();
  if (!out->Close()) return fail();
  out.reset();

  // Only the install gate changes: the installed copy never offers to install again.
  std::unique_ptr<platform::IPatchableFile> patch = files.OpenForPatch(destination);
  if (!patch || patch->Size() != size) return fail();
  for (std::size_t i = 4; i < 8; ++i) trailer[i] = std::byte{0};
  if (!patch->WriteAt(size - kPayloadTrailerSize, trailer) || !patch->Close()) {
    patch.reset();
    return fail();
  }
  return TCopyOutcome::Done;
}

}  // namespace

bool RunElevatedStepOf(const TInstallPlatform& platform, std::string_view mode) {
  const std::string parameters = std::string(mode) + " " + std::string(kElevatedStepArgument);
  const std::optional<std::uint32_t> code = platform.Processes.RunElevated(platform.Files.ExecutablePath(), parameters);
  return code && *code == 0;
}

bool IsElevatedStep(std::span<const std::string> args) { return args.size() >= 2 && args[1] == kElevatedStepArgument; }

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string BaseNameOf(const std::filesystem::path& executable) { return Utf8Of(executable.stem()); }

std::string UninstallKeyOf(std::string_view baseName) {
  return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::string(baseName) + " Screen Saver";
}

std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

std::string QuotedIfBlank(std::string_view text) {
  if (text.find_first_of(" \t") == std::string_view::npos) return std::string(text);
  return Quoted(text);
}

std::string UninstallStringOf(const std::filesystem::path& destination) {
  return QuotedIfBlank(Utf8Of(destination)) + " /U";
}

TInstallNames MakeInstallNames(const std::filesystem::path& executable, const std::filesystem::path& windowsDirectory) {
  TInstallNames names;
  names.BaseName = BaseNameOf(executable);
  std::filesystem::path fileName = executable.stem();
  fileName += ".scr";
  names.Destination = windowsDirectory / fileName;
  names.DestinationSettings = names.Destination;
  names.DestinationSettings.replace_extension(".ini");
  names.UninstallKey = UninstallKeyOf(names.BaseName);
  return names;
}

std::string_view InstallFailureMessage(TInstallFailure failure, bool fromDialog) {
  switch (failure) {
    case TInstallFailure::None:
      return {};
    case TInstallFailure::Declined:
      return fromDialog ? kInstallFailed : std::string_view{};
    case TInstallFailure::InUse:
      return kInstallInUse;
    case TInstallFailure::Other:
      return kInstallFailed;
  }
  return kInstallFailed;
}

bool RunInstallWorker(std::string_view runMode, const TInstallPlatform& platform, IInstallDialog* dialog,
                      bool elevatedStep, TInstallFailure* failure) {
  TInstallFailure ignored = TInstallFailure::None;
  TInstallFailure& why = failure != nullptr ? *failure : ignored;
  why = TInstallFailure::Other;
  try {
    platform::IFileSystem& files = platform.Files;
    const bool quiet = runMode == "O" || elevatedStep;
    const std::filesystem::path executable = files.ExecutablePath();
    const std::optional<std::filesystem::path> windows = files.WindowsDirectory();
    if (!windows) return false;
    const TInstallNames names = MakeInstallNames(executable, *windows);

    if (!quiet && files.FileExists(names.Destination) &&
        !platform.Messages.AskYesNo(kOverwriteQuestion, kOverwriteCaption)) {
      why = TInstallFailure::Declined;
      return false;
    }

    const TCopyOutcome copy = CopyWithClosedGate(platform, executable, names.Destination, dialog);
    if (copy == TCopyOutcome::AccessDenied && !elevatedStep) {
      // The elevated run makes the copy and the entry; what follows is the user's own.
      if (!RunElevatedStepOf(platform, "/O")) return false;
    } else if (copy != TCopyOutcome::Done) {
      if (copy == TCopyOutcome::InUse) why = TInstallFailure::InUse;
      return false;
    } else {
      if (files.FileExists(names.DestinationSettings)) files.RemoveFile(names.DestinationSettings);
      std::unique_ptr<platform::IMachineRegistryKey> key;
      const platform::TRegistryResult opened = platform.Registry.OpenKey(names.UninstallKey, true, key);
      if (opened == platform::TRegistryResult::Ok) {
        if (!key->WriteText("DisplayName", names.BaseName + " Screen Saver") ||
            !key->WriteText("UninstallString", UninstallStringOf(names.Destination))) {
          return false;
        }
      } else if (opened == platform::TRegistryResult::AccessDenied && !elevatedStep) {
        // Without the entry the copy still works; the elevated run tries to add it.
        RunElevatedStepOf(platform, "/O");
      }
    }

    if (!quiet) platform.Messages.ShowMessage(kInstallCompleted);
    // The Display control panel runs as the user, so that the user's own setting changes.
    const bool setDefault = !elevatedStep && (dialog == nullptr || dialog->SetAsDefaultChecked());
    if (setDefault) {
      const std::filesystem::path rundll = *windows / "rundll32.exe";
      const std::string program = files.FileExists(rundll) ? QuotedIfBlank(Utf8Of(rundll)) : "rundll32.exe";
      platform.Processes.StartCommand(program + " desk.cpl,InstallScreenSaver " + Utf8Of(names.Destination),
                                      platform::TShowState::ShowNoActivate);
    }
    why = TInstallFailure::None;
    return true;
  } catch (...) {
    return false;
  }
}

void InstallButtonClick(const TInstallPlatform& platform, IInstallDialog& dialog) {
  dialog.SetButtonsEnabled(false);
  TInstallFailure failure = TInstallFailure::None;
  if (RunInstallWorker("", platform, &dialog, false, &failure)) {
    dialog.Close();
    return;
  }
  platform.Messages.ShowMessage(InstallFailureMessage(failure, true));
  dialog.SetButtonsEnabled(true);
}

}  // namespace lumora
