#include "png_writer.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace lumora::tools {
namespace {

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// libpng reports errors by long jump; nothing with a destructor may live across it,
// so the whole write happens in this function with plain locals only.
bool WriteRows(std::FILE* file, int width, int height, png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  // Renders are read back by tests and galleries at once: fast compression (zlib level 1,
  // one filter) is worth far more than the last few per cent of size. Runs and the
  // filtered bytes' codes alone: half the time of level 1's matching on a photograph, no
  // larger, and as small on flat areas.
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const std::filesystem::path& path, const TBitmap32& bitmap, std::string* error) {
  const auto fail = [error](std::string why) {
    if (error != nullptr) *error = std::move(why);
    return false;
  };
  if (bitmap.Empty()) return fail("the picture is empty");
  std::vector<png_byte> pixels(static_cast<std::size_t>(bitmap.Width()) * bitmap.Height() * 3);
  std::vector<png_bytep> rows(static_cast<std::size_t>(bitmap.Height()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    png_bytep row = pixels.data() + static_cast<std::size_t>(y) * bitmap.Width() * 3;
    rows[static_cast<std::size_t>(y)] = row;
    const TPixel* in = bitmap.Row(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      row[3 * x] = PixelR(in[x]);
      row[3 * x + 1] = PixelG(in[x]);
      row[3 * x + 2] = PixelB(in[x]);
    }
  }
  std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.string().c_str(), "wb"));
  if (!file) return fail("cannot create " + path.string());
  if (!WriteRows(file.get(), bitmap.Width(), bitmap.Height(), rows.data())) return fail("cannot write " + path.string());
  if (std::fflush(file.get()) != 0) return fail("cannot write " + path.string());
  return true;
}

}  // namespace lumora::tools
