#include "imaging/codecs/codec_table.h"

#include <array>
#include <cctype>
#include <string>

namespace lumora::codecs {
namespace {

// One line per extension. A null decoder would mark a format that the show may name but
// this build cannot decode (loading such a file fails like an unlisted one); every
// format of the table is built now. Adding one is a decoder file and its name here.
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
    TCodecEntry{"tga", "Targa", &DecodeTarga},
    TCodecEntry{"vst", "Targa", &DecodeTarga},
    TCodecEntry{"icb", "Targa", &DecodeTarga},
    TCodecEntry{"vda", "Targa", &DecodeTarga},
    TCodecEntry{"win", "Targa", &DecodeTarga},
    TCodecEntry{"pcx", "ZSoft Paintbrush", &DecodePcx},
    TCodecEntry{"pcc", "ZSoft Paintbrush", &DecodePcx},
    TCodecEntry{"scr", "ZSoft Paintbrush", &DecodePcx},
    TCodecEntry{"psd", "Photoshop", &DecodePhotoshop},
    TCodecEntry{"pdd", "Photoshop", &DecodePhotoshop},
    TCodecEntry{"psp", "Paintshop Pro", &DecodePaintShopPro},
    TCodecEntry{"sgi", "SGI image", &DecodeSgi},
    TCodecEntry{"rgb", "SGI image", &DecodeSgi},
    TCodecEntry{"rgba", "SGI image", &DecodeSgi},
    TCodecEntry{"bw", "SGI image", &DecodeSgi},
    TCodecEntry{"ppm", "Portable pixel map", &DecodePortableMap},
    TCodecEntry{"pgm", "Portable grey map", &DecodePortableMap},
    TCodecEntry{"pbm", "Portable bitmap", &DecodePortableMap},
    TCodecEntry{"pcd", "Kodak Photo-CD", &DecodePhotoCd},
    TCodecEntry{"cel", "Autodesk", &DecodeAutodesk},
    TCodecEntry{"pic", "Autodesk", &DecodeAutodesk},
    TCodecEntry{"cut", "Dr. Halo", &DecodeHaloCut, &DecodeHaloCutBeside},
    TCodecEntry{"rla", "Alias/Wavefront", &DecodeWavefront},
    TCodecEntry{"rpf", "Alias/Wavefront", &DecodeWavefront},
    TCodecEntry{"eps", "Encapsulated PostScript", &DecodeEncapsulatedPostScript},
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
