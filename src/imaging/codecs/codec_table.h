// The picture formats a show may contain, looked up by file extension.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/codecs/metafile_renderer.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
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

// A picture's width and height in pixels.
struct TPictureSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TPictureSize&, const TPictureSize&) = default;
};

// What a caller may tell a decoder besides the file.
struct TDecodeRequest {
  // Given the picture's own size, the largest size it will be drawn at. A decoder that
  // can may then hold fewer pixels, never fewer than that size on either axis. Null: the
  // whole picture.
  std::function<TPictureSize(TPictureSize native)> ShownSize;
  // Given the picture's own size, the one size it will be drawn at when that is all
  // (0 x 0 when it may be drawn at several). A decoder that can may then hold the picture
  // stretched to that size as it decodes, with the pixels a stretch of what it would
  // otherwise hold gives, so drawing it is a copy.
  std::function<TPictureSize(TPictureSize native)> DrawnSize;
  // Asked every few milliseconds of a long decode; false stops it, and the decode fails.
  std::function<bool()> Continue;
  // Given the picture's own size, the part of it (in its own pixels) that drawing it at
  // that size will ever read, for a picture that stays where it is. A decoder that can,
  // when it holds the picture at its own size, decodes only that part (and a little
  // around it): the pixels outside are never written, so their memory is mostly never
  // taken, and nothing may read them. Null, or a part that is all of it: the whole picture.
  std::function<TRect(TPictureSize native)> Visible;
};

// Decodes like TDecodeFunction, following request; native receives the picture's own
// size, which out may be smaller than.
using TDecodeScaledFunction = bool (*)(std::span<const std::byte> data, const TDecodeRequest& request, TBitmap32& out,
                                       TPictureSize& native);

// A file as a header check sees it before it is read whole: its size, its first bytes
// (all of a small file) and, where the caller can, reads of further ranges.
class TProbeSource {
 public:
  using TReader = std::function<bool(std::uint64_t offset, std::span<std::byte> out)>;
  // The first bytes a caller reads for a check (a format's header and palette fit).
  static constexpr std::size_t kHeadSize = 64 * 1024;

  TProbeSource(std::span<const std::byte> head, std::uint64_t size, TReader reader = nullptr)
      : head_(head), size_(size), reader_(std::move(reader)) {}
  // A file wholly in memory.
  explicit TProbeSource(std::span<const std::byte> data) : head_(data), size_(data.size()) {}

  std::uint64_t Size() const { return size_; }
  std::span<const std::byte> Head() const { return head_; }
  // False past the end of the file and where the bytes are not at hand (a caller that
  // has only the head); a check then assumes the file needs all of its bytes.
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) const;

 private:
  std::span<const std::byte> head_;
  std::uint64_t size_;
  TReader reader_;
};

// Looks at a file's header before the file is read. Returns how many bytes from its
// start the decoder needs (the caller reads no more; the file's size when that cannot be
// told), or nullopt when the bytes seen prove that it is not a picture of the format, or
// not one this build would show.
using TProbeFunction = std::optional<std::uint64_t> (*)(const TProbeSource& file);

struct TCodecEntry {
  std::string_view Extension;  // lower case, without the dot
  std::string_view Format;     // what a person calls it
  TDecodeFunction Decode;      // null: a known format whose decoder is not built yet
  TProbeFunction Probe = nullptr;  // null: no early check; the decoder sees the whole file
  // Optional: used instead of Decode when the picture is loaded from a file.
  TDecodeBesideFunction DecodeBeside = nullptr;
  // Optional: used instead of Decode when the caller says how large the picture will be
  // drawn or may want the decode stopped.
  TDecodeScaledFunction DecodeScaled = nullptr;
  // Every picture the decoder gives has only opaque pixels (the format has no alpha).
  bool Opaque = false;
};

// The bytes the decoder of codec needs from file (its size when the codec has no check),
// nullopt when the check refuses the file. Never more than the file holds.
std::optional<std::uint64_t> ProbeFile(const TCodecEntry& codec, const TProbeSource& file);

// Every extension of the format table, in its order.
std::span<const TCodecEntry> CodecTable();

// The entry for an extension given with or without its dot, in any case; null when unlisted.
const TCodecEntry* FindCodec(std::string_view extension);

// Pictures larger than this fail before any large allocation. The pixel limit keeps one
// picture at 256 MiB: the show holds it more than once on its way to the screen.
constexpr int kMaxPictureSide = 16384;
constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 26;
bool PictureSizeAllowed(std::int64_t width, std::int64_t height);

// The decoders of the table. Each takes the whole file image.
bool DecodeWindowsBitmap(std::span<const std::byte> data, TBitmap32& out);  // ours
bool DecodeWindowsIcon(std::span<const std::byte> data, TBitmap32& out);    // ours
bool DecodeJpeg(std::span<const std::byte> data, TBitmap32& out);           // libjpeg-turbo
// JPEG through the library's DCT scaling (1/2, 1/4, 1/8) when it is drawn at half its
// size or less and the scale divides its sides; stops when request.Continue says so.
bool DecodeJpegScaled(std::span<const std::byte> data, const TDecodeRequest& request, TBitmap32& out,
                      TPictureSize& native);
// The scale denominator (1, 2, 4 or 8) a JPEG of native size is decoded at when drawn at shown.
int JpegScaleDenominator(TPictureSize native, TPictureSize shown);
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

// The header checks of the table's decoders.
std::optional<std::uint64_t> ProbeWindowsBitmap(const TProbeSource& file);
std::optional<std::uint64_t> ProbeWindowsIcon(const TProbeSource& file);
std::optional<std::uint64_t> ProbeJpeg(const TProbeSource& file);
std::optional<std::uint64_t> ProbeGif(const TProbeSource& file);
std::optional<std::uint64_t> ProbePng(const TProbeSource& file);
std::optional<std::uint64_t> ProbeTiff(const TProbeSource& file);
std::optional<std::uint64_t> ProbeTarga(const TProbeSource& file);
std::optional<std::uint64_t> ProbePcx(const TProbeSource& file);
std::optional<std::uint64_t> ProbePhotoshop(const TProbeSource& file);
std::optional<std::uint64_t> ProbePaintShopPro(const TProbeSource& file);
std::optional<std::uint64_t> ProbeSgi(const TProbeSource& file);
std::optional<std::uint64_t> ProbePortableMap(const TProbeSource& file);
std::optional<std::uint64_t> ProbePhotoCd(const TProbeSource& file);
std::optional<std::uint64_t> ProbeAutodesk(const TProbeSource& file);
std::optional<std::uint64_t> ProbeHaloCut(const TProbeSource& file);
std::optional<std::uint64_t> ProbeWavefront(const TProbeSource& file);
std::optional<std::uint64_t> ProbeEncapsulatedPostScript(const TProbeSource& file);

// The backend that can play metafiles hands its renderer over at start-up (it must
// outlive every later decode); null, the default, makes every metafile fail to load.
void SetMetafileRenderer(IMetafileRenderer* renderer);

}  // namespace lumora::codecs
