#include "imaging/picture.h"

#include "imaging/codecs/codec_table.h"

#include <fstream>
#include <new>
#include <vector>

namespace lumora {

bool TPicture::LoadFromFile(const std::filesystem::path& path) {
  // UTF-8 never fails to convert, whatever the folder's name holds.
  const std::u8string extension = path.extension().u8string();
  const codecs::TCodecEntry* codec =
      codecs::FindCodec(std::string_view(reinterpret_cast<const char*>(extension.data()), extension.size()));
  if (codec == nullptr || codec->Decode == nullptr) return false;

  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  // No picture file of a show comes near this; refuse rather than allocate it.
  constexpr std::streamoff kMaxFileSize = std::streamoff(1) << 31;
  if (size < 0 || size > kMaxFileSize) return false;
  in.seekg(0, std::ios::beg);
  std::vector<std::byte> data;
  try {
    data.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) return false;

  if (codec->DecodeBeside != nullptr) {
    // The decoder needs the path as well; the same failure and allocation rules apply.
    TBitmap32 decoded;
    try {
      if (!codec->DecodeBeside(data, path, decoded)) return false;
    } catch (const std::bad_alloc&) {
      return false;
    }
    bitmap_ = std::move(decoded);
    return true;
  }
  return Decode(codec->Decode, data);
}

bool TPicture::LoadBitmapFromMemory(std::span<const std::byte> data) {
  return Decode(&codecs::DecodeWindowsBitmap, data);
}

bool TPicture::Decode(codecs::TDecodeFunction decode, std::span<const std::byte> data) {
  TBitmap32 decoded;
  try {
    if (!decode(data, decoded)) return false;
  } catch (const std::bad_alloc&) {
    // A picture within the size limit that still does not fit in memory is skipped.
    return false;
  }
  bitmap_ = std::move(decoded);
  return true;
}

}  // namespace lumora
