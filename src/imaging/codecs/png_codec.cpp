// PNG through libpng: every colour type and bit depth, transparency chunks, interlacing;
// 16-bit samples are scaled to 8 and gamma chunks are ignored (pictures are shown as
// stored).
//
// libpng reports fatal errors by long jump to the jump point of its png_struct. Only
// two small functions set it (ReadInfo and ReadRows); they hold nothing but trivially
// destructible locals, so the jump skips no C++ destructor.
#include "imaging/codecs/codec_table.h"

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <memory>
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

}  // namespace

bool DecodePng(std::span<const std::byte> data, TBitmap32& out) {
  if (data.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(data.data()), 0, 8) != 0) return false;
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
  TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height));
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(bitmap.Row(static_cast<int>(y)));
  if (!ReadRows(session.get(), rows.data())) return false;
  out = std::move(bitmap);
  return true;
}

}  // namespace lumora::codecs
