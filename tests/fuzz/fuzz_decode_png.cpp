// Arbitrary bytes as a picture file: PNG through libpng, loaded as the player loads it.
// Every chunk's checksum is made right first: a mutation then reaches the decoder
// instead of stopping at the checksum of the chunk it touched.
#include "fuzz_picture.h"

#include <vector>

#include <zlib.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::byte> file(reinterpret_cast<const std::byte*>(data), reinterpret_cast<const std::byte*>(data) + size);
  const auto u8 = [&](std::size_t i) { return std::to_integer<std::uint32_t>(file[i]); };
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::uint64_t length = (u8(at) << 24) | (u8(at + 1) << 16) | (u8(at + 2) << 8) | u8(at + 3);
    if (length > file.size() - at - 12) break;
    const std::size_t end = at + 8 + static_cast<std::size_t>(length);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(file.data() + at + 4), static_cast<uInt>(length + 4)));
    for (int i = 0; i < 4; ++i) file[end + static_cast<std::size_t>(i)] = std::byte((crc >> (24 - 8 * i)) & 255);
    at = end + 4;
  }
  lumora::fuzz::LoadPicture("png", file);
  return 0;
}
