// GIF through giflib: the first frame on the logical screen, interlaced or not, with its
// local palette or the global one; the transparent index of its graphic control
// extension becomes alpha 0. giflib reports errors by return codes, so no jump is needed.
#include "imaging/codecs/codec_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <gif_lib.h>

namespace lumora::codecs {
namespace {

struct TMemorySource {
  const GifByteType* Data;
  std::size_t Size;
  std::size_t Position;
};

int ReadFromMemory(GifFileType* gif, GifByteType* target, int count) {
  auto* source = static_cast<TMemorySource*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), source->Size - source->Position);
  std::memcpy(target, source->Data + source->Position, n);
  source->Position += n;
  return static_cast<int>(n);
}

struct TGifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// Rows of an interlaced image arrive in four passes.
constexpr std::array<int, 4> kPassStart = {0, 4, 2, 1};
constexpr std::array<int, 4> kPassStep = {8, 8, 4, 2};

}  // namespace

bool DecodeGif(std::span<const std::byte> data, TBitmap32& out) {
  TMemorySource source{reinterpret_cast<const GifByteType*>(data.data()), data.size(), 0};
  int error = 0;
  std::unique_ptr<GifFileType, TGifCloser> gif(DGifOpen(&source, ReadFromMemory, &error));
  if (!gif) return false;
  if (gif->SWidth > kMaxPictureSide || gif->SHeight > kMaxPictureSide) return false;

  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return false;
    if (record == TERMINATE_RECORD_TYPE) return false;  // no image at all
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return false;
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        GraphicsControlBlock control{};
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparent = control.TransparentColor;
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return false;
      }
      continue;
    }
    if (record == IMAGE_DESC_RECORD_TYPE) break;
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return false;

  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  // Without any palette the indexes are shown as grey levels.
  std::array<TPixel, 256> palette{};
  for (int i = 0; i < 256; ++i) {
    if (map != nullptr && i < map->ColorCount) {
      const GifColorType& c = map->Colors[i];
      palette[static_cast<std::size_t>(i)] = MakePixel(c.Red, c.Green, c.Blue);
    } else {
      palette[static_cast<std::size_t>(i)] = MakePixel(std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
    }
  }
  if (transparent >= 0 && transparent < 256) palette[static_cast<std::size_t>(transparent)] &= 0x00FFFFFFu;

  // A screen too small for its first frame grows to hold it.
  const std::int64_t width = std::max<std::int64_t>(gif->SWidth, std::int64_t(frame.Left) + frame.Width);
  const std::int64_t height = std::max<std::int64_t>(gif->SHeight, std::int64_t(frame.Top) + frame.Height);
  if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 || !PictureSizeAllowed(width, height)) {
    return false;
  }
  // The screen around the first frame shows the background colour. It is made once the
  // first row has arrived, so that a header alone never costs the whole picture.
  const int background = std::clamp(gif->SBackGroundColor, 0, 255);
  TBitmap32 bitmap;
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  int rowsRead = 0;
  const auto readRow = [&](int y) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return false;
    if (rowsRead++ == 0) {
      bitmap = TBitmap32(static_cast<int>(width), static_cast<int>(height), palette[static_cast<std::size_t>(background)]);
    }
    const int top = frame.Top + y;
    if (top < 0 || top >= bitmap.Height()) return true;
    TPixel* row = bitmap.Row(top);
    for (int x = 0; x < frame.Width; ++x) {
      const int left = frame.Left + x;
      if (left >= 0 && left < bitmap.Width()) row[left] = palette[line[static_cast<std::size_t>(x)]];
    }
    return true;
  };
  bool complete = true;
  if (frame.Interlace) {
    for (std::size_t pass = 0; pass < kPassStart.size() && complete; ++pass) {
      for (int y = kPassStart[pass]; y < frame.Height && complete; y += kPassStep[pass]) complete = readRow(y);
    }
  } else {
    for (int y = 0; y < frame.Height && complete; ++y) complete = readRow(y);
  }
  // A truncated file keeps the rows that arrived.
  if (rowsRead == 0) return false;
  out = std::move(bitmap);
  return true;
}

namespace {

// Reads a file forward through a window, so that walking many small blocks costs few reads.
class TCursor {
 public:
  explicit TCursor(const TProbeSource& file) : file_(file) {}
  // False at the end of the file or where its bytes are not at hand.
  bool Byte(std::uint64_t at, unsigned& value) {
    if (at < start_ || at >= start_ + window_.size()) {
      if (at >= file_.Size()) return false;
      window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, file_.Size() - at)));
      if (!file_.ReadAt(at, window_)) {
        window_.clear();
        return false;
      }
      start_ = at;
    }
    value = std::to_integer<unsigned>(window_[static_cast<std::size_t>(at - start_)]);
    return true;
  }
  // Skips a chain of sub-blocks (a length byte, that many bytes, up to a zero length).
  bool SkipSubBlocks(std::uint64_t& at) {
    for (unsigned length = 0;; at += length) {
      if (!Byte(at++, length)) return false;
      if (length == 0) return true;
    }
  }

 private:
  static constexpr std::size_t kWindow = 64 * 1024;
  const TProbeSource& file_;
  std::vector<std::byte> window_;
  std::uint64_t start_ = 0;
};

}  // namespace

std::optional<std::uint64_t> ProbeGif(const TProbeSource& file) {
  const std::span<const std::byte> head = file.Head();
  if (head.size() < 13 || std::memcmp(head.data(), "GIF", 3) != 0) return std::nullopt;
  const auto u8 = [&](std::size_t i) { return std::to_integer<unsigned>(head[i]); };
  // The decoder's size is the screen's, grown to hold the first frame.
  const std::int64_t screenWidth = u8(6) | (u8(7) << 8), screenHeight = u8(8) | (u8(9) << 8);
  if (!PictureSizeAllowed(std::max<std::int64_t>(screenWidth, 1), std::max<std::int64_t>(screenHeight, 1)))
    return std::nullopt;
  // Only the first frame is shown: the decoder needs the file up to the end of its data.
  // Anything unexpected is left to the decoder, which sees the whole file then.
  TCursor cursor(file);
  std::uint64_t at = 13;
  if ((u8(10) & 0x80) != 0) at += 3u << ((u8(10) & 7) + 1);
  for (;;) {
    unsigned record = 0;
    if (!cursor.Byte(at++, record)) return file.Size();
    if (record == 0x21) {
      ++at;  // the label
      if (!cursor.SkipSubBlocks(at)) return file.Size();
    } else if (record == 0x2C) {
      unsigned flags = 0;
      unsigned frame[8] = {};
      for (unsigned i = 0; i < 8; ++i)
        if (!cursor.Byte(at + i, frame[i])) return file.Size();
      if (!cursor.Byte(at + 8, flags)) return file.Size();
      const std::int64_t width = std::max<std::int64_t>(screenWidth, (frame[0] | frame[1] << 8) + (frame[4] | frame[5] << 8));
      const std::int64_t height = std::max<std::int64_t>(screenHeight, (frame[2] | frame[3] << 8) + (frame[6] | frame[7] << 8));
      if (!PictureSizeAllowed(width, height)) return std::nullopt;
      at += 9;
      if ((flags & 0x80) != 0) at += 3u << ((flags & 7) + 1);
      ++at;  // the LZW minimum code size
      if (!cursor.SkipSubBlocks(at)) return file.Size();
      return at;
    } else if (record == 0x3B) {
      return std::nullopt;  // no image at all
    } else {
      return file.Size();
    }
  }
}

}  // namespace lumora::codecs
