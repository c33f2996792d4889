// Program starts on Windows: a command line with a show state, and the elevated run
// of this executable, waited for while the caller's windows keep being painted.
#pragma once

#include "platform/process.h"

namespace lumora::platform {

class TWin32Processes final : public IProcesses {
 public:
  TWin32Processes() = default;
  // owner: the window (an HWND) that owns the consent prompt of an elevated run, so the
  // prompt comes up in front of it rather than behind.
  explicit TWin32Processes(void* owner) : owner_(owner) {}

  bool StartCommand(std::string_view commandLine, TShowState show) override;
  std::optional<std::uint32_t> RunElevated(const std::filesystem::path& program, std::string_view parameters) override;
  std::string CommandInterpreterText(const std::filesystem::path& path) override;

 private:
  void* owner_ = nullptr;
};

}  // namespace lumora::platform
