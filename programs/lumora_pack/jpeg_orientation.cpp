#include "jpeg_orientation.h"

#include <turbojpeg.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace lumora::pack {
namespace {

constexpr int kQuality = 95;  // when the size allows no lossless turn

unsigned Be16(std::span<const std::byte> b, std::size_t at) {
  return (std::to_integer<unsigned>(b[at]) << 8) | std::to_integer<unsigned>(b[at + 1]);
}

// The marker segments before the first scan: (offset of the 0xFF, marker, total length).
struct TSegment {
  std::size_t At = 0;
  unsigned Marker = 0;
  std::size_t Length = 0;  // marker bytes included
};

template <class TVisit>
void ForEachSegment(std::span<const std::byte> jpeg, TVisit&& visit) {
  if (jpeg.size() < 4 || Be16(jpeg, 0) != 0xFFD8) return;
  std::size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    if (std::to_integer<unsigned>(jpeg[i]) != 0xFF) return;
    const unsigned marker = std::to_integer<unsigned>(jpeg[i + 1]);
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return;
    const std::size_t length = 2 + Be16(jpeg, i + 2);
    if (length < 4 || i + length > jpeg.size()) return;
    if (!visit(TSegment{i, marker, length})) return;
    i += length;
  }
}

// Where the Orientation value of an EXIF segment lies in the file, and its byte order.
struct TOrientationTag {
  std::size_t At = 0;
  bool BigEndian = false;
  int Value = 0;
};

std::optional<TOrientationTag> FindOrientation(std::span<const std::byte> jpeg) {
  std::optional<TOrientationTag> found;
  ForEachSegment(jpeg, [&](const TSegment& s) {
    if (s.Marker != 0xE1 || s.Length < 4 + 6 + 8) return true;
    static constexpr char kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (std::memcmp(jpeg.data() + s.At + 4, kExif, 6) != 0) return true;
    const std::span<const std::byte> tiff = jpeg.subspan(s.At + 10, s.Length - 10);
    const bool big = std::to_integer<char>(tiff[0]) == 'M';
    if (!big && std::to_integer<char>(tiff[0]) != 'I') return false;
    const auto u16 = [&](std::size_t at) -> unsigned {
      const unsigned a = std::to_integer<unsigned>(tiff[at]);
      const unsigned b = std::to_integer<unsigned>(tiff[at + 1]);
      return big ? (a << 8) | b : (b << 8) | a;
    };
    const auto u32 = [&](std::size_t at) -> std::uint32_t {
      return big ? (std::uint32_t{u16(at)} << 16) | u16(at + 2) : (std::uint32_t{u16(at + 2)} << 16) | u16(at);
    };
    if (u16(2) != 42) return false;
    const std::uint32_t ifd = u32(4);
    if (ifd < 8 || ifd > tiff.size() - 2) return false;
    const unsigned count = u16(ifd);
    for (unsigned e = 0; e < count; ++e) {
      const std::size_t entry = ifd + 2 + std::size_t{e} * 12;
      if (entry + 12 > tiff.size()) break;
      // Orientation: one SHORT, held in the first two bytes of the value field.
      if (u16(entry) == 0x0112 && u16(entry + 2) == 3 && u32(entry + 4) == 1) {
        const int value = static_cast<int>(u16(entry + 8));
        if (value >= 1 && value <= 8) found = TOrientationTag{s.At + 10 + entry + 8, big, value};
        break;
      }
    }
    return false;  // only the first EXIF segment counts
  });
  return found;
}

void ResetOrientation(std::vector<std::byte>& jpeg) {
  if (const std::optional<TOrientationTag> tag = FindOrientation(jpeg)) {
    jpeg[tag->At] = std::byte{static_cast<unsigned char>(tag->BigEndian ? 0 : 1)};
    jpeg[tag->At + 1] = std::byte{static_cast<unsigned char>(tag->BigEndian ? 1 : 0)};
  }
}

struct TTjHandle {
  tjhandle H;
  explicit TTjHandle(tjhandle h) : H(h) {
    if (H == nullptr) throw EJpegTransformError("out of memory");
  }
  ~TTjHandle() { tjDestroy(H); }
  TTjHandle(const TTjHandle&) = delete;
  TTjHandle& operator=(const TTjHandle&) = delete;
  [[noreturn]] void Fail() const { throw EJpegTransformError(tjGetErrorStr2(H)); }
};

struct TTjFree {
  void operator()(unsigned char* p) const { tjFree(p); }
};
using TTjBuffer = std::unique_ptr<unsigned char, TTjFree>;

int TransformOf(int orientation) {
  switch (orientation) {
    case 2: return TJXOP_HFLIP;
    case 3: return TJXOP_ROT180;
    case 4: return TJXOP_VFLIP;
    case 5: return TJXOP_TRANSPOSE;
    case 6: return TJXOP_ROT90;
    case 7: return TJXOP_TRANSVERSE;
    case 8: return TJXOP_ROT270;
    default: return TJXOP_NONE;
  }
}

const unsigned char* Data(std::span<const std::byte> b) { return reinterpret_cast<const unsigned char*>(b.data()); }

