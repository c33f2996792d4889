// The run mode of the process, taken from the first command-line argument, and the
// window handle that modes "P" and "A" take from the second.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumora {

// Titles of the application window, and at the same time the names of the mutexes
// that keep one instance of each kind running.
inline constexpr std::string_view kFullScreenTitle = "Lumora Screen Saver Template";
inline constexpr std::string_view kPreviewTitle = "Preview Lumora Screen Saver Template";
// Keeps a second settings dialog from opening; the first one is brought forward instead.
inline constexpr std::string_view kSettingsMutexName = "Lumora Screen Saver Config";
inline constexpr std::string_view kSettingsTitle = "Screen Saver Config";  // the dialog's caption
// How long a new preview waits for the one before it to go (a quick re-selection in
// the display settings starts the next preview while the last one is still ending).
inline constexpr std::uint32_t kPreviewMutexWaitMs = 2000;

// The first argument, upper-cased, without its first character (whatever it is: "/",
// "-" or a letter). Empty for no argument or a one-character one. Arguments are UTF-8;
// only ASCII letters change case, and the first character is removed whole.
std::string DecodeRunMode(std::span<const std::string> args);

// The process-wide run mode, set once by the entry and read by the show form to tell
// full-screen ("S") from preview ("P").
const std::string& RunMode();
void SetRunMode(std::string runMode);

// What the entry starts for a run mode. The comparisons are whole-string and
// case-sensitive on the upper-cased value, so "S:123" is no show.
enum class TRunModeKind {
  InstallGate,     // "", "I", "O"
  Uninstall,       // "U"
  FullScreen,      // "S"
  Preview,         // "P"
  ChangePassword,  // "A"
  Settings,        // anything else
};
TRunModeKind ClassifyRunMode(std::string_view runMode);

// A decimal signed 32-bit integer: optional sign, digits, nothing else. Out-of-range
// numbers are not numbers.
std::optional<std::int32_t> ParseSignedInt32(std::string_view text);

// The second argument as an integer, or fallback when it is absent or not a number.
std::int32_t SecondArgumentAsInt(std::span<const std::string> args, std::int32_t fallback);

// The preview's parent window handle: nullopt when the form stays unparented (absent
// or non-numeric argument, or literally -1). The handle is the value parsed with
// default 0; it is unparented whenever the parse with default -1 gives -1.
std::optional<std::int32_t> PreviewParentArgument(std::span<const std::string> args);

// The owner window of the settings dialog: "/c:HWND" or "/c HWND" (the system's own
// ways of asking for the settings of a screen saver); 0 for any other switch, or when
// the handle is not a number.
std::int32_t SettingsOwnerArgument(std::span<const std::string> args);

}  // namespace lumora
