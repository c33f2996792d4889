// Paint Shop Pro images (file versions of Paint Shop Pro 5 and later): a signature,
// the file version, then blocks ("~BK\0", an id, lengths). Later versions keep a
// composite of the whole image in a bank of composite images; we show that when it is
// there, else we merge the visible raster layers ourselves (normal blending, each
// layer's opacity and transparency mask). Channels are 8-bit planes (or packed 1- and
// 4-bit palette indexes), stored plain, run-length encoded or as zlib streams.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

#include <cstring>
#include <optional>
#include <vector>

#include <zlib.h>

namespace lumora::codecs {
namespace {

constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
constexpr std::size_t kHeaderSize = 36;  // 32 bytes of signature, major and minor version

enum : unsigned {
  kImageBlock = 0, kPaletteBlock = 2, kLayerBankBlock = 3, kLayerBlock = 4, kChannelBlock = 5,
  kCompositeBlock = 9, kCompositeBankBlock = 16, kCompositeAttributesBlock = 17, kJpegBlock = 18,
};
enum : unsigned { kNone = 0, kRle = 1, kLz77 = 2 };
enum : unsigned { kImageBitmap = 0, kTransparencyMask = 1 };

struct TBlock {
  unsigned Id = 0;
  std::size_t Body = 0;
  std::size_t End = 0;
  std::size_t Initial = 0;  // version 5 only: the length of the block's own fields
};

struct TLayerRect {
  std::int64_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  std::int64_t Width() const { return Right - Left; }
  std::int64_t Height() const { return Bottom - Top; }
};

struct TPlane {
  unsigned BitmapType = 0;
  unsigned ChannelType = 0;
  std::vector<std::uint8_t> Samples;
  std::size_t RowBytes = 0;
};

class TPspReader {
 public:
  explicit TPspReader(std::span<const std::byte> data) : r_(data) {}

  bool ReadHeader() {
    if (!r_.Has(0, kHeaderSize) || std::memcmp(r_.Bytes().data(), kSignature, sizeof kSignature - 1) != 0) {
      return false;
    }
    const unsigned major = r_.U16(32);
    if (major < 3) return false;  // before Paint Shop Pro 5
    v5_ = major == 3;
    return true;
  }

  // The block at at, which must end by limit.
  bool Block(std::size_t at, std::size_t limit, TBlock& b) const {
    const std::size_t head = v5_ ? 14 : 10;
    if (at > limit || !r_.Has(at, head) || r_.U32(at) != 0x004B427Eu) return false;  // "~BK\0"
    b.Id = r_.U16(at + 4);
    b.Initial = v5_ ? r_.U32(at + 6) : 0;
    const std::size_t total = r_.U32(at + (v5_ ? 10 : 6));
    b.Body = at + head;
    if (b.Body > limit || total > limit - b.Body) return false;
    b.End = b.Body + total;
    return true;
  }

  bool Decode(TBitmap32& out) {
    TBlock b;
    std::optional<TBitmap32> composite;
    std::vector<TBlock> layerBanks;
    for (std::size_t at = kHeaderSize; Block(at, r_.Size(), b); at = b.End) {
      if (b.Id == kImageBlock && !ReadImageAttributes(b)) return false;
      if (b.Id == kPaletteBlock) ReadPalette(b);
      if (b.Id == kLayerBankBlock) layerBanks.push_back(b);
      if (b.Id == kCompositeBankBlock && width_ > 0 && !composite) composite = ReadCompositeBank(b);
    }
    if (width_ == 0) return false;
    if (composite) {
      out = std::move(*composite);
      return true;
    }
    TBitmap32 canvas(int(width_), int(height_), 0);
    bool any = false;
    for (const TBlock& bank : layerBanks) {
      TBlock layer;
      // The layer bank has no fields of its own: its layers start at once.
      for (std::size_t at = bank.Body; Block(at, bank.End, layer); at = layer.End) {
        if (layer.Id == kLayerBlock) any |= DrawLayer(layer, canvas);
      }
    }
    if (!any) return false;
    out = std::move(canvas);
    return true;
  }

