#include "platform/headless/headless_processes.h"

namespace lumora::platform {

bool THeadlessProcesses::StartCommand(std::string_view commandLine, TShowState show) {
  Calls.push_back("Start " + std::to_string(static_cast<int>(show)) + " " + std::string(commandLine));
  return StartSucceeds;
}

std::optional<std::uint32_t> THeadlessProcesses::RunElevated(const std::filesystem::path& program,
                                                             std::string_view parameters) {
  Calls.push_back("Elevated " + program.string() + " " + std::string(parameters));
  if (ElevatedExitCode && OnElevated) OnElevated(parameters);
  return ElevatedExitCode;
}

}  // namespace lumora::platform
