// Header checks of the older formats: the same first tests their decoders make, so that
// a large file that is not such a picture is refused after one small read and its entry
// is not inflated further. A file that passes is read whole, as its decoder needs.
#include "imaging/codecs/codec_table.h"

#include <cstring>

namespace lumora::codecs {
namespace {

unsigned Byte(const TProbeSource& file, std::size_t at) { return std::to_integer<unsigned>(file.Head()[at]); }
unsigned Le16(const TProbeSource& file, std::size_t at) { return Byte(file, at) | Byte(file, at + 1) << 8; }
unsigned Be16(const TProbeSource& file, std::size_t at) { return Byte(file, at) << 8 | Byte(file, at + 1); }
bool Has(const TProbeSource& file, std::size_t bytes) { return file.Head().size() >= bytes; }
bool Starts(const TProbeSource& file, const void* text, std::size_t bytes, std::size_t at = 0) {
  return Has(file, at + bytes) && std::memcmp(file.Head().data() + at, text, bytes) == 0;
}
std::optional<std::uint64_t> Whole(const TProbeSource& file, bool ok) {
  if (!ok) return std::nullopt;
  return file.Size();
}

}  // namespace

std::optional<std::uint64_t> ProbeTarga(const TProbeSource& file) {
  if (!Has(file, 18)) return std::nullopt;
  const unsigned mapType = Byte(file, 1), imageType = Byte(file, 2), bits = Byte(file, 16);
  const bool mapped = (imageType & 7) == 1;
  const bool ok = (imageType & ~8u) >= 1 && (imageType & ~8u) <= 3 && mapped == (mapType == 1) &&
                  (mapped ? bits == 8 || bits == 16 : bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32) &&
                  PictureSizeAllowed(Le16(file, 12), Le16(file, 14));
  return Whole(file, ok);
}

std::optional<std::uint64_t> ProbePcx(const TProbeSource& file) {
  return Whole(file, Has(file, 128) && Byte(file, 0) == 0x0A && Byte(file, 2) <= 1 &&
                         PictureSizeAllowed(std::int64_t(Le16(file, 8)) - Le16(file, 4) + 1,
                                            std::int64_t(Le16(file, 10)) - Le16(file, 6) + 1));
}

std::optional<std::uint64_t> ProbePhotoshop(const TProbeSource& file) {
  const auto be32 = [&](std::size_t at) { return std::int64_t(Be16(file, at)) << 16 | Be16(file, at + 2); };
  return Whole(file, Has(file, 26) && Starts(file, "8BPS", 4) && Be16(file, 4) == 1 &&
                         PictureSizeAllowed(be32(18), be32(14)));
}

std::optional<std::uint64_t> ProbePaintShopPro(const TProbeSource& file) {
  static constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
  return Whole(file, Starts(file, kSignature, sizeof kSignature - 1));
}

std::optional<std::uint64_t> ProbeSgi(const TProbeSource& file) {
  return Whole(file, Has(file, 512) && Be16(file, 0) == 474 &&
                         PictureSizeAllowed(Be16(file, 6), Be16(file, 4) == 1 ? 1 : Be16(file, 8)));
}

std::optional<std::uint64_t> ProbePhotoCd(const TProbeSource& file) {
  // The base image lies at 0x30000; the signature is in the head.
  return Whole(file, file.Size() >= 0x30000 + 768 * 3 * 256 && Starts(file, "PCD_IPI", 7, 0x800));
}

std::optional<std::uint64_t> ProbeAutodesk(const TProbeSource& file) {
  return Whole(file, Has(file, 32) && Le16(file, 0) == 0x9119 && PictureSizeAllowed(Le16(file, 2), Le16(file, 4)));
}

std::optional<std::uint64_t> ProbeHaloCut(const TProbeSource& file) {
  return Whole(file, Has(file, 6) && PictureSizeAllowed(Le16(file, 0), Le16(file, 2)));
}

std::optional<std::uint64_t> ProbeWavefront(const TProbeSource& file) {
  if (!Has(file, 740)) return std::nullopt;
  const auto s16 = [&](std::size_t at) { return int(std::int16_t(Be16(file, at))); };
  const int width = s16(10) - s16(8) + 1, height = s16(14) - s16(12) + 1, colours = s16(20);
  return Whole(file, PictureSizeAllowed(width, height) && colours >= 1 && colours <= 3 && s16(22) >= 0);
}

std::optional<std::uint64_t> ProbeEncapsulatedPostScript(const TProbeSource& file) {
  // Only the binary header with a preview can be shown.
  return Whole(file, Has(file, 30) && Le16(file, 0) == 0xD0C5 && Le16(file, 2) == 0xC6D3);
}

}  // namespace lumora::codecs