 private:
  // Where a block's fields end: version 5 says so in the block header, later versions
  // in a chunk length at the start of the fields.
  std::size_t Fields(const TBlock& b) const {
    if (v5_) return b.Initial;
    return r_.Has(b.Body, 4) ? r_.U32(b.Body) : 0;
  }

  bool ReadImageAttributes(const TBlock& b) {
    const std::size_t at = b.Body + (v5_ ? 0 : 4);
    if (!r_.Has(at, 28) || at + 28 > b.End) return false;
    width_ = static_cast<std::int32_t>(r_.U32(at));
    height_ = static_cast<std::int32_t>(r_.U32(at + 4));
    compression_ = r_.U16(at + 17);
    bits_ = r_.U16(at + 19);
    grey_ = r_.U8(at + 27) != 0;
    if (!PictureSizeAllowed(width_, height_)) return false;
    return compression_ <= kLz77 && (bits_ == 1 || bits_ == 4 || bits_ == 8 || bits_ == 24);
  }

  void ReadPalette(const TBlock& b) {
    const std::size_t countAt = b.Body + (v5_ ? 0 : 4);
    if (!r_.Has(countAt, 4)) return;
    const std::size_t count = std::min<std::size_t>(256, r_.U32(countAt));
    const std::size_t at = v5_ ? b.Body + 4 : b.Body + Fields(b);
    if (!r_.Has(at, 4 * count) || at + 4 * count > b.End) return;
    palette_.fill(MakePixel(0, 0, 0));
    for (std::size_t i = 0; i < count; ++i) {
      palette_[i] = MakePixel(r_.U8(at + 4 * i + 2), r_.U8(at + 4 * i + 1), r_.U8(at + 4 * i));
    }
    havePalette_ = true;
  }

  std::optional<TBitmap32> ReadCompositeBank(const TBlock& bank) {
    TBlock b;
    bool full = false;
    for (std::size_t at = bank.Body + Fields(bank); Block(at, bank.End, b); at = b.End) {
      if (b.Id == kCompositeAttributesBlock) {
        // Type 0 is the full composite, 1 a thumbnail; its size is the image's.
        const std::size_t f = b.Body + 4;
        full = r_.Has(f, 20) && r_.U16(f + 18) == 0 && static_cast<std::int32_t>(r_.U32(f)) == width_ &&
               static_cast<std::int32_t>(r_.U32(f + 4)) == height_ && r_.U16(f + 8) == bits_ &&
               r_.U16(f + 10) <= kLz77;
        compositeCompression_ = full ? unsigned(r_.U16(f + 10)) : unsigned(kNone);
      } else if (b.Id == kCompositeBlock && full) {
        TBitmap32 picture(int(width_), int(height_), 0);
        TBlock c;
        const unsigned saved = compression_;
        compression_ = compositeCompression_;
        std::vector<TPlane> planes;
        for (std::size_t p = b.Body + Fields(b); Block(p, b.End, c); p = c.End) {
          if (c.Id == kPaletteBlock) ReadPalette(c);
          if (c.Id == kChannelBlock) ReadChannel(c, width_, height_, planes);
        }
        compression_ = saved;
        if (Draw(planes, TLayerRect{0, 0, width_, height_}, 255, picture)) return picture;
        full = false;
      } else if (b.Id == kJpegBlock && full) {
        // A JPEG composite: its fields, then a JFIF stream to the end of the block.
        const std::size_t jpeg = b.Body + Fields(b);
        TBitmap32 picture;
        if (jpeg < b.End && DecodeJpeg(r_.Bytes().subspan(jpeg, b.End - jpeg), picture)) return picture;
      }
    }
    return std::nullopt;
  }

