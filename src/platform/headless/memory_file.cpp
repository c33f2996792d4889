#include "platform/headless/memory_file.h"

#include <cstring>

namespace lumora::platform {

bool TMemoryReadableFile::ReadAt(std::uint64_t offset, std::span<std::byte> buffer) {
  if (offset > data_.size() || buffer.size() > data_.size() - offset) return false;
  if (!buffer.empty()) std::memcpy(buffer.data(), data_.data() + offset, buffer.size());
  return true;
}

}  // namespace lumora::platform
