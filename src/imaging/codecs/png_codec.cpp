// PNG through libpng: every colour type and bit depth, transparency chunks, interlacing;
// 16-bit samples are scaled to 8 and gamma chunks are ignored (pictures are shown as
// stored).
//
// libpng reports fatal errors by long jump to the jump point of its png_struct. Only
// two small functions set it (ReadInfo and ReadRows); they hold nothing but trivially
// destructible locals, so the jump skips no C++ destructor.
#include "imaging/codecs/codec_table.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <png.h>

namespace lumora::codecs {
namespace {

struct TPngSession {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  const png_byte* Data = nullptr;
  std::size_t Size = 0;
  std::size_t Position = 0;

  ~TPngSession() {
    if (Png != nullptr) png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr);
  }
};

void OnRead(png_structp png, png_bytep target, png_size_t count) {
  auto* s = static_cast<TPngSession*>(png_get_io_ptr(png));
  if (count > s->Size - s->Position) png_error(png, "truncated");
  std::memcpy(target, s->Data + s->Position, count);
  s->Position += count;
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// Reads the header chunks and sets the transformations to 8-bit BGRA.
bool ReadInfo(TPngSession* s, png_uint_32* width, png_uint_32* height) {
  if (setjmp(png_jmpbuf(s->Png)) != 0) return false;
  png_set_read_fn(s->Png, s, OnRead);
  png_set_user_limits(s->Png, kMaxPictureSide, kMaxPictureSide);
  // Ancillary chunks (text, profiles) never need more than this.
  png_set_chunk_malloc_max(s->Png, 8u << 20);
  png_read_info(s->Png, s->Info);
  *width = png_get_image_width(s->Png, s->Info);
  *height = png_get_image_height(s->Png, s->Info);
  if (!PictureSizeAllowed(*width, *height)) return false;

  const int colorType = png_get_color_type(s->Png, s->Info);
  png_set_expand(s->Png);  // palettes to RGB, low-depth grey to 8 bits, tRNS to alpha
  png_set_scale_16(s->Png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(s->Png);
  png_set_bgr(s->Png);
  png_set_filler(s->Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(s->Png);
  png_read_update_info(s->Png, s->Info);
  return png_get_rowbytes(s->Png, s->Info) == std::size_t(*width) * 4;
}

bool ReadRows(TPngSession* s, png_bytepp rows) {
  if (setjmp(png_jmpbuf(s->Png)) != 0) return false;
  png_read_image(s->Png, rows);
  return true;
}

bool ReadRow(TPngSession* s, png_bytep row) {
  if (setjmp(png_jmpbuf(s->Png)) != 0) return false;
  png_read_row(s->Png, row, nullptr);
  return true;
}

std::uint32_t BigEndian32(const std::byte* p) {
  return (std::to_integer<std::uint32_t>(p[0]) << 24) | (std::to_integer<std::uint32_t>(p[1]) << 16) |
         (std::to_integer<std::uint32_t>(p[2]) << 8) | std::to_integer<std::uint32_t>(p[3]);
}

// Deflate expands its input at most about 1032 times.
constexpr std::uint64_t kMaxInflateRatio = 1032;

// Whether the file's image data could inflate to all the rows its header declares; one
// that cannot fails before its picture is allocated, as it would fail later.
bool ImageDataCanHoldRows(std::span<const std::byte> data) {
  const std::uint64_t width = BigEndian32(data.data() + 16);
  const std::uint64_t height = BigEndian32(data.data() + 20);
  const unsigned depth = std::to_integer<unsigned>(data[24]);
  const unsigned type = std::to_integer<unsigned>(data[25]);
  const unsigned channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
  const std::uint64_t rawBytes = height * (1 + (width * channels * depth + 7) / 8);
  std::uint64_t imageData = 0;
  for (std::size_t at = 8; at + 8 <= data.size();) {
    const std::uint64_t length = BigEndian32(data.data() + at);
    if (std::memcmp(data.data() + at + 4, "IDAT", 4) == 0) imageData += std::min<std::uint64_t>(length, data.size() - at - 8);
    if (std::memcmp(data.data() + at + 4, "IEND", 4) == 0) break;
    at += static_cast<std::size_t>(std::min<std::uint64_t>(12 + length, data.size() - at));
  }
  return imageData * kMaxInflateRatio + 1024 >= rawBytes;
}

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Walking the chunks of an unusual file stops here; the decoder then sees all of it.
constexpr int kMaxChunksWalked = 1'000'000;

}  // namespace

// The file up to the first chunk before the image data whose length runs past the end
// of the file. libpng sizes a chunk's buffer from its length before reading it, so such
// a chunk would cost what its length says, and reading it would fail all the same.
std::span<const std::byte> WithoutOverlongChunks(std::span<const std::byte> data) {
  for (std::size_t at = 8; at + 8 <= data.size();) {
    const std::uint64_t length = BigEndian32(data.data() + at);
    if (std::memcmp(data.data() + at + 4, "IDAT", 4) == 0) break;
    if (length > data.size() - at - 8) return data.first(at);
    at += static_cast<std::size_t>(std::min<std::uint64_t>(12 + length, data.size() - at));
  }
  return data;
}

bool DecodePng(std::span<const std::byte> file, TBitmap32& out) {
  if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return false;
  const std::span<const std::byte> data = WithoutOverlongChunks(file);
  auto session = std::make_unique<TPngSession>();
  session->Data = reinterpret_cast<const png_byte*>(data.data());
  session->Size = data.size();
  session->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (session->Png == nullptr) return false;
  session->Info = png_create_info_struct(session->Png);
  if (session->Info == nullptr) return false;

  png_uint_32 width = 0;
  png_uint_32 height = 0;
  if (!ReadInfo(session.get(), &width, &height)) return false;
  // ReadInfo has seen the header chunk at its place.
  if (!ImageDataCanHoldRows(data)) return false;
  if (png_get_interlace_type(session->Png, session->Info) != PNG_INTERLACE_NONE) {
    // Every pass runs over the whole picture, so it is needed at once.
    TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height));
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(bitmap.Row(static_cast<int>(y)));
    if (!ReadRows(session.get(), rows.data())) return false;
    out = std::move(bitmap);
    return true;
  }
  // The picture is made once its first row has decoded: a header alone costs one row.
  std::vector<TPixel> first(width);
  if (!ReadRow(session.get(), reinterpret_cast<png_bytep>(first.data()))) return false;
  TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height));
  std::copy(first.begin(), first.end(), bitmap.Row(0));
  for (png_uint_32 y = 1; y < height; ++y)
    if (!ReadRow(session.get(), reinterpret_cast<png_bytep>(bitmap.Row(static_cast<int>(y))))) return false;
  out = std::move(bitmap);
  return true;
}

