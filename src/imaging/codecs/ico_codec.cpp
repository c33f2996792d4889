// Windows icons: a directory of images, each either a device-independent bitmap whose
// AND mask gives the transparency, or a whole PNG file. The largest image is shown.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/dib_reader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

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

std::optional<std::uint64_t> ProbeWindowsIcon(const TProbeSource& file) {
  const TByteReader head(file.Head());
  if (!head.Has(0, kDirectorySize) || head.U16(0) != 0 || (head.U16(2) != 1 && head.U16(2) != 2)) return std::nullopt;
  const std::size_t count = head.U16(4);
  std::vector<std::byte> directory(count * kEntrySize);
  if (count == 0 || file.Size() < kDirectorySize + directory.size()) return std::nullopt;
  if (!file.ReadAt(kDirectorySize, directory)) return file.Size();
  // The decoder needs the directory and the images it lists.
  const TByteReader r(directory);
  std::uint64_t needed = 0;
  for (std::size_t at = 0; at < directory.size(); at += kEntrySize) {
    const std::uint64_t end = std::uint64_t(r.U32(at + 12)) + r.U32(at + 8);
    if (r.U32(at + 8) != 0 && end <= file.Size()) needed = std::max(needed, end);
  }
  if (needed == 0) return std::nullopt;  // no image inside the file
  return std::max<std::uint64_t>(needed, kDirectorySize + directory.size());
}

}  // namespace lumora::codecs
