// What the metafile decoders need to show Windows metafiles: rendering one, at the size
// its own header gives, into 32-bit pixels. Only a backend with a metafile player can do
// it; the program that has one hands it to the codec table (SetMetafileRenderer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora::codecs {

enum class TMetafileKind { Windows, Enhanced };

struct TMetafileLimits {
  std::int64_t MaxSide = 0;
  std::int64_t MaxPixels = 0;
};

// Pixels as 0xAARRGGBB words, rows top-down, Width * Height of them.
struct TRenderedMetafile {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Pixels;
};

class IMetafileRenderer {
 public:
  virtual ~IMetafileRenderer() = default;
  // Plays the metafile file image (a Windows metafile may start with the placeable
  // header) onto an opaque white frame of the metafile's own size. False when the data
  // is not a metafile of the kind, its frame exceeds the limits, or rendering fails.
  virtual bool Render(std::span<const std::byte> data, TMetafileKind kind, const TMetafileLimits& limits,
                      TRenderedMetafile& out) = 0;
};

}  // namespace lumora::codecs
