#include "imaging/codecs/codec_table.h"

#include <array>
#include <cctype>
#include <string>

namespace lumora::codecs {
namespace {

// One line per extension. A null decoder marks a format that the show may name but
// this build cannot decode yet (the legacy formats from Targa on): loading such a file
// fails like an unlisted one. Adding one is a decoder file and its name here.
constexpr std::array kTable = {
    TCodecEntry{"bmp", "Windows bitmap", &DecodeWindowsBitmap},
    TCodecEntry{"rle", "Run-length encoded Windows bitmap", &DecodeWindowsBitmap},
    TCodecEntry{"dib", "Device-independent Windows bitmap", &DecodeWindowsBitmap},
    TCodecEntry{"ico", "Windows icon", &DecodeWindowsIcon},
    TCodecEntry{"wmf", "Windows metafile", &DecodeWindowsMetafile},
    TCodecEntry{"emf", "Windows enhanced metafile", &DecodeEnhancedMetafile},
    TCodecEntry{"jpg", "JPEG", &DecodeJpeg},
    TCodecEntry{"jpe", "JPEG", &DecodeJpeg},
    TCodecEntry{"jpeg", "JPEG", &DecodeJpeg},
    TCodecEntry{"jfif", "JPEG", &DecodeJpeg},
    TCodecEntry{"gif", "GIF", &DecodeGif},
    TCodecEntry{"png", "Portable Network Graphics", &DecodePng},
    TCodecEntry{"tif", "TIFF", &DecodeTiff},
    TCodecEntry{"tiff", "TIFF", &DecodeTiff},
    TCodecEntry{"fax", "GFI fax", &DecodeTiff},
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
