// Starting other programs: a command line with a window show state, and the same
// executable again with administrator rights for a step that needs them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::platform {

// How the started program's first window appears, as the system numbers the states.
enum class TShowState : int {
  Normal = 1,
  ShowNoActivate = 4,  // shown in its normal place, the current window keeps the focus
  Minimized = 6,
};

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // Starts a command line (program, then its arguments; a program path with spaces in
  // double quotes) and does not wait. False when the program could not be started.
  virtual bool StartCommand(std::string_view commandLine, TShowState show) = 0;
  // Starts program with parameters under administrator rights (the system asks the
  // user), waits for it to end and gives its exit code; nullopt when it never ran
  // (the user declined, or the system cannot elevate). Keeps the caller's windows
  // painted while it waits.
  virtual std::optional<std::uint32_t> RunElevated(const std::filesystem::path& program,
                                                   std::string_view parameters) = 0;
  // path as the command interpreter reads it from a batch file (in its code page). The
  // fallback gives UTF-8.
  virtual std::string CommandInterpreterText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }
};

}  // namespace lumora::platform