  bool DrawLayer(const TBlock& layer, TBitmap32& canvas) {
    std::size_t at = layer.Body;
    if (!v5_) {
      if (!r_.Has(at, 6)) return false;
      at += 6 + r_.U16(at + 4);  // chunk length, then the name
    } else {
      at += 256;
    }
    if (!r_.Has(at, 36)) return false;
    const auto rect = [&](std::size_t p) {
      return TLayerRect{static_cast<std::int32_t>(r_.U32(p)), static_cast<std::int32_t>(r_.U32(p + 4)),
                   static_cast<std::int32_t>(r_.U32(p + 8)), static_cast<std::int32_t>(r_.U32(p + 12))};
    };
    const TLayerRect saved = rect(at + 17);
    const unsigned opacity = r_.U8(at + 33);
    const bool visible = (r_.U8(at + 35) & 1) != 0;
    if (!visible || saved.Width() <= 0 || saved.Height() <= 0) return false;
    if (!PictureSizeAllowed(saved.Width(), saved.Height())) return false;

    // Later versions follow the layer's fields with a chunk of bitmap and channel counts.
    std::size_t channels = layer.Body + Fields(layer);
    if (!v5_) {
      if (!r_.Has(channels, 4)) return false;
      channels += r_.U32(channels);
    }
    std::vector<TPlane> planes;
    TBlock c;
    for (std::size_t p = channels; Block(p, layer.End, c); p = c.End) {
      if (c.Id == kChannelBlock) ReadChannel(c, saved.Width(), saved.Height(), planes);
    }
    return Draw(planes, saved, opacity, canvas);
  }

  // Reads one channel's samples into planes; damaged channels are left out.
  void ReadChannel(const TBlock& b, std::int64_t width, std::int64_t height, std::vector<TPlane>& planes) {
    const std::size_t f = b.Body + (v5_ ? 0 : 4);
    if (!r_.Has(f, 12)) return;
    const std::size_t packed = r_.U32(f), unpacked = r_.U32(f + 4);
    TPlane plane;
    plane.BitmapType = r_.U16(f + 8);
    plane.ChannelType = r_.U16(f + 10);
    if (plane.BitmapType != kImageBitmap && plane.BitmapType != kTransparencyMask) return;
    const unsigned bits = plane.BitmapType == kImageBitmap && bits_ < 8 ? bits_ : 8;
    // Rows are padded to four bytes in some writers' files and not in others'.
    const std::size_t tight = (std::size_t(width) * bits + 7) / 8, padded = (tight + 3) & ~std::size_t(3);
    plane.RowBytes = unpacked == padded * std::size_t(height) ? padded : tight;
    if (unpacked != plane.RowBytes * std::size_t(height)) return;
    const std::size_t at = b.Body + Fields(b);
    if (!r_.Has(at, packed) || at + packed > b.End) return;
    // The bytes present must be able to make the declared size.
    if ((compression_ == kNone && packed < unpacked) || (compression_ == kRle && packed * 64 < unpacked) ||
        (compression_ == kLz77 && packed * 1032 < unpacked)) {
      return;
    }
    if (!Unpack(r_.Bytes().subspan(at, packed), unpacked, plane.Samples)) return;
    planes.push_back(std::move(plane));
  }

  bool Unpack(std::span<const std::byte> in, std::size_t size, std::vector<std::uint8_t>& out) const {
    out.assign(size, 0);
    if (compression_ == kNone) {
      std::memcpy(out.data(), in.data(), size);
      return true;
    }
    if (compression_ == kLz77) {
      uLongf length = static_cast<uLongf>(size);
      // A stream cut short still leaves what it inflated.
      const int result = uncompress(out.data(), &length, reinterpret_cast<const Bytef*>(in.data()),
                                    static_cast<uLong>(in.size()));
      return result == Z_OK || result == Z_BUF_ERROR || result == Z_DATA_ERROR;
    }
    // Runs: a byte above 128 repeats the next byte that many times less 128; any other
    // byte is followed by that many literal bytes.
    const TByteReader r(in);
    std::size_t at = 0, x = 0;
    while (at < r.Size() && x < size) {
      const unsigned c = r.U8(at++);
      if (c > 128) {
        if (at >= r.Size()) break;
        const std::uint8_t v = r.U8(at++);
        for (unsigned i = 0; i < c - 128 && x < size; ++i) out[x++] = v;
      } else {
        for (unsigned i = 0; i < c && at < r.Size() && x < size; ++i) out[x++] = r.U8(at++);
      }
    }
    return true;
  }

