// Every section and key of the show configuration with the kind of its value, and the
// entry references among them. The tools check show folders against it and walk the
// references of a finished screen saver with it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumora {

enum class TKeyKind {
  Integer,    // decimal, within Min..Max
  Boolean,    // 0 or 1
  Float,      // decimal with a point
  Colour,     // exactly 8 hexadecimal digits
  Text,       // anything
  Extension,  // extension of an entry (in a show folder: the file's relative path)
  Filled,     // entry position, stored size or a count: written by the packer
  FolderPath, // only in a show folder: the file of an entry that has no extension key
};

struct TKeySpec {
  std::string_view Name;  // for numbered keys of section Snd: the name without the number
  TKeyKind Kind;
  std::int32_t Min = 0;
  std::int32_t Max = 0;
};

enum class TSectionKind { AppInfo, Settings, Background, Pic, PicCaption, Snd, FreeText };

struct TSectionSpec {
  std::string_view Name;  // "Pic" for Pic<n>, "PicCaption" for Pic<n>Caption
  TSectionKind Kind;
  std::span<const TKeySpec> Keys;  // empty for free-text sections
};

// One entry reference: which keys hold it and the name its medium gets when extracted.
struct TEntryRefSpec {
  TSectionKind Section;
  std::string_view ExtensionKey;  // empty: the entry has a fixed extension
  std::string_view PositionKey;
  std::string_view SizeKey;
  std::string_view FolderKey;     // the key that names the file in a show folder
  std::string_view FixedExtension;
  std::string_view ExtractName;   // "Pic" + n + this, e.g. "Pic3Mask"; or a whole name
};

std::span<const TEntryRefSpec> EntryRefSpecs();

// Finds a section by name (letter case ignored). number receives n of Pic<n> and
// Pic<n>Caption (1 or more, no leading zeros).
const TSectionSpec* FindSectionSpec(std::string_view name, std::int32_t& number);
// Finds a key of a section; number receives n of the numbered keys of section Snd.
const TKeySpec* FindKeySpec(const TSectionSpec& section, std::string_view name, std::int32_t& number);

// A known name close to a misspelt section or key name, if there is one.
std::optional<std::string> SuggestSectionName(std::string_view name);
std::optional<std::string> SuggestKeyName(const TSectionSpec& section, std::string_view name);

// Why a value does not fit its key ("expected 0 or 1", ...); nullopt when it fits.
std::optional<std::string> CheckKeyValue(const TKeySpec& key, std::string_view value);

// What the player makes of a value that CheckKeyValue accepts but that the player
// clamps or ignores ("the player shows effect 78, the last one"); nullopt when the
// player uses the value as written.
std::optional<std::string> PlayerAdjustment(const TKeySpec& key, std::string_view value);

// The value as the player reads it, written the way CheckKeyValue accepts it ("$1F"
// becomes "31", "-1" as a flag becomes "1"); nullopt when the player reads the key's
// default instead, so that leaving the key out changes nothing.
std::optional<std::string> NormalizeKeyValue(const TKeySpec& key, std::string_view value);

// Case-insensitive edit distance.
std::size_t EditDistance(std::string_view a, std::string_view b);

}  // namespace lumora
