// Making sure the movie control of Flash items can be made: when the system cannot make
// its class, a show whose payload carries the control's file hands a temporary copy of
// it to the control host, which loads it privately. Nothing is installed or registered.
#pragma once

#include "platform/activex.h"
#include "platform/files.h"
#include "platform/process.h"
#include "show/show_config.h"

namespace lumora {

struct TFlashSetupPlatform {
  platform::IFileSystem& Files;
  platform::IProcesses& Processes;  // unused since nothing is registered; kept for the glue
  platform::IActiveXHost& ActiveX;
};

// The set-up of a show loading with IsIncludeFlash set. The host deletes the temporary
// control file when it goes, with the show.
void SetUpFlash(const TFlashSetupPlatform& platform, const TSSConfig& config);

}  // namespace lumora
