#include "imaging/codecs/codec_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace lumora::codecs {
namespace {

// One line per extension. A null decoder marks a format that the show may name but
// this build cannot decode yet (the legacy formats from Targa on): loading such a file
// fails like an unlisted one. Adding one is a decoder file and its name here; a header
// check (the last field) is optional.
constexpr std::array kTable = {
    TCodecEntry{"bmp", "Windows bitmap", &DecodeWindowsBitmap, &ProbeWindowsBitmap},
    TCodecEntry{"rle", "Run-length encoded Windows bitmap", &DecodeWindowsBitmap, &ProbeWindowsBitmap},
    TCodecEntry{"dib", "Device-independent Windows bitmap", &DecodeWindowsBitmap, &ProbeWindowsBitmap},
    TCodecEntry{"ico", "Windows icon", &DecodeWindowsIcon, &ProbeWindowsIcon},
    TCodecEntry{"wmf", "Windows metafile", &DecodeWindowsMetafile},
    TCodecEntry{"emf", "Windows enhanced metafile", &DecodeEnhancedMetafile},
    TCodecEntry{"jpg", "JPEG", &DecodeJpeg, &ProbeJpeg},
    TCodecEntry{"jpe", "JPEG", &DecodeJpeg, &ProbeJpeg},
    TCodecEntry{"jpeg", "JPEG", &DecodeJpeg, &ProbeJpeg},
    TCodecEntry{"jfif", "JPEG", &DecodeJpeg, &ProbeJpeg},
    TCodecEntry{"gif", "GIF", &DecodeGif, &ProbeGif},
    TCodecEntry{"png", "Portable Network Graphics", &DecodePng, &ProbePng},
    TCodecEntry{"tif", "TIFF", &DecodeTiff, &ProbeTiff},
    TCodecEntry{"tiff", "TIFF", &DecodeTiff, &ProbeTiff},
    TCodecEntry{"fax", "GFI fax", &DecodeTiff, &ProbeTiff},
    TCodecEntry{"tga", "Targa", nullptr},
    TCodecEntry{"vst", "Targa", nullptr},
    TCodecEntry{"icb", "Targa", nullptr},
    TCodecEntry{"vda", "Targa", nullptr},
    TCodecEntry{"win", "Targa", nullptr},
    TCodecEntry{"pcx", "ZSoft Paintbrush", nullptr},
    TCodecEntry{"pcc", "ZSoft Paintbrush", nullptr},
    TCodecEntry{"scr", "ZSoft Paintbrush", nullptr},
    TCodecEntry{"psd", "Photoshop", nullptr},
    TCodecEntry{"pdd", "Photoshop", nullptr},
    TCodecEntry{"psp", "Paintshop Pro", nullptr},
    TCodecEntry{"sgi", "SGI image", nullptr},
    TCodecEntry{"rgb", "SGI image", nullptr},
    TCodecEntry{"rgba", "SGI image", nullptr},
    TCodecEntry{"bw", "SGI image", nullptr},
    TCodecEntry{"ppm", "Portable pixel map", nullptr},
    TCodecEntry{"pgm", "Portable grey map", nullptr},
    TCodecEntry{"pbm", "Portable bitmap", nullptr},
    TCodecEntry{"pcd", "Kodak Photo-CD", nullptr},
    TCodecEntry{"cel", "Autodesk", nullptr},
    TCodecEntry{"pic", "Autodesk", nullptr},
    TCodecEntry{"cut", "Dr. Halo", nullptr},
    TCodecEntry{"rla", "Alias/Wavefront", nullptr},
    TCodecEntry{"rpf", "Alias/Wavefront", nullptr},
    TCodecEntry{"eps", "Encapsulated PostScript", nullptr},
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
