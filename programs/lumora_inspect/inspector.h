// lumora-inspect's work: printing the report of a screen saver and extracting its
// media and a show folder that lumora-pack turns back into an equivalent screen saver.
#pragma once

#include "platform/files.h"
#include "show/show_payload.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lumora::inspect {

// Text from the file, made safe for a terminal: control characters become "\xNN".
std::string Printable(std::string_view text);

// The whole report: file, trailer, configuration summary, entries, notes, and the
// configuration text when withConfig is set.
std::string FormatReport(const std::filesystem::path& file, const TPayloadReport& report, bool withConfig);

// Why the configuration text cannot be read ("the file is shorter than a trailer", "the
// configuration is damaged: ..."); nullopt when it reads cleanly.
std::optional<std::string> ConfigProblem(const TPayloadReport& report);

// The configuration text alone, with CR LF line ends shown as line breaks.
std::string FormatConfig(const TPayloadReport& report);

struct TExtractResult {
  std::vector<std::string> Written;  // file names in the folder, show.ini last
  std::vector<std::string> Notes;    // what was left out and why
  bool Ok = true;                    // false when something could not be written
};

// Writes every entry that inflates cleanly into dir (created when missing, and only
// when the configuration reads cleanly, so a broken file leaves no empty folder) under a readable name (Pic3.jpg,
// Pic3Mask.bmp, Snd1.mp3, Splash.bmp, ...) and dir/show.ini. Names are made only of
// letters, digits, "_", "-" and "."; nothing is written outside dir.
TExtractResult ExtractShow(platform::IFileSystem& fs, platform::IReadableFile& file, const TPayloadReport& report,
                           const std::filesystem::path& dir);

// The extension as used in an extracted file name: the stored one when it is made of
// safe characters, else ".bin".
std::string SafeExtension(std::string_view extension);

}  // namespace lumora::inspect
