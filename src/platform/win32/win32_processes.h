// Program starts on Windows: a command line with a show state, and the elevated run
// of this executable, waited for while the caller's windows keep being painted.
#pragma once

#include "platform/process.h"

namespace lumora::platform {

class TWin32Processes final : public IProcesses {
 public:
  bool StartCommand(std::string_view commandLine, TShowState show) override;
  std::optional<std::uint32_t> RunElevated(const std::filesystem::path& program, std::string_view parameters) override;
  std::string CommandInterpreterText(const std::filesystem::path& path) override;
};

}  // namespace lumora::platform
