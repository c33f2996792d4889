// The picture formats a show may contain, looked up by file extension.
#pragma once

#include "imaging/bitmap32.h"
#include "platform/metafile.h"

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>

namespace lumora::codecs {

// Decodes a whole file image into out; false when the data is not a picture of the
// format. A decoder never throws and never leaves out half-written on failure.
using TDecodeFunction = bool (*)(std::span<const std::byte> data, TBitmap32& out);

// For the few formats whose pictures may need a file beside them (a palette file of
// the same name): decodes like TDecodeFunction, given where the picture was read from.
using TDecodeBesideFunction = bool (*)(std::span<const std::byte> data, const std::filesystem::path& path,
                                       TBitmap32& out);

struct TCodecEntry {
  std::string_view Extension;  // lower case, without the dot
  std::string_view Format;     // what a person calls it
  TDecodeFunction Decode;      // null: a known format whose decoder is not built yet
  // Optional: used instead of Decode when the picture is loaded from a file.
  TDecodeBesideFunction DecodeBeside = nullptr;
};

// Every extension of the format table, in its order.
std::span<const TCodecEntry> CodecTable();

// The entry for an extension given with or without its dot, in any case; null when unlisted.
const TCodecEntry* FindCodec(std::string_view extension);

// Pictures larger than this fail before any large allocation.
constexpr int kMaxPictureSide = 16384;
constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 28;
bool PictureSizeAllowed(std::int64_t width, std::int64_t height);

// The decoders of the table. Each takes the whole file image.
bool DecodeWindowsBitmap(std::span<const std::byte> data, TBitmap32& out);  // ours
bool DecodeWindowsIcon(std::span<const std::byte> data, TBitmap32& out);    // ours
bool DecodeJpeg(std::span<const std::byte> data, TBitmap32& out);           // libjpeg-turbo
bool DecodeGif(std::span<const std::byte> data, TBitmap32& out);            // giflib
bool DecodePng(std::span<const std::byte> data, TBitmap32& out);            // libpng
bool DecodeTiff(std::span<const std::byte> data, TBitmap32& out);           // libtiff
bool DecodeWindowsMetafile(std::span<const std::byte> data, TBitmap32& out);   // the platform's renderer
bool DecodeEnhancedMetafile(std::span<const std::byte> data, TBitmap32& out);  // the platform's renderer
bool DecodeTarga(std::span<const std::byte> data, TBitmap32& out);             // stb_image
bool DecodePhotoshop(std::span<const std::byte> data, TBitmap32& out);         // ours
bool DecodePcx(std::span<const std::byte> data, TBitmap32& out);               // ours
bool DecodePortableMap(std::span<const std::byte> data, TBitmap32& out);       // ours
bool DecodeSgi(std::span<const std::byte> data, TBitmap32& out);               // ours
bool DecodePhotoCd(std::span<const std::byte> data, TBitmap32& out);           // ours
bool DecodeAutodesk(std::span<const std::byte> data, TBitmap32& out);          // ours
bool DecodeHaloCut(std::span<const std::byte> data, TBitmap32& out);           // ours, grey
bool DecodeHaloCutBeside(std::span<const std::byte> data, const std::filesystem::path& path,
                         TBitmap32& out);  // ours, with the palette file beside the picture
bool DecodeWavefront(std::span<const std::byte> data, TBitmap32& out);         // ours
bool DecodePaintShopPro(std::span<const std::byte> data, TBitmap32& out);      // ours
bool DecodeEncapsulatedPostScript(std::span<const std::byte> data, TBitmap32& out);  // its TIFF or metafile preview

// The backend that can play metafiles hands its renderer over at start-up (it must
// outlive every later decode); null, the default, makes every metafile fail to load.
void SetMetafileRenderer(platform::IMetafileRenderer* renderer);

}  // namespace lumora::codecs