  // Blends the planes of one layer (its rectangle in image coordinates) onto canvas.
  bool Draw(const std::vector<TPlane>& planes, const TLayerRect& rect, unsigned opacity, TBitmap32& canvas) const {
    const TPlane* colour[4] = {};
    const TPlane* mask = nullptr;
    for (const TPlane& p : planes) {
      if (p.BitmapType == kTransparencyMask) mask = &p;
      else if (p.ChannelType < 4) colour[p.ChannelType] = &p;
    }
    const bool rgb = bits_ == 24;
    if (rgb ? !(colour[1] && colour[2] && colour[3]) : !colour[0]) return false;
    const TPalette256 greys = GreyPalette(1u << std::min(bits_, 8u));
    const TPalette256& palette = havePalette_ && !grey_ ? palette_ : greys;
    for (std::int64_t y = std::max<std::int64_t>(0, rect.Top); y < std::min<std::int64_t>(height_, rect.Bottom); ++y) {
      TPixel* row = canvas.Row(int(y));
      const std::size_t sy = std::size_t(y - rect.Top);
      for (std::int64_t x = std::max<std::int64_t>(0, rect.Left); x < std::min<std::int64_t>(width_, rect.Right); ++x) {
        const std::size_t sx = std::size_t(x - rect.Left);
        const auto sample = [&](const TPlane& p) { return p.Samples[sy * p.RowBytes + sx]; };
        TPixel s;
        if (rgb) {
          s = MakePixel(sample(*colour[1]), sample(*colour[2]), sample(*colour[3]));
        } else {
          const std::uint8_t byte = colour[0]->Samples[sy * colour[0]->RowBytes + sx * bits_ / 8];
          const unsigned index = bits_ == 8 ? byte : (byte >> (8 - bits_ - (sx * bits_) % 8)) & ((1u << bits_) - 1);
          s = palette[index];
        }
        const unsigned a = (mask ? sample(*mask) : 255u) * opacity / 255;
        row[x] = Over(s & 0xFFFFFFu, a, row[x]);
      }
    }
    return true;
  }

  // Straight-alpha "source over destination".
  static TPixel Over(TPixel colour, unsigned a, TPixel dst) {
    if (a == 255) return colour | 0xFF000000u;
    if (a == 0) return dst;
    const unsigned da = PixelA(dst) * (255 - a) / 255, oa = a + da;
    const auto mix = [&](unsigned s, unsigned d) { return std::uint8_t((s * a + d * da + oa / 2) / oa); };
    return MakePixel(mix(PixelR(colour), PixelR(dst)), mix(PixelG(colour), PixelG(dst)), mix(PixelB(colour), PixelB(dst)),
                     std::uint8_t(oa));
  }

  TByteReader r_;
  bool v5_ = false;
  std::int64_t width_ = 0, height_ = 0;
  unsigned compression_ = kNone, compositeCompression_ = kNone, bits_ = 0;
  bool grey_ = false;
  TPalette256 palette_{};
  bool havePalette_ = false;
};

}  // namespace

bool DecodePaintShopPro(std::span<const std::byte> data, TBitmap32& out) {
  TPspReader reader(data);
  return reader.ReadHeader() && reader.Decode(out);
}

}  // namespace lumora::codecs
