#include "show/flash_setup.h"

#include "app/payload.h"
#include "imaging/picture.h"
#include "trpic/flash_control.h"

namespace lumora {

void SetUpFlash(const TFlashSetupPlatform& platform, const TSSConfig& config) {
  try {
    // Made and freed at once: only whether the class can be made here matters.
    platform::TActiveXFailure failure{};
    if (TExShockwaveFlash::Create(platform.ActiveX, nullptr, failure)) return;
    if (config.FlashOcxFilePos == -1 && config.FlashOcxFileSize == 0) return;

    // Copying the control into the system folder and registering it for the whole
    // machine needs administrator rights and installs an old control for every program:
    // the show's own copy is loaded privately instead, for this show only.
    std::filesystem::path temp;
    std::unique_ptr<TPicture> unused;
    if (!ExtractPayloadEntry(platform.Files, TExtractMode::emTempFile, ".ocx", config.FlashOcxFilePos, temp, unused,
                             config.FlashOcxFileSize))
      return;
    try {
      platform.ActiveX.UseControlFile(kFlashClassName, kFlashClassId, temp);
    } catch (...) {
      platform.Files.RemoveFile(temp);
    }
  } catch (...) {
    // Loading goes on without the control; its items then do not play.
  }
}

}  // namespace lumora
