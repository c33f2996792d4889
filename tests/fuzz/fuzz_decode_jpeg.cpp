// Arbitrary bytes as a picture file: JPEG through libjpeg-turbo, loaded as the player loads it.
#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumora::fuzz::LoadPicture("jpg", std::span(reinterpret_cast<const std::byte*>(data), size));
  return 0;
}
