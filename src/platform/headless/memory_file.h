// A readable file held in memory: for fuzzing and for tests that need no disk.
#pragma once

#include "platform/files.h"

#include <vector>

namespace lumora::platform {

class TMemoryReadableFile final : public IReadableFile {
 public:
  explicit TMemoryReadableFile(std::span<const std::byte> data) : data_(data) {}
  std::uint64_t Size() const override { return data_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> buffer) override;

 private:
  std::span<const std::byte> data_;
};

}  // namespace lumora::platform
