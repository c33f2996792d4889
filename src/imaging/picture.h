// One decoded graphic of any supported format, held as a 32-bit bitmap with
// straight (not premultiplied) alpha.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/codecs/codec_table.h"

#include <cstddef>
#include <filesystem>
#include <span>

namespace lumora {

class TPicture {
 public:
  int Width() const { return bitmap_.Width(); }
  int Height() const { return bitmap_.Height(); }
  bool Empty() const { return bitmap_.Empty(); }

  TBitmap32& Bitmap() { return bitmap_; }
  const TBitmap32& Bitmap() const { return bitmap_; }

  // Loads a file; the decoder is chosen by the file's extension, without regard to case.
  // False (and the picture left as it was) when no decoder is registered for the
  // extension or the decoder rejects the file.
  bool LoadFromFile(const std::filesystem::path& path);

  // Loads a Windows bitmap file image held in memory.
  bool LoadBitmapFromMemory(std::span<const std::byte> data);

  void Clear() { bitmap_ = TBitmap32(); }

 private:
  bool Decode(codecs::TDecodeFunction decode, std::span<const std::byte> data);

  TBitmap32 bitmap_;
};

}  // namespace lumora
