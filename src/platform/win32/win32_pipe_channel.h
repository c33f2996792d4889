// The control protocol's bytes over a pair of anonymous pipes, one per direction (a
// read waiting on one never holds up a write on the other).
#pragma once

#include "platform/control_protocol.h"

#include <windows.h>

namespace lumora::platform {

class TWin32PipeChannel final : public IControlChannel {
 public:
  // Takes both handles; pumpSent: while waiting, let messages that other threads send
  // to this thread's windows run (a window of another process among our children
  // sends them, and would wait for us as we wait for it).
  TWin32PipeChannel(HANDLE read, HANDLE write, bool pumpSent);
  ~TWin32PipeChannel() override;
  TWin32PipeChannel(const TWin32PipeChannel&) = delete;
  TWin32PipeChannel& operator=(const TWin32PipeChannel&) = delete;

  bool Send(std::span<const std::uint8_t> bytes) override;
  // INFINITE waits without a limit.
  bool Receive(std::span<std::uint8_t> into, std::uint32_t timeoutMs) override;
  bool Pending() override;
  // Closes both ends: the other side sees the pipe end.
  void Close();

 private:
  HANDLE read_;
  HANDLE write_;
  bool pumpSent_;
};

}  // namespace lumora::platform
