#include "imaging/picture.h"

#include "imaging/codecs/codec_table.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <new>
#include <optional>
#include <vector>

namespace lumora {
namespace {

// One look at the pixels, which drawing them would take anyway: a picture without a
// transparent pixel is drawn (and lent) as it is.
bool AllOpaque(const TBitmap32& bitmap) {
  return std::all_of(bitmap.Pixels().begin(), bitmap.Pixels().end(), [](TPixel p) { return PixelA(p) == 255; });
}

}  // namespace

bool TPicture::LoadFromFile(const std::filesystem::path& path, const codecs::TDecodeRequest& request) {
  // UTF-8 never fails to convert, whatever the folder's name holds.
  const std::u8string extension = path.extension().u8string();
  const codecs::TCodecEntry* codec =
      codecs::FindCodec(std::string_view(reinterpret_cast<const char*>(extension.data()), extension.size()));
  if (codec == nullptr || codec->Decode == nullptr) return false;

  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  const auto readAt = [&in](std::uint64_t offset, std::span<std::byte> out) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size())));
  };

  // The header decides before the file is read: a large file that is not a picture of
  // its format costs one small read, and a picture only the bytes its format needs.
  std::vector<std::byte> data;
  try {
    data.resize(static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t(size), codecs::TProbeSource::kHeadSize)));
    if (!data.empty() && !readAt(0, data)) return false;
    const std::optional<std::uint64_t> needed =
        codecs::ProbeFile(*codec, codecs::TProbeSource(data, std::uint64_t(size), readAt));
    // Refused rather than allocated.
    if (!needed || *needed > kMaxFileSize) return false;
    const std::size_t have = data.size();
    data.resize(static_cast<std::size_t>(*needed));
    if (data.size() > have && !readAt(have, std::span(data).subspan(have))) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return DecodeWith(*codec, data, &path, request);
}

bool TPicture::LoadFromMemory(std::string_view extension, std::span<const std::byte> data,
                              const codecs::TDecodeRequest& request) {
  const codecs::TCodecEntry* codec = codecs::FindCodec(extension);
  if (codec == nullptr || codec->Decode == nullptr) return false;
  // The same check as a file's, which here sees every byte; the decoder gets what it needs.
  std::optional<std::uint64_t> needed;
  try {
    needed = codecs::ProbeFile(*codec, codecs::TProbeSource(data));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!needed || *needed > kMaxFileSize) return false;
  return DecodeWith(*codec, data.first(static_cast<std::size_t>(*needed)), nullptr, request);
}

bool TPicture::DecodeWith(const codecs::TCodecEntry& codec, std::span<const std::byte> data,
                          const std::filesystem::path* path, const codecs::TDecodeRequest& request) {
  if (codec.DecodeBeside != nullptr && path != nullptr) {
    // The decoder needs the path as well; the same failure and allocation rules apply.
    TBitmap32 decoded;
    try {
      if (!codec.DecodeBeside(data, *path, decoded)) return false;
    } catch (const std::bad_alloc&) {
      return false;
    }
    bitmap_ = std::move(decoded);
    native_ = {};
    lent_ = {};
    opaque_ = AllOpaque(bitmap_);
    return true;
  }
  if (codec.DecodeScaled != nullptr && (request.ShownSize || request.DrawnSize || request.Continue || request.Visible)) {
    TBitmap32 decoded;
    codecs::TPictureSize native;
    try {
      if (!codec.DecodeScaled(data, request, decoded, native)) return false;
    } catch (const std::bad_alloc&) {
      return false;
    }
    bitmap_ = std::move(decoded);
    lent_ = {};
    native_ = native.Width == bitmap_.Width() && native.Height == bitmap_.Height() ? codecs::TPictureSize{} : native;
    opaque_ = codec.Opaque || AllOpaque(bitmap_);
    return true;
  }
  return Decode(codec.Decode, data, codec.Opaque);
}

bool TPicture::LoadBitmapFromMemory(std::span<const std::byte> data) {
  return Decode(&codecs::DecodeWindowsBitmap, data, false);
}

bool TPicture::Decode(codecs::TDecodeFunction decode, std::span<const std::byte> data, bool formatOpaque) {
  TBitmap32 decoded;
  try {
    if (!decode(data, decoded)) return false;
  } catch (const std::bad_alloc&) {
    // A picture within the size limit that still does not fit in memory is skipped.
    return false;
  }
  bitmap_ = std::move(decoded);
  native_ = {};
  lent_ = {};
  opaque_ = formatOpaque || AllOpaque(bitmap_);
  return true;
}

}  // namespace lumora
