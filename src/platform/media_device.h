// Which multimedia device opens a medium on Windows. The system picks the device from
// the file's extension through its own list of extensions; containers that list leaves
// out (MPEG-4, QuickTime, Matroska, Ogg, FLAC, AAC) are played by its general "mpegvideo"
// device, which decodes whatever the installed codecs decode, so those are opened by
// naming that device. Portable, so that the table is checked on every build machine.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>

namespace lumora::platform {

// The general device: what the system's extension list names for MPEG, Windows Media
// and other streams, and the device to try when the list knows an extension not.
inline constexpr std::string_view kGeneralMediaDevice = "mpegvideo";

// The device to name when opening path; empty: leave the choice to the system's list.
inline std::string_view MediaDeviceType(const std::filesystem::path& path) {
  static constexpr std::array<std::string_view, 23> kUnlisted = {
      ".mp4", ".m4a", ".m4v", ".m4b", ".mov", ".qt",  ".3gp", ".3g2", ".aac", ".adts", ".flac", ".mkv",
      ".mka", ".webm", ".ogg", ".oga", ".ogv", ".opus", ".ts", ".m2ts", ".mts", ".vob", ".f4v"};
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (std::find(kUnlisted.begin(), kUnlisted.end(), extension) != kUnlisted.end()) return kGeneralMediaDevice;
  return {};
}

}  // namespace lumora::platform
