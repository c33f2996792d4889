// Arbitrary bytes as a screen-saver file: read the trailer, inflate the configuration
// it points at, and read entries at references taken from the data itself.
#include "app/payload.h"
#include "platform/headless/memory_file.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  platform::TMemoryReadableFile file(bytes);
  std::uint64_t total = 0;
  const TEntrySink sink = [&](std::span<const std::byte> chunk) {
    total += chunk.size();
    return total <= (64u << 20);  // keep each run small
  };
  if (const auto trailer = ReadPayloadTrailer(file)) {
    (void)InflateEntry(file, trailer->ConfigPosition, trailer->ConfigStoredSize, sink, true);
    (void)InflateEntry(file, trailer->ConfigPosition, trailer->ConfigStoredSize, sink, false);
  }
  // References taken from the first bytes, then the entries read into a picture.
  if (size >= 8) {
    std::int32_t position;
    std::int32_t stored;
    std::memcpy(&position, data, 4);
    std::memcpy(&stored, data + 4, 4);
    position = static_cast<std::int32_t>(static_cast<std::uint32_t>(position) % (size + 1));
    std::vector<std::byte> inflated;
    total = 0;
    if (InflateEntry(file, position, stored, [&](std::span<const std::byte> c) {
          total += c.size();
          if (total > (16u << 20)) return false;
          inflated.insert(inflated.end(), c.begin(), c.end());
          return true;
        }) == TEntryStatus::Ok) {
      TPicture picture;
      (void)picture.LoadBitmapFromMemory(inflated);
    }
  }
  return 0;
}
