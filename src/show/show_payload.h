// Reading a finished screen saver as a whole: its trailer, its configuration and
// every entry that the configuration refers to, with whether each one inflates
// cleanly. Safe on damaged and hostile files: everything is bounded and checked.
#pragma once

#include "app/payload.h"
#include "ini/big_ini_file.h"
#include "platform/files.h"
#include "show/show_schema.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace lumora {

// Largest configuration text that is read.
constexpr std::uint32_t kMaxConfigTextSize = 64u << 20;

struct TEntryRefReport {
  const TEntryRefSpec* Spec = nullptr;
  std::string Section;       // as stored, e.g. "Pic3"
  std::string Key;           // the extension key, or the position key when there is none
  std::int32_t Number = 0;   // n of Pic<n> or of the sound; 0 otherwise
  bool HasExtensionKey = false;
  std::string Extension;     // as stored (or the fixed one)
  std::int32_t Position = -1;
  std::int32_t StoredSize = 0;
  std::optional<std::uint32_t> InflatedSize;
  TEntryStatus Status = TEntryStatus::NoEntry;

  bool Present() const { return Status != TEntryStatus::NoEntry; }
  bool Broken() const { return Status != TEntryStatus::Ok && Status != TEntryStatus::NoEntry; }
  // Readable file name for the medium: "Pic3", "Pic3Mask", "Snd1", "Splash", ...
  std::string BaseName() const;
};

struct TPayloadReport {
  std::uint64_t FileSize = 0;
  std::optional<PayloadTrailer> Trailer;
  // Configuration position + stored size = file size - 16.
  bool TrailerConsistent = false;
  TEntryStatus ConfigStatus = TEntryStatus::NoEntry;
  std::optional<std::uint32_t> ConfigInflatedSize;
  std::string ConfigText;
  std::vector<TEntryRefReport> Entries;  // in configuration order
  std::vector<std::string> Notes;        // oddities that break nothing (counts, etc.)

  bool ConfigOk() const { return ConfigStatus == TEntryStatus::Ok; }
  // The trailer is missing or inconsistent, the configuration or an entry is broken.
  bool Broken() const;
};

// Reads the whole report. Never throws. checkPictures: an entry whose extension names a
// picture format must also pass that decoder's header check (else NotAPicture).
TPayloadReport InspectPayload(platform::IReadableFile& file, bool checkPictures = false);

// Lookups in a loaded INI object in constant time, answered as its readers answer them
// (letter case ignored, the first line of a key, values cut at 255 characters), so that
// tools stay linear in the size of shows with many thousands of keys. The object must
// outlive the index and stay unchanged.
class TIniIndex {
 public:
  explicit TIniIndex(const TBigIniFile& ini);
  // nullptr when the section is missing.
  const TIniSectionLines* Lines(std::string_view section) const;
  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;

 private:
  const TIniLine* Find(std::string_view section, std::string_view key) const;

  std::unordered_map<std::string, const TIniSectionLines*> sections_;  // by folded name
  // Keys of the long sections by folded name; short ones are searched line by line.
  std::unordered_map<const TIniSectionLines*, std::unordered_map<std::string, const TIniLine*>> keys_;
};

// Loads configuration text into an INI object that is bound to no file.
std::unique_ptr<TBiggerIniFile> IniFromText(std::string_view text);

}  // namespace lumora
