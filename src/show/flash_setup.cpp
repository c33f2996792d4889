#include "show/flash_setup.h"

#include "app/payload.h"
#include "imaging/picture.h"
#include "trpic/flash_control.h"

namespace lumora {

namespace {

constexpr std::string_view kControlFile = "swflash.ocx";
constexpr std::string_view kRegistrar = "REGSVR32.EXE";

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A path as one word of a command line: quoted where a space would split it.
std::string Word(const std::filesystem::path& path) {
  const std::string text = Utf8(path);
  return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

// Joins a folder and a name with the system's separator, whatever this build's is.
std::filesystem::path InFolder(const std::filesystem::path& dir, std::string_view name) {
  std::string text = Utf8(dir);
  if (!text.empty() && text.back() != '\\' && text.back() != '/') text += text.find('\\') != std::string::npos ? '\\' : '/';
  text += name;
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

void Register(const TFlashSetupPlatform& platform, const std::filesystem::path& systemDir,
              const std::filesystem::path& ocx) {
  // Its failures are not the show's concern: the movies then fail to open.
  platform.Processes.StartCommand(FlashRegistrationCommand(platform.Files, systemDir, ocx),
                                  platform::TShowState::Normal);
}

}  // namespace

std::string FlashRegistrationCommand(platform::IFileSystem& files, const std::filesystem::path& systemDir,
                                     const std::filesystem::path& ocx) {
  const std::filesystem::path registrar = InFolder(systemDir, kRegistrar);
  if (files.FileExists(registrar)) return Word(registrar) + " /s " + Word(ocx);
  return std::string(kRegistrar) + " /s " + Word(ocx);
}

void SetUpFlash(const TFlashSetupPlatform& platform, const TSSConfig& config) {
  try {
    const std::optional<std::filesystem::path> systemDir = platform.Files.SystemDirectory();
    if (!systemDir) return;
    const std::filesystem::path ocx = InFolder(*systemDir, kControlFile);

    if (platform.Files.FileExists(ocx)) {
      // Made and freed at once: only whether the class can be made matters. Any failure
      // is taken for a class that is not registered.
      platform::TActiveXFailure failure{};
      if (!TExShockwaveFlash::Create(platform.ActiveX, nullptr, failure)) Register(platform, *systemDir, ocx);
      return;
    }
    if (config.FlashOcxFilePos == -1 && config.FlashOcxFileSize == 0) return;

    std::filesystem::path temp;
    std::unique_ptr<TPicture> unused;
    if (!ExtractPayloadEntry(platform.Files, TExtractMode::emTempFile, ".ocx", config.FlashOcxFilePos, temp, unused,
                             config.FlashOcxFileSize))
      return;
    bool copied = false;
    try {
      copied = platform.Files.CopyFileReplacing(temp, ocx);
    } catch (...) {
    }
    platform.Files.RemoveFile(temp);
    if (copied) Register(platform, *systemDir, ocx);
  } catch (...) {
    // Loading goes on without the control; its items then do not play.
  }
}

}  // namespace lumora
