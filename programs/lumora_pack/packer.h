// Writes a screen saver: the template, one entry per file of a show folder, the
// configuration entry last and the 16-byte trailer.
#pragma once

#include "show_folder.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace lumora::pack {

struct TPackOptions {
  std::filesystem::path ShowFolder;
  std::filesystem::path Template;
  std::filesystem::path Output;
  bool InstallGate = true;
  // Called before each entry is written when the show is large: (1-based index, count,
  // path as written in show.ini, size in bytes).
  std::function<void(std::size_t, std::size_t, const std::string&, std::uint64_t)> Progress;
};

struct TPackResult {
  std::size_t EntryCount = 0;
  std::uint64_t FileSize = 0;
  std::int32_t ConfigPosition = 0;
  std::int32_t ConfigStoredSize = 0;
  std::vector<std::string> Warnings;  // see TShowFolder::Warnings
};

// Shows whose files add up to this much report progress.
constexpr std::uint64_t kProgressThreshold = 16u << 20;

// Throws EPackInputError for a bad show folder or template, or an output that is not a
// regular file or is one of the inputs; EPackOutputError when the output cannot be
// written. The output appears only when it is complete.
TPackResult PackShow(platform::IFileSystem& fs, const TPackOptions& options);

// For the tools that play or draw a show folder: packs it into dir/show.scr behind a
// stand-in template (they read only the payload) and returns that file. The packer's
// warnings go to warnings; throws what PackShow throws.
std::filesystem::path PackFolderForPlaying(platform::IFileSystem& fs, const std::filesystem::path& folder,
                                           const std::filesystem::path& dir, std::vector<std::string>* warnings);

}  // namespace lumora::pack
