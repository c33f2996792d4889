// Writes a bitmap as an 8-bit RGB PNG file (the alpha byte is dropped: frames are opaque).
#pragma once

#include "imaging/bitmap32.h"

#include <filesystem>
#include <string>

namespace lumora::tools {

// False, with a reason in error when given, if the file cannot be written.
bool WritePng(const std::filesystem::path& path, const TBitmap32& bitmap, std::string* error = nullptr);

}  // namespace lumora::tools
