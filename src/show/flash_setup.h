// Making sure the movie control of Flash items is on the machine: a show whose payload
// carries the control's file installs it into the system folder and registers it
// when the control is missing or its class is not registered.
#pragma once

#include "platform/activex.h"
#include "platform/files.h"
#include "platform/process.h"
#include "show/show_config.h"

#include <filesystem>
#include <string>

namespace lumora {

struct TFlashSetupPlatform {
  platform::IFileSystem& Files;
  platform::IProcesses& Processes;
  platform::IActiveXHost& ActiveX;
};

// The command line that registers the control file ocx quietly: the system folder's
// registration program when it is there, else the one the search path finds.
std::string FlashRegistrationCommand(platform::IFileSystem& files, const std::filesystem::path& systemDir,
                                     const std::filesystem::path& ocx);

// The set-up of a show loading with IsIncludeFlash set. The registration is started and
// not waited for.
void SetUpFlash(const TFlashSetupPlatform& platform, const TSSConfig& config);

}  // namespace lumora
