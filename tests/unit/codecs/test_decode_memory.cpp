// Memory follows the data, not the header: a file whose header promises a large picture
// but whose data ends at once fails before the picture's pixels are allocated. The test
// binary counts the largest single allocation, of C++ and, outside the address
// sanitizer (which owns malloc), of the C libraries too.
#include "codec_test_support.h"
#include "imaging/codecs/codec_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
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

// Headers of w x h pictures of the formats whose checks read the size, no pixels.
test::TBytes Header(std::initializer_list<unsigned> values, std::size_t size) {
  test::TBytes out(size);
  std::size_t at = 0;
  for (const unsigned v : values) out[at++] = std::byte(v);
  return out;
}
void Le16(test::TBytes& b, std::size_t at, unsigned v) {
  b[at] = std::byte(v & 255);
  b[at + 1] = std::byte(v >> 8 & 255);
}
void Be16(test::TBytes& b, std::size_t at, unsigned v) {
  b[at] = std::byte(v >> 8 & 255);
  b[at + 1] = std::byte(v & 255);
}

// The header checks are what lumora-inspect --check asks: each must refuse a picture
// its decoder would refuse for its size (here one pixel over the limit, each side
// allowed), and take the same header at the largest square the limit allows.
TEST(DecodeMemory, EveryHeaderCheckAppliesItsDecodersSizeLimit) {
  using TWriter = test::TBytes (*)(unsigned w, unsigned h);
  const struct {
    const char* Extension;
    TWriter Write;
  } cases[] = {
      {"gif", [](unsigned w, unsigned h) {
         // A logical screen of one pixel; the first frame is what grows it.
         test::TBytes b = Header({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C}, 35);
         Le16(b, 24, w);
         Le16(b, 26, h);
         b[29] = std::byte(2);
         return b;
       }},
      {"pcx", [](unsigned w, unsigned h) {
         test::TBytes b = Header({0x0A, 5, 1, 8}, 128);
         Le16(b, 8, w - 1);
         Le16(b, 10, h - 1);
         b[65] = std::byte(1);
         Le16(b, 66, w);
         return b;
       }},
      {"psd", [](unsigned w, unsigned h) {
         test::TBytes b = Header({'8', 'B', 'P', 'S', 0, 1}, 26);
         Be16(b, 12, 3);
         Be16(b, 16, h);
         Be16(b, 20, w);
         Be16(b, 22, 8);
         return b;
       }},
      {"sgi", [](unsigned w, unsigned h) {
         test::TBytes b = Header({474 >> 8, 474 & 255, 0, 1, 0, 2}, 512);
         Be16(b, 6, w);
         Be16(b, 8, h);
         return b;
       }},
      {"cel", [](unsigned w, unsigned h) {
         test::TBytes b = Header({0x19, 0x91}, 32);
         Le16(b, 2, w);
         Le16(b, 4, h);
         b[10] = std::byte(8);
         return b;
       }},
      {"pgm", [](unsigned w, unsigned h) {
         const std::string text = "P5\n# a comment\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
         test::TBytes b(text.size() + 16);
         std::memcpy(b.data(), text.data(), text.size());
         return b;
       }},
      {"tif", [](unsigned w, unsigned h) {
         // Big-endian, one directory of two entries: the width as a SHORT, the height as a LONG.
         test::TBytes b = Header({'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2, 1, 0, 0, 3, 0, 0, 0, 1}, 64);
         Be16(b, 18, w);
         for (const auto& [at, v] : {std::pair{22, 1u}, {23, 1u}, {25, 4u}, {29, 1u}}) b[std::size_t(at)] = std::byte(v);
         Be16(b, 32, h);
         return b;
       }},
  };
  for (const auto& c : cases) {
    const codecs::TCodecEntry* codec = codecs::FindCodec(c.Extension);
    ASSERT_NE(codec, nullptr);
    const test::TBytes over = c.Write(8193, 8192), square = c.Write(8192, 8192);
    EXPECT_FALSE(codecs::ProbeFile(*codec, codecs::TProbeSource(over))) << c.Extension << ": 8193 x 8192 taken";
    EXPECT_TRUE(codecs::ProbeFile(*codec, codecs::TProbeSource(square))) << c.Extension << ": 8192 x 8192 refused";
  }
}

}  // namespace
}  // namespace lumora
