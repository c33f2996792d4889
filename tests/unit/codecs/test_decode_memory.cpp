// Memory follows the data, not the header: a file whose header promises a large picture
// but whose data ends at once fails before the picture's pixels are allocated. The test
// binary counts the largest single allocation, of C++ and, outside the address
// sanitizer (which owns malloc), of the C libraries too.
#include "codec_test_support.h"
#include "imaging/codecs/codec_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> gLargest{0};
void Note(std::size_t size) {
  std::size_t seen = gLargest.load();
  while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
  }
}
}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMORA_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LUMORA_TEST_ASAN 1
#endif

#ifndef LUMORA_TEST_ASAN
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size) {
  Note(size);
  return __libc_malloc(size);
}
#endif

// The replacements pair malloc with free, which GCC cannot see through.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  Note(size);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace lumora {
namespace {

TEST(DecodeMemory, AHeaderWithoutDataAllocatesNoPicture) {
  constexpr int kSide = 8000;  // 256 MB as a picture
  // GIF: screen and frame of kSide x kSide, then the data ends.
  test::TBytes gif;
  for (int v : std::initializer_list<int>{'G', 'I', 'F', '8', '9', 'a', kSide & 255, kSide >> 8, kSide & 255, kSide >> 8, 0x80, 0, 0, 0, 0, 0,
                255, 255, 255, 0x2C, 0, 0, 0, 0, kSide & 255, kSide >> 8, kSide & 255, kSide >> 8, 0, 2})
    gif.push_back(std::byte(v));
  // PNG: a valid header and the first few bytes of its image data.
  const test::TBytes png = test::MakeGreyPng(kSide, kSide, 40);
  // PNG: a small picture whose text chunk, before the image data, claims 2 GB.
  test::TBytes overlong = test::MakeGreyPng(4, 4);
  overlong.resize(33);
  for (int v : std::initializer_list<int>{0x7A, 0, 0, 5, 't', 'E', 'X', 't', 'a', 'b', 'c'}) overlong.push_back(std::byte(v));
  struct TCase {
    const char* Name;
    codecs::TDecodeFunction Decode;
    const test::TBytes& File;
  } cases[] = {{"gif", &codecs::DecodeGif, gif},
               {"png", &codecs::DecodePng, png},
               {"png with an overlong chunk", &codecs::DecodePng, overlong}};
  for (const TCase& c : cases) {
    gLargest = 0;
    TBitmap32 out;
    EXPECT_FALSE(c.Decode(c.File, out)) << c.Name;
    EXPECT_LT(gLargest.load(), std::size_t(1) << 20) << c.Name << ": allocated for the header's promise";
  }
  // A complete picture needs its own pixels and little else.
  const test::TBytes whole = test::MakeGreyPng(2000, 1000);
  gLargest = 0;
  TBitmap32 out;
  ASSERT_TRUE(codecs::DecodePng(whole, out));
  EXPECT_LE(gLargest.load(), std::size_t(2000) * 1000 * 4 + 4096);
}

}  // namespace
}  // namespace lumora
