// Installing the running screen saver: a copy in the Windows folder whose install gate
// is closed, its settings file reset, an entry in the system's list of installed
// programs, and optionally the Display control panel asked to make it the current
// screen saver. Where the user lacks the rights for the copy or the entry, the same
// file runs that step again with administrator rights; the show itself never does.
#pragma once

#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace lumora {

inline constexpr std::string_view kOverwriteQuestion = "The destination has existed, overwrite it?";
inline constexpr std::string_view kOverwriteCaption = "Installing Screen Saver";
inline constexpr std::string_view kInstallCompleted = "Installing Completed!";
inline constexpr std::string_view kInstallFailed = "Installing Failed! Please Try again!";
// The destination is the running screen saver (most often the preview of the display
// settings, which keeps its file open): nothing else would tell the user what to do.
inline constexpr std::string_view kInstallInUse =
    "The screen saver is running. Please close its preview (choose another screen saver in the display settings) "
    "and try again.";

// Why an installation did not complete.
enum class TInstallFailure {
  None,      // it completed
  Declined,  // the user would not overwrite the destination
  InUse,     // the destination is held open by a running screen saver
  Other,
};
// The message for a failure; empty for none and for a declined overwrite under "I"
// (the dialog says "Installing Failed!" even then, as it always has).
std::string_view InstallFailureMessage(TInstallFailure failure, bool fromDialog);

// The copy goes in chunks of this many bytes (one more than 32 KiB, as it always has).
inline constexpr std::size_t kInstallChunkSize = 32769;

// Second argument of the elevated run of a step: "/O" + this installs, "/U" + this
// removes, both without questions or messages; the exit code is 0 on success.
inline constexpr std::string_view kElevatedStepArgument = "--elevated-step";
bool IsElevatedStep(std::span<const std::string> args);

struct TInstallPlatform {
  platform::IFileSystem& Files;
  platform::IMachineRegistry& Registry;
  platform::IProcesses& Processes;
  // Captions of plain messages: the base name, as the application's title.
  platform::IMessageBox& Messages;
};

// Names derived from the running executable.
struct TInstallNames {
  std::string BaseName;                         // file name without extension, UTF-8
  std::filesystem::path Destination;            // Windows folder \ base name.scr
  std::filesystem::path DestinationSettings;    // the destination with ".ini"
  std::string UninstallKey;                     // under HKEY_LOCAL_MACHINE
};
TInstallNames MakeInstallNames(const std::filesystem::path& executable, const std::filesystem::path& windowsDirectory);
std::string BaseNameOf(const std::filesystem::path& executable);
std::string UninstallKeyOf(std::string_view baseName);
// The destination and " /U"; a path with blanks is quoted, so that the system's list of
// installed programs starts the file rather than a program named by its first word.
std::string UninstallStringOf(const std::filesystem::path& destination);
// text in double quotes; QuotedIfBlank only when it holds a blank.
std::string Quoted(std::string_view text);
std::string QuotedIfBlank(std::string_view text);
std::string Utf8Of(const std::filesystem::path& path);

// What the installer dialog lends the worker: its progress bar and its check box.
class IInstallDialog {
 public:
  virtual ~IInstallDialog() = default;
  // The bar's range 0..maximum, position 0.
  virtual void SetProgressRange(std::uint64_t maximum) = 0;
  virtual void SetProgressPosition(std::uint64_t position) = 0;
  // "Set as windows default screen saver." ticked.
  virtual bool SetAsDefaultChecked() const = 0;
  // btnInstall and btnExit together.
  virtual void SetButtonsEnabled(bool enabled) = 0;
  // Closes the dialog, which ends the program.
  virtual void Close() = 0;
};

// The install worker. runMode: "" from the dialog (which is then given), "I" asks before
// overwriting and reports completion, "O" does neither. elevatedStep: this process is
// the elevated run of the step ("O" without the Display control panel and without
// elevating again). True when the installation completed. Never throws.
// failure, when given, receives why it did not complete.
bool RunInstallWorker(std::string_view runMode, const TInstallPlatform& platform, IInstallDialog* dialog = nullptr,
                      bool elevatedStep = false, TInstallFailure* failure = nullptr);

// btnInstallClick: both buttons disabled while the worker runs; on success the dialog
// closes, on failure the user is told and may try again.
void InstallButtonClick(const TInstallPlatform& platform, IInstallDialog& dialog);

// Runs this file elevated with mode ("/O" or "/U") and the elevated-step argument and
// waits; true when it ran and succeeded.
bool RunElevatedStepOf(const TInstallPlatform& platform, std::string_view mode);

}  // namespace lumora
