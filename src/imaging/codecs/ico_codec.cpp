// Windows icons: a directory of images, each either a device-independent bitmap whose
// AND mask gives the transparency, or a whole PNG file. The largest image is shown.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/dib_reader.h"

#include <cstdint>

namespace lumora::codecs {
namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;

bool IsPng(std::span<const std::byte> data) {
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() < 8) return false;
  for (std::size_t i = 0; i < 8; ++i) {
    if (std::to_integer<unsigned char>(data[i]) != kSignature[i]) return false;
  }
  return true;
}

}  // namespace

bool DecodeWindowsIcon(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, kDirectorySize) || r.U16(0) != 0 || (r.U16(2) != 1 && r.U16(2) != 2)) return false;
  const std::size_t count = r.U16(4);
  if (count == 0 || !r.Has(kDirectorySize, count * kEntrySize)) return false;

  // The largest area wins, then the most colours; a zero size byte means 256.
  std::size_t best = count;
  std::uint64_t bestScore = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kDirectorySize + i * kEntrySize;
    const std::uint64_t w = r.U8(at) == 0 ? 256 : r.U8(at);
    const std::uint64_t h = r.U8(at + 1) == 0 ? 256 : r.U8(at + 1);
    const std::uint64_t bits = r.U16(at + 6);
    const std::uint64_t score = ((w * h) << 8) | (bits > 255 ? 255 : bits);
    const std::uint32_t size = r.U32(at + 8);
    const std::uint32_t offset = r.U32(at + 12);
    if (!r.Has(offset, size) || size == 0) continue;
    if (best == count || score > bestScore) {
      best = i;
      bestScore = score;
    }
  }
  if (best == count) return false;
  const std::size_t at = kDirectorySize + best * kEntrySize;
  const std::span<const std::byte> image = data.subspan(r.U32(at + 12), r.U32(at + 8));
  if (IsPng(image)) return DecodePng(image, out);
  TDibOptions options;
  options.Icon = true;
  return DecodeDib(image, options, out);
}

}  // namespace lumora::codecs
