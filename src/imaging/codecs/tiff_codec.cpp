// TIFF (and GFI fax files, which are TIFF) through libtiff: the first directory, read
// by the library's RGBA reader, so that every photometric interpretation and
// compression that the library knows works (palette, grey, CMYK, YCbCr, JPEG, LZW,
// Deflate, PackBits, the fax codings). libtiff reports errors by return codes; its
// messages go to handlers of this handle that drop them.
#include "imaging/codecs/codec_table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include <tiffio.h>

namespace lumora::codecs {
namespace {

struct TMemoryFile {
  const std::byte* Data;
  toff_t Size;
  toff_t Position;
};

tmsize_t ReadProc(thandle_t handle, void* target, tmsize_t count) {
  auto* file = static_cast<TMemoryFile*>(handle);
  if (count <= 0 || file->Position >= file->Size) return 0;
  const toff_t n = std::min<toff_t>(static_cast<toff_t>(count), file->Size - file->Position);
  std::memcpy(target, file->Data + file->Position, static_cast<std::size_t>(n));
  file->Position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<TMemoryFile*>(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR) base = file->Position;
  if (whence == SEEK_END) base = file->Size;
  // Offsets are unsigned; a "negative" one wraps and is refused here.
  if (offset > ~toff_t(0) - base) return static_cast<toff_t>(-1);
  file->Position = base + offset;
  return file->Position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<TMemoryFile*>(handle)->Size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int DropMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TOptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TTiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// The RGBA reader premultiplies colour by alpha; a picture holds straight alpha.
void ToStraightBgra(TBitmap32& bitmap) {
  for (TPixel& p : bitmap.Pixels()) {
    // The reader packs red in the low byte, then green, blue and alpha.
    std::uint32_t r = p & 0xFF, g = (p >> 8) & 0xFF, b = (p >> 16) & 0xFF;
    const std::uint32_t a = p >> 24;
    if (a != 0 && a != 255) {
      r = std::min<std::uint32_t>(255, (r * 255 + a / 2) / a);
      g = std::min<std::uint32_t>(255, (g * 255 + a / 2) / a);
      b = std::min<std::uint32_t>(255, (b * 255 + a / 2) / a);
    }
    p = MakePixel(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b), std::uint8_t(a));
  }
}

}  // namespace

bool DecodeTiff(std::span<const std::byte> data, TBitmap32& out) {
  if (data.size() < 8) return false;
  std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return false;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DropMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropMessage, nullptr);
  // No single buffer of a picture within the size limit needs more.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(1) << 30);

  TMemoryFile file{data.data(), static_cast<toff_t>(data.size()), 0};
  // "m": no memory mapping; the procedures above serve the reads.
  std::unique_ptr<TIFF, TTiffCloser> tiff(TIFFClientOpenExt("picture", "rm", &file, ReadProc, WriteProc, SeekProc,
                                                            CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
  if (!tiff) return false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
    return false;
  }
  if (!PictureSizeAllowed(width, height)) return false;
  char message[1024] = {};
  if (TIFFRGBAImageOK(tiff.get(), message) != 1) return false;

  TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height), 0);
  // Stop at the first damaged strip or tile: the reader's own buffers are not cleared,
  // so going on could show whatever they held.
  if (TIFFReadRGBAImageOriented(tiff.get(), width, height, bitmap.Pixels().data(), ORIENTATION_TOPLEFT, 1) != 1) {
    return false;
  }
  ToStraightBgra(bitmap);
  out = std::move(bitmap);
  return true;
}

std::optional<std::uint64_t> ProbeTiff(const TProbeSource& file) {
  // Byte order and version (42, or 43 for the big layout); strips may lie anywhere, so
  // the decoder gets the whole file.
  const std::span<const std::byte> h = file.Head();
  if (h.size() < 8) return std::nullopt;
  const auto u8 = [&](std::size_t i) { return std::to_integer<unsigned>(h[i]); };
  const bool little = u8(0) == 'I' && u8(1) == 'I' && (u8(2) == 42 || u8(2) == 43) && u8(3) == 0;
  const bool big = u8(0) == 'M' && u8(1) == 'M' && u8(2) == 0 && (u8(3) == 42 || u8(3) == 43);
  if (!little && !big) return std::nullopt;
  // The decoder's size limit, from the first directory of a classic file where it can be
  // read; anything else is left to the decoder.
  const auto read = [&](std::uint64_t at, std::size_t bytes, std::uint32_t& value) {
    std::byte raw[4] = {};
    if (at + bytes > file.Size() || !file.ReadAt(at, std::span(raw, bytes))) return false;
    value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
      value |= std::to_integer<std::uint32_t>(raw[little ? i : bytes - 1 - i]) << (8 * i);
    return true;
  };
  std::uint32_t directory = 0, count = 0;
  if ((little ? u8(2) : u8(3)) != 42 || !read(4, 4, directory) || !read(directory, 2, count)) return file.Size();
  std::int64_t width = -1, height = -1;
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(count, 4096); ++i) {
    const std::uint64_t entry = std::uint64_t(directory) + 2 + 12 * std::uint64_t(i);
    std::uint32_t tag = 0, type = 0, value = 0;
    if (!read(entry, 2, tag) || !read(entry + 2, 2, type)) break;
    if (tag != 256 && tag != 257) continue;
    if ((type != 3 && type != 4) || !read(entry + 8, type == 3 ? 2 : 4, value)) break;
    (tag == 256 ? width : height) = value;
  }
  if (width >= 0 && height >= 0 && !PictureSizeAllowed(width, height)) return std::nullopt;
  return file.Size();
}

}  // namespace lumora::codecs
