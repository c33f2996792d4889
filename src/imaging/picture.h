// One decoded graphic of any supported format, held as a 32-bit bitmap with
// straight (not premultiplied) alpha.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/codecs/codec_table.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <utility>

namespace lumora {

class TPicture {
 public:
  // The picture's own size, which every layout rule goes by. The pixels held may be
  // fewer: a picture decoded for a smaller drawing (LoadFromFile with a shown size).
  int Width() const { return native_.Width > 0 ? native_.Width : HeldWidth(); }
  int Height() const { return native_.Height > 0 ? native_.Height : HeldHeight(); }
  bool Empty() const { return bitmap_.Empty() && !Lent(); }
  // The size of the pixels held (lent out or not).
  int HeldWidth() const { return Lent() ? lent_.Width : bitmap_.Width(); }
  int HeldHeight() const { return Lent() ? lent_.Height : bitmap_.Height(); }
  // Whether fewer pixels are held than the picture has.
  bool Reduced() const { return native_.Width > 0; }
  // Known to hold no transparent pixel: loaded by a decoder of a format that has none, or
  // found so when it was loaded. False says nothing.
  bool Opaque() const { return opaque_; }

  // The pixels held; drawing stretches them to whatever size the layout asks. Whoever
  // may change them takes away what Opaque knew.
  TBitmap32& Bitmap() {
    opaque_ = false;
    return bitmap_;
  }
  const TBitmap32& Bitmap() const { return bitmap_; }

  // Loads a file; the decoder is chosen by the file's extension, without regard to case.
  // False (and the picture left as it was) when no decoder is registered for the
  // extension or the decoder rejects the file.
  // With request: a decoder that can holds only the pixels request.ShownSize needs (or
  // the picture stretched to request.DrawnSize), and request.Continue may stop a long
  // decode (a failed load).
  bool LoadFromFile(const std::filesystem::path& path, const codecs::TDecodeRequest& request = {});

  // Loads a file image held in memory, as LoadFromFile would load it from a file with
  // that extension (given with or without its dot). A format that may read a file beside
  // the picture decodes it as though there were none.
  bool LoadFromMemory(std::string_view extension, std::span<const std::byte> data,
                      const codecs::TDecodeRequest& request = {});

  // The largest file image a picture is loaded from; no picture of a show comes near it.
  static constexpr std::uint64_t kMaxFileSize = std::uint64_t(1) << 31;

  // Loads a Windows bitmap file image held in memory.
  bool LoadBitmapFromMemory(std::span<const std::byte> data);

  // Hands the pixels over to somebody who draws them just as they are, so that they are
  // not copied. Until ReturnBitmap the picture keeps its sizes and is not empty, but
  // Bitmap() is empty and the picture is not to be copied. Assigning, loading or
  // clearing the picture ends the loan.
  TBitmap32 LendBitmap() {
    lent_ = {bitmap_.Width(), bitmap_.Height()};
    return std::move(bitmap_);
  }
  void ReturnBitmap(TBitmap32&& bitmap) {
    bitmap_ = std::move(bitmap);
    lent_ = {};
  }
  bool Lent() const { return lent_.Width > 0; }

  void Clear() {
    bitmap_ = TBitmap32();
    native_ = {};
    lent_ = {};
    opaque_ = false;
  }

 private:
  bool Decode(codecs::TDecodeFunction decode, std::span<const std::byte> data, bool formatOpaque);
  // Decodes the bytes a header check let through; path, when given, is where they were read.
  bool DecodeWith(const codecs::TCodecEntry& codec, std::span<const std::byte> data,
                  const std::filesystem::path* path, const codecs::TDecodeRequest& request);

  TBitmap32 bitmap_;
  // Set only while the held pixels are fewer than the picture's own.
  codecs::TPictureSize native_;
  // The size of the pixels lent out, while they are.
  codecs::TPictureSize lent_;
  bool opaque_ = false;
};

}  // namespace lumora
