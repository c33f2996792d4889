// Program starts in memory: every start is recorded, nothing runs. An elevated run
// gives a scripted exit code, after a test's stand-in for what the elevated program
// would have done.
#pragma once

#include "platform/process.h"

#include <functional>
#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessProcesses final : public IProcesses {
 public:
  // One line per call: "Start 4 <command line>", "Elevated <program> <parameters>".
  std::vector<std::string> Calls;
  // Whether StartCommand succeeds.
  bool StartSucceeds = true;
  // The elevated program's exit code; nullopt: the user declined.
  std::optional<std::uint32_t> ElevatedExitCode = 0;
  // Runs in place of the elevated program (before its exit code is given).
  std::function<void(std::string_view parameters)> OnElevated;

  bool StartCommand(std::string_view commandLine, TShowState show) override;
  std::optional<std::uint32_t> RunElevated(const std::filesystem::path& program, std::string_view parameters) override;
};

}  // namespace lumora::platform
