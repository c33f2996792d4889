#include "imaging/codecs/codec_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace lumora::codecs {
namespace {

// One line per extension. A null decoder would mark a format that the show may name but
// this build cannot decode (loading such a file fails like an unlisted one); every
// format of the table is built now. Adding one is a decoder file and its name here; a
// header check (the fourth field) is optional.
constexpr std::array kTable = {
    TCodecEntry{"bmp", "Windows bitmap", &DecodeWindowsBitmap, &ProbeWindowsBitmap},
    TCodecEntry{"rle", "Run-length encoded Windows bitmap", &DecodeWindowsBitmap, &ProbeWindowsBitmap},
    TCodecEntry{"dib", "Device-independent Windows bitmap", &DecodeWindowsBitmap, &ProbeWindowsBitmap},
    TCodecEntry{"ico", "Windows icon", &DecodeWindowsIcon, &ProbeWindowsIcon},
    TCodecEntry{"wmf", "Windows metafile", &DecodeWindowsMetafile},
    TCodecEntry{"emf", "Windows enhanced metafile", &DecodeEnhancedMetafile},
    TCodecEntry{"jpg", "JPEG", &DecodeJpeg, &ProbeJpeg, nullptr, &DecodeJpegScaled, true},
    TCodecEntry{"jpe", "JPEG", &DecodeJpeg, &ProbeJpeg, nullptr, &DecodeJpegScaled, true},
    TCodecEntry{"jpeg", "JPEG", &DecodeJpeg, &ProbeJpeg, nullptr, &DecodeJpegScaled, true},
    TCodecEntry{"jfif", "JPEG", &DecodeJpeg, &ProbeJpeg, nullptr, &DecodeJpegScaled, true},
    TCodecEntry{"gif", "GIF", &DecodeGif, &ProbeGif},
    TCodecEntry{"png", "Portable Network Graphics", &DecodePng, &ProbePng},
    TCodecEntry{"tif", "TIFF", &DecodeTiff, &ProbeTiff},
    TCodecEntry{"tiff", "TIFF", &DecodeTiff, &ProbeTiff},
    TCodecEntry{"fax", "GFI fax", &DecodeTiff, &ProbeTiff},
    TCodecEntry{"tga", "Targa", &DecodeTarga, &ProbeTarga},
    TCodecEntry{"vst", "Targa", &DecodeTarga, &ProbeTarga},
    TCodecEntry{"icb", "Targa", &DecodeTarga, &ProbeTarga},
    TCodecEntry{"vda", "Targa", &DecodeTarga, &ProbeTarga},
    TCodecEntry{"win", "Targa", &DecodeTarga, &ProbeTarga},
    TCodecEntry{"pcx", "ZSoft Paintbrush", &DecodePcx, &ProbePcx},
    TCodecEntry{"pcc", "ZSoft Paintbrush", &DecodePcx, &ProbePcx},
    TCodecEntry{"scr", "ZSoft Paintbrush", &DecodePcx, &ProbePcx},
    TCodecEntry{"psd", "Photoshop", &DecodePhotoshop, &ProbePhotoshop},
    TCodecEntry{"pdd", "Photoshop", &DecodePhotoshop, &ProbePhotoshop},
    TCodecEntry{"psp", "Paintshop Pro", &DecodePaintShopPro, &ProbePaintShopPro},
    TCodecEntry{"sgi", "SGI image", &DecodeSgi, &ProbeSgi},
    TCodecEntry{"rgb", "SGI image", &DecodeSgi, &ProbeSgi},
    TCodecEntry{"rgba", "SGI image", &DecodeSgi, &ProbeSgi},
    TCodecEntry{"bw", "SGI image", &DecodeSgi, &ProbeSgi},
    TCodecEntry{"ppm", "Portable pixel map", &DecodePortableMap, &ProbePortableMap},
    TCodecEntry{"pgm", "Portable grey map", &DecodePortableMap, &ProbePortableMap},
    TCodecEntry{"pbm", "Portable bitmap", &DecodePortableMap, &ProbePortableMap},
    TCodecEntry{"pcd", "Kodak Photo-CD", &DecodePhotoCd, &ProbePhotoCd},
    TCodecEntry{"cel", "Autodesk", &DecodeAutodesk, &ProbeAutodesk},
    TCodecEntry{"pic", "Autodesk", &DecodeAutodesk, &ProbeAutodesk},
    TCodecEntry{.Extension = "cut", .Format = "Dr. Halo", .Decode = &DecodeHaloCut,
                .Probe = &ProbeHaloCut, .DecodeBeside = &DecodeHaloCutBeside},
    TCodecEntry{"rla", "Alias/Wavefront", &DecodeWavefront, &ProbeWavefront},
    TCodecEntry{"rpf", "Alias/Wavefront", &DecodeWavefront, &ProbeWavefront},
    TCodecEntry{"eps", "Encapsulated PostScript", &DecodeEncapsulatedPostScript, &ProbeEncapsulatedPostScript},
};

}  // namespace

bool TProbeSource::ReadAt(std::uint64_t offset, std::span<std::byte> out) const {
  if (offset > size_ || out.size() > size_ - offset) return false;
  if (offset <= head_.size() && out.size() <= head_.size() - offset) {
    std::copy_n(head_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  }
  return reader_ && reader_(offset, out);
}

std::optional<std::uint64_t> ProbeFile(const TCodecEntry& codec, const TProbeSource& file) {
  if (codec.Probe == nullptr) return file.Size();
  const std::optional<std::uint64_t> needed = codec.Probe(file);
  if (!needed) return std::nullopt;
  return std::min(*needed, file.Size());
}

std::span<const TCodecEntry> CodecTable() { return kTable; }

const TCodecEntry* FindCodec(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  if (extension.empty() || extension.size() > 8) return nullptr;
  std::string lower(extension);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const TCodecEntry& entry : kTable) {
    if (entry.Extension == lower) return &entry;
  }
  return nullptr;
}

bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

}  // namespace lumora::codecs