// Rearranges the compressed blocks; nullopt when the size is not a whole number of
// blocks in the direction that moves (the edge blocks would have to be cut off).
std::optional<std::vector<std::byte>> TransformLossless(std::span<const std::byte> jpeg, int orientation) {
  TTjHandle tj(tjInitTransform());
  tjtransform xform{};
  xform.op = TransformOf(orientation);
  xform.options = TJXOPT_PERFECT;  // every other marker is copied
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const int rc = tjTransform(tj.H, Data(jpeg), static_cast<unsigned long>(jpeg.size()), 1, &out, &outSize, &xform, 0);
  TTjBuffer owned(out);
  if (rc != 0) {
    // The check of the size is the only failure that a decode would not share.
    int w = 0, h = 0, sub = 0, cs = 0;
    TTjHandle probe(tjInitDecompress());
    if (tjDecompressHeader3(probe.H, Data(jpeg), static_cast<unsigned long>(jpeg.size()), &w, &h, &sub, &cs) != 0)
      probe.Fail();
    const bool sizeProblem = std::string(tjGetErrorStr2(tj.H)).find("perfect") != std::string::npos;
    if (sizeProblem) return std::nullopt;
    tj.Fail();
  }
  const auto* p = reinterpret_cast<const std::byte*>(owned.get());
  return std::vector<std::byte>(p, p + outSize);
}

// The pixel of the source that lands at (x, y) of the upright picture.
void SourceOf(int orientation, int w, int h, int x, int y, int& sx, int& sy) {
  switch (orientation) {
    case 2: sx = w - 1 - x; sy = y; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sx = x; sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
  }
}

// The markers an encoder writes of its own (JFIF, Adobe) are not carried over; every
// other application marker and comment is.
bool CarriedOver(unsigned marker) { return (marker >= 0xE1 && marker <= 0xEF && marker != 0xEE) || marker == 0xFE; }

std::vector<std::byte> TransformByDecoding(std::span<const std::byte> jpeg, int orientation) {
  TTjHandle dec(tjInitDecompress());
  int w = 0, h = 0, sub = 0, cs = 0;
  if (tjDecompressHeader3(dec.H, Data(jpeg), static_cast<unsigned long>(jpeg.size()), &w, &h, &sub, &cs) != 0)
    dec.Fail();
  const int format = cs == TJCS_GRAY ? TJPF_GRAY : (cs == TJCS_CMYK || cs == TJCS_YCCK) ? TJPF_CMYK : TJPF_RGB;
  const int bpp = tjPixelSize[format];
  std::vector<unsigned char> pixels(static_cast<std::size_t>(w) * h * bpp);
  if (tjDecompress2(dec.H, Data(jpeg), static_cast<unsigned long>(jpeg.size()), pixels.data(), w, 0, h, format,
                    TJFLAG_ACCURATEDCT) != 0)
    dec.Fail();
  const bool swaps = orientation >= 5;
  const int ow = swaps ? h : w;
  const int oh = swaps ? w : h;
  std::vector<unsigned char> turned(pixels.size());
  for (int y = 0; y < oh; ++y)
    for (int x = 0; x < ow; ++x) {
      int sx = 0, sy = 0;
      SourceOf(orientation, w, h, x, y, sx, sy);
      std::memcpy(&turned[(static_cast<std::size_t>(y) * ow + x) * bpp],
                  &pixels[(static_cast<std::size_t>(sy) * w + sx) * bpp], bpp);
    }
  if (format == TJPF_GRAY) {
    sub = TJSAMP_GRAY;
  } else if (swaps) {
    if (sub == TJSAMP_422) sub = TJSAMP_440;
    else if (sub == TJSAMP_440) sub = TJSAMP_422;
    else if (sub == TJSAMP_411) sub = TJSAMP_420;
  }
  TTjHandle enc(tjInitCompress());
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const int rc = tjCompress2(enc.H, turned.data(), ow, 0, oh, format, &out, &outSize, sub, kQuality, TJFLAG_ACCURATEDCT);
  TTjBuffer owned(out);
  if (rc != 0) enc.Fail();
  const std::span<const std::byte> fresh(reinterpret_cast<const std::byte*>(owned.get()), outSize);

  // The new file's own leading markers, then the original's, then the rest.
  std::size_t split = 2;
  ForEachSegment(fresh, [&](const TSegment& s) {
    if (s.Marker != 0xE0 && s.Marker != 0xEE) return false;
    split = s.At + s.Length;
    return true;
  });
  std::vector<std::byte> result(fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(split));
  ForEachSegment(jpeg, [&](const TSegment& s) {
    if (CarriedOver(s.Marker))
      result.insert(result.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(s.At),
                    jpeg.begin() + static_cast<std::ptrdiff_t>(s.At + s.Length));
    return true;
  });
  result.insert(result.end(), fresh.begin() + static_cast<std::ptrdiff_t>(split), fresh.end());
  return result;
}

}  // namespace

int JpegOrientation(std::span<const std::byte> jpeg) {
  const std::optional<TOrientationTag> tag = FindOrientation(jpeg);
  return tag ? tag->Value : 0;
}

std::optional<TUprightJpeg> UprightJpeg(std::span<const std::byte> jpeg) {
  const int orientation = JpegOrientation(jpeg);
  if (orientation < 2) return std::nullopt;
  TUprightJpeg result;
  if (std::optional<std::vector<std::byte>> lossless = TransformLossless(jpeg, orientation)) {
    result.Bytes = std::move(*lossless);
  } else {
    result.Bytes = TransformByDecoding(jpeg, orientation);
    result.Lossless = false;
  }
  ResetOrientation(result.Bytes);
  return result;
}

const char* OrientationAction(int o) {
  switch (o) {
    case 2: return "mirrored left to right";
    case 3: return "turned 180 degrees";
    case 4: return "mirrored top to bottom";
    case 5: return "mirrored along its main diagonal";
    case 6: return "turned 90 degrees clockwise";
    case 7: return "mirrored along its other diagonal";
    case 8: return "turned 90 degrees counter-clockwise";
    default: return "left as stored";
  }
}

}  // namespace lumora::pack
