// A show folder: show.ini with the configuration in the player's sections and keys,
// where every entry reference is a file path relative to the folder. Reading one
// checks every section, key and value and every referenced file.
#pragma once

#include "platform/files.h"
#include "show/show_schema.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumora::pack {

// A show folder or an option that cannot be used; the message names the file, section,
// key and path concerned.
class EPackInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The screen saver could not be written.
class EPackOutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that becomes one entry, stored once however many keys name it.
struct TFolderEntry {
  std::filesystem::path Path;  // resolved
  std::string Written;         // as written in show.ini (first use)
  std::uint64_t Size = 0;
};

// Where an entry reference's keys go in the configuration.
struct TFolderRef {
  std::size_t Entry = 0;
  std::string ExtensionKey;  // empty: the entry has no extension key
  std::string Extension;
  std::string PositionKey;
  std::string SizeKey;
};

struct TFolderLine {
  std::string Text;               // copied unchanged when there is no reference
  std::optional<TFolderRef> Ref;  // replaced by extension, position and size keys
};

struct TFolderSection {
  std::string Name;
  TSectionKind Kind = TSectionKind::FreeText;
  std::vector<TFolderLine> Lines;
};

struct TShowFolder {
  std::filesystem::path Dir;
  std::filesystem::path IniPath;
  std::vector<TFolderSection> Sections;
  std::vector<TFolderEntry> Entries;
  std::int32_t PicCount = 0;
  std::int32_t SndCount = 0;
  // Values the player clamps or ignores, files matched ignoring letter case, files left
  // out because the player would never show them; each names where, like an error.
  std::vector<std::string> Warnings;
};

constexpr std::string_view kShowIniName = "show.ini";

// Why the player would refuse a pattern string with "Error in Pattern String." (or, for
// a string without "|", paint nothing); nullopt when it paints.
std::optional<std::string> PatternStringProblem(std::string_view pattern);

// Reads and checks dir/show.ini and the files it names. Throws EPackInputError.
TShowFolder ReadShowFolder(platform::IFileSystem& fs, const std::filesystem::path& dir);

// Position and stored size of each entry, in the order of TShowFolder::Entries.
struct TEntryPlacement {
  std::int32_t Position = -1;
  std::int32_t StoredSize = 0;
};

// The configuration text of the finished screen saver: CR LF line ends, an empty line
// after each section, counts, extensions, positions and sizes filled in.
std::string BuildConfigText(const TShowFolder& folder, const std::vector<TEntryPlacement>& placements);

// The extension that the player is told for a file: everything from the last "." of
// its name ("photo.JPG" gives ".JPG"; a name without "." gives "").
std::string ExtensionOf(const std::filesystem::path& path);

}  // namespace lumora::pack
