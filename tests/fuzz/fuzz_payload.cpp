// Arbitrary bytes as a screen-saver file: read the trailer, inflate the configuration
// it points at, and read entries at references taken from the data itself. A run
// inflates at most 1 MiB an entry and decodes only bitmaps of up to 2^20 pixels: larger
// ones cost the time of filling their pixels and add nothing of the payload's (the
// bitmap decoder's own target takes them), and a campaign must reach tens of millions.
#include "app/payload.h"
#include "platform/headless/memory_file.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint64_t kMaxInflated = 1u << 20;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 20;

// The pixels a Windows bitmap file image declares; 0 when it has no header to say so.
std::int64_t DeclaredPixels(const std::vector<std::byte>& file) {
  const auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, file.data() + at, 4);
    return v;
  };
  if (file.size() < 26) return 0;
  if (u32(14) == 12) {
    std::uint16_t w = 0, h = 0;
    std::memcpy(&w, file.data() + 18, 2);
    std::memcpy(&h, file.data() + 20, 2);
    return std::int64_t(w) * h;
  }
  return std::llabs(std::int64_t(std::int32_t(u32(18)))) * std::llabs(std::int64_t(std::int32_t(u32(22))));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  platform::TMemoryReadableFile file(bytes);
  std::uint64_t total = 0;
  const TEntrySink sink = [&](std::span<const std::byte> chunk) {
    total += chunk.size();
    return total <= kMaxInflated;
  };
  if (const auto trailer = ReadPayloadTrailer(file)) {
    (void)InflateEntry(file, trailer->ConfigPosition, trailer->ConfigStoredSize, sink, true);
    total = 0;
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
          if (total > kMaxInflated) return false;
          inflated.insert(inflated.end(), c.begin(), c.end());
          return true;
        }) == TEntryStatus::Ok &&
        DeclaredPixels(inflated) <= kMaxPixels) {
      TPicture picture;
      (void)picture.LoadBitmapFromMemory(inflated);
    }
  }
  return 0;
}
