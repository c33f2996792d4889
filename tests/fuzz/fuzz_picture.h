// The way the player loads a picture file, for the decoder targets: the codec's header
// check on the file's first bytes, then the decoder on the bytes the check asks for.
#pragma once

#include "imaging/codecs/codec_table.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumora::fuzz {

// Where the pixel sum goes, so that reading the pixels is not optimised away.
inline volatile std::uint32_t gPixelSum = 0;

inline void LoadPicture(std::string_view extension, std::span<const std::byte> file) {
  const codecs::TCodecEntry* codec = codecs::FindCodec(extension);
  if (codec == nullptr || codec->Decode == nullptr) return;
  const std::span<const std::byte> head = file.first(std::min(file.size(), codecs::TProbeSource::kHeadSize));
  const std::optional<std::uint64_t> needed =
      codecs::ProbeFile(*codec, codecs::TProbeSource(head, file.size(), [&](std::uint64_t at, std::span<std::byte> out) {
        if (at > file.size() || out.size() > file.size() - at) return false;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
        return true;
      }));
  if (!needed) return;
  TBitmap32 bitmap;
  if (codec->Decode(file.first(static_cast<std::size_t>(*needed)), bitmap)) {
    // A decoded picture is whole: reading every pixel must be defined.
    std::uint32_t sum = 0;
    for (const TPixel p : bitmap.Pixels()) sum += p;
    gPixelSum = sum;
  }
}

}  // namespace lumora::fuzz
