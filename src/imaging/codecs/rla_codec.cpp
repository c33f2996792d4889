// Alias/Wavefront run-length pictures (RLA, and RPF, the same layout with more
// auxiliary channels): a 740-byte big-endian header, a table of scan-line offsets,
// then per scan line (bottom-up) each colour channel and each matte channel as a
// counted run stream. The picture is the header's active window. Only 8-bit channels
// are shown; a scan line whose data is damaged keeps what it decoded.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <vector>

namespace lumora::codecs {
namespace {

constexpr std::size_t kHeaderSize = 740;

std::int16_t Signed16(const TByteReader& r, std::size_t at) { return static_cast<std::int16_t>(BigEndian16(r, at)); }

// One channel of one scan line: a signed count byte, negative for that many literal
// bytes, else the next byte repeated count + 1 times. Returns where the stream ends.
std::size_t DecodeChannel(const TByteReader& r, std::size_t at, std::vector<std::uint8_t>& samples) {
  if (!r.Has(at, 2)) return r.Size();
  const std::size_t end = std::min(r.Size(), at + 2 + BigEndian16(r, at));
  at += 2;
  std::size_t x = 0;
  while (at < end && x < samples.size()) {
    const int count = static_cast<std::int8_t>(r.U8(at++));
    if (count < 0) {
      for (int i = 0; i < -count && at < end; ++i, ++at) {
        if (x < samples.size()) samples[x++] = r.U8(at);
      }
    } else {
      if (at >= end) break;
      const std::uint8_t v = r.U8(at++);
      for (int i = 0; i <= count && x < samples.size(); ++i) samples[x++] = v;
    }
  }
  return end;
}

}  // namespace

bool DecodeWavefront(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, kHeaderSize)) return false;
  const int left = Signed16(r, 8), right = Signed16(r, 10), bottom = Signed16(r, 12), top = Signed16(r, 14);
  const int colours = Signed16(r, 20), mattes = Signed16(r, 22);
  const int colourBits = Signed16(r, 658), matteBits = Signed16(r, 662);
  const int width = right - left + 1, height = top - bottom + 1;
  if (!PictureSizeAllowed(width, height) || colours < 1 || colours > 3 || mattes < 0) return false;
  if (colourBits != 0 && colourBits != 8) return false;
  const bool alpha = mattes > 0 && (matteBits == 0 || matteBits == 8);
  // The offset table, and per scan line at least a count and a run per channel.
  if (!r.Has(kHeaderSize, std::size_t(height) * (4 + 4 * (colours + (alpha ? 1 : 0))))) return false;

  TBitmap32 picture(width, height, 0);
  std::vector<std::uint8_t> samples(static_cast<std::size_t>(width));
  for (int line = 0; line < height; ++line) {
    std::size_t at = BigEndian32(r, kHeaderSize + 4 * std::size_t(line));
    TPixel* row = picture.Row(height - 1 - line);
    for (int c = 0; c < colours + (alpha ? 1 : 0); ++c) {
      std::fill(samples.begin(), samples.end(), 0);
      at = DecodeChannel(r, at, samples);
      for (int x = 0; x < width; ++x) {
        const TPixel v = samples[static_cast<std::size_t>(x)];
        if (c == colours) row[x] = (row[x] & 0xFFFFFFu) | (v << 24);
        else if (colours == 1) row[x] = (row[x] & 0xFF000000u) | (v * 0x010101u);
        else row[x] |= v << (16 - 8 * c);
      }
    }
    if (!alpha) {
      for (int x = 0; x < width; ++x) row[x] |= 0xFF000000u;
    }
  }
  out = std::move(picture);
  return true;
}

}  // namespace lumora::codecs
