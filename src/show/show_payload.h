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

// Loads configuration text into an INI object that is bound to no file.
std::unique_ptr<TBiggerIniFile> IniFromText(std::string_view text);

}  // namespace lumora
