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

struct TCodecEntry {
  std::string_view Extension;  // lower case, without the dot
  std::string_view Format;     // what a person calls it
  TDecodeFunction Decode;      // null: a known format whose decoder is not built yet
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

// The backend that can play metafiles hands its renderer over at start-up (it must
// outlive every later decode); null, the default, makes every metafile fail to load.
void SetMetafileRenderer(platform::IMetafileRenderer* renderer);

}  // namespace lumora::codecs
