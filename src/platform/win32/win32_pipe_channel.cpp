#include "platform/win32/win32_pipe_channel.h"

#include <algorithm>

namespace lumora::platform {

TWin32PipeChannel::TWin32PipeChannel(HANDLE read, HANDLE write, bool pumpSent)
    : read_(read), write_(write), pumpSent_(pumpSent) {}

TWin32PipeChannel::~TWin32PipeChannel() { Close(); }

void TWin32PipeChannel::Close() {
  if (read_ != nullptr) ::CloseHandle(read_);
  if (write_ != nullptr) ::CloseHandle(write_);
  read_ = write_ = nullptr;
}

bool TWin32PipeChannel::Send(std::span<const std::uint8_t> bytes) {
  if (write_ == nullptr) return false;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(write_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
      return false;
    bytes = bytes.subspan(written);
  }
  return true;
}

bool TWin32PipeChannel::Pending() {
  DWORD available = 0;
  return read_ != nullptr && ::PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0;
}

bool TWin32PipeChannel::Receive(std::span<std::uint8_t> into, std::uint32_t timeoutMs) {
  if (read_ == nullptr) return false;
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!into.empty()) {
    DWORD available = 0;
    if (timeoutMs == INFINITE) {
      available = static_cast<DWORD>(into.size());
    } else {
      if (!::PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr)) return false;
      if (available == 0) {
        if (::GetTickCount64() >= deadline) return false;
        // Anonymous pipes cannot be waited on: look again each millisecond.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, pumpSent_ ? QS_SENDMESSAGE : 0);
        if (pumpSent_) {
          MSG message;
          ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        continue;
      }
    }
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), available));
    if (!::ReadFile(read_, into.data(), want, &got, nullptr) || got == 0) return false;
    into = into.subspan(got);
  }
  return true;
}

}  // namespace lumora::platform
