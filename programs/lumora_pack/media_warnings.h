// Warnings about the show's media that the Windows player cannot play under Wine (it
// plays them on Windows, with the system's codecs): told from each file's bytes.
#pragma once

#include "platform/files.h"
#include "show_folder.h"

#include <string>
#include <vector>

namespace lumora::pack {

// One warning per sound or video file that the Windows player under Wine passes over.
std::vector<std::string> MediaWarnings(platform::IFileSystem& fs, const TShowFolder& folder);

}  // namespace lumora::pack