std::optional<std::uint64_t> ProbePng(const TProbeSource& file) {
  const std::span<const std::byte> head = file.Head();
  // The signature and a header chunk first, as the decoder requires.
  if (head.size() < 33 || std::memcmp(head.data(), kSignature, 8) != 0 || BigEndian32(head.data() + 8) != 13 ||
      std::memcmp(head.data() + 12, "IHDR", 4) != 0) {
    return std::nullopt;
  }
  if (!PictureSizeAllowed(BigEndian32(head.data() + 16), BigEndian32(head.data() + 20))) return std::nullopt;
  // The decoder needs the chunks up to the end of the image data; their lengths show
  // where that is without reading the data.
  std::uint64_t at = 8;
  for (int i = 0; i < kMaxChunksWalked; ++i) {
    std::array<std::byte, 8> chunk{};
    if (!file.ReadAt(at, chunk)) return file.Size();
    const std::uint32_t length = BigEndian32(chunk.data());
    // Not a length the format allows; the decoder decides whether it matters (after the
    // image data it does not).
    if (length > 0x7FFFFFFFu) return file.Size();
    at += 12 + std::uint64_t(length);
    if (std::memcmp(chunk.data() + 4, "IEND", 4) == 0) return at;
  }
  return file.Size();
}

}  // namespace lumora::codecs
