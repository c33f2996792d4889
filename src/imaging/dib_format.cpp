#include "imaging/dib_format.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

namespace lumora {

namespace {

// A byte source: first a prefix already taken from the stream, then the stream (if any).
class TByteSource {
 public:
  TByteSource(std::span<const std::uint8_t> prefix, std::istream* rest) : prefix_(prefix), rest_(rest) {}

  // Up to size bytes; fewer only at the end of the data.
  std::size_t ReadSome(std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    if (pos_ < prefix_.size()) {
      done = std::min(size, prefix_.size() - pos_);
      std::memcpy(out, prefix_.data() + pos_, done);
      pos_ += done;
    }
    if (done < size && rest_) {
      rest_->read(reinterpret_cast<char*>(out + done), static_cast<std::streamsize>(size - done));
      done += static_cast<std::size_t>(rest_->gcount());
    }
    return done;
  }

  void Read(std::uint8_t* out, std::size_t size) {
    if (ReadSome(out, size) != size) throw EReadError();
  }

  // Exactly size bytes, gathered in chunks so that memory grows only with the data that
  // is really there.
  std::vector<std::uint8_t> ReadExact(std::uint64_t size) {
    constexpr std::size_t kChunk = 1u << 20;
    std::vector<std::uint8_t> data;
    while (data.size() < size) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - data.size()));
      const std::size_t old = data.size();
      data.resize(old + want);
      if (ReadSome(data.data() + old, want) != want) throw EReadError();
    }
    return data;
  }

  // Everything left.
  std::vector<std::uint8_t> ReadAll() {
    constexpr std::size_t kChunk = 1u << 16;
    std::vector<std::uint8_t> data;
    for (;;) {
      const std::size_t old = data.size();
      data.resize(old + kChunk);
      const std::size_t got = ReadSome(data.data() + old, kChunk);
      data.resize(old + got);
      if (got < kChunk) return data;
    }
  }

 private:
  std::span<const std::uint8_t> prefix_;
  std::size_t pos_ = 0;
  std::istream* rest_;
};

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
void PutLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

void Write(std::ostream& stream, const void* data, std::size_t size) {
  stream.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!stream) throw EWriteError();
}

constexpr char kWrapperTag[6] = {'D', 'I', 'B', 'C', 'M', 'P'};
constexpr std::size_t kWrapperHeader = 26;

// Width, height and pixels from a source; the bitmap is resized only once all pixels are
// in hand.
void ReadLayout(TAbstractSuperDIB& dib, TByteSource& source) {
  std::uint8_t header[4];
  source.Read(header, 4);
  const std::uint16_t w = Le16(header);
  const std::uint16_t h = Le16(header + 2);
  const std::vector<std::uint8_t> pixels = source.ReadExact(std::uint64_t(w) * h * 4);
  dib.SetSize(w, h);
  if (dib.Bits()) {
    const std::size_t bytes = std::min(pixels.size(), std::size_t(dib.Width()) * dib.Height() * 4);
    if (bytes > 0) std::memcpy(dib.Bits(), pixels.data(), bytes);
  }
  dib.Changed();
}

std::vector<std::unique_ptr<TDIBCompressor>>& CompressorList() {
  static std::vector<std::unique_ptr<TDIBCompressor>> list;
  return list;
}

TDIBCompressor*& DefaultCompressorSlot() {
  static TDIBCompressor* compressor = nullptr;
  return compressor;
}

std::vector<std::unique_ptr<TAbstractDIBFormat>>& FormatList() {
  static std::vector<std::unique_ptr<TAbstractDIBFormat>> list = [] {
    std::vector<std::unique_ptr<TAbstractDIBFormat>> formats;
    formats.push_back(std::make_unique<TDIBRSBFormat>());
    return formats;
  }();
  return list;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// One channel of an RSB pixel: the field of `bits` bits at `offset`, widened to 8 bits by
// shifting it to the top of the byte (a wider field keeps its top 8 bits). For the usual
// layouts this is exactly "shift the pixel so the field's top bit lands on bit 7 and keep
// the field's bits", and it also serves layouts whose lower fields are narrower than 8 bits.
std::uint8_t RsbChannel(std::uint32_t pixel, std::uint64_t offset, std::uint64_t bits) {
  if (bits == 0 || offset >= 16) return 0;
  const std::uint64_t width = std::min<std::uint64_t>(bits, 16);
  const std::uint32_t field = (pixel >> offset) & ((1u << width) - 1);
  return static_cast<std::uint8_t>(width >= 8 ? field >> (width - 8) : field << (8 - width));
}

}  // namespace

// ---- "Data" ------------------------------------------------------------------------------

void TAbstractSuperDIB::WriteData(std::ostream& stream) const {
  std::vector<std::uint8_t> layout;
  const std::size_t pixelBytes = bits_ ? std::size_t(width_) * height_ * 4 : 0;
  layout.reserve(4 + pixelBytes);
  PutLe16(layout, width_);
  PutLe16(layout, height_);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(bits_);
  if (bits_) layout.insert(layout.end(), bytes, bytes + pixelBytes);
  if (TDIBCompressor* compressor = DefaultDIBCompressor()) {
    std::vector<std::uint8_t> packed(layout.size());
    const std::size_t size = compressor->Compress(const_cast<TAbstractSuperDIB&>(*this), layout, packed);
    if (size > 0 && size <= packed.size()) {
      std::vector<std::uint8_t> header(kWrapperTag, kWrapperTag + 6);
      const TDIBCompressor::TIdentifier id = compressor->Identifier();
      header.insert(header.end(), id.begin(), id.end());
      PutLe32(header, static_cast<std::uint32_t>(layout.size()));
      Write(stream, header.data(), header.size());
      Write(stream, packed.data(), size);
      return;
    }
  }
  Write(stream, layout.data(), layout.size());
}

void TAbstractSuperDIB::ReadData(std::istream& stream) {
  // Only data of at least 26 bytes that starts with the tag is taken as wrapped.
  std::uint8_t prefix[kWrapperHeader];
  TByteSource head({}, &stream);
  const std::size_t got = head.ReadSome(prefix, kWrapperHeader);
  if (got == kWrapperHeader && std::memcmp(prefix, kWrapperTag, 6) == 0) {
    TDIBCompressor::TIdentifier id;
    std::memcpy(id.data(), prefix + 6, id.size());
    const std::uint32_t size = Le32(prefix + 22);
    const auto& list = DIBCompressors();
    TDIBCompressor* found = nullptr;
    for (auto it = list.rbegin(); it != list.rend() && !found; ++it)
      if ((*it)->Accepts(id)) found = it->get();
    if (!found) throw EDIBCompressError("Could not find a suitable decompressor.");
    TByteSource rest({}, &stream);
    const std::vector<std::uint8_t> packed = rest.ReadAll();
    if (size < 4) throw EReadError();
    std::vector<std::uint8_t> layout(size);
    found->Decompress(*this, id, packed, layout);
    TByteSource source(layout, nullptr);
    ReadLayout(*this, source);
    return;
  }
  TByteSource source(std::span<const std::uint8_t>(prefix, got), &stream);
  ReadLayout(*this, source);
}

// ---- registries --------------------------------------------------------------------------

const std::vector<std::unique_ptr<TDIBCompressor>>& DIBCompressors() { return CompressorList(); }

TDIBCompressor& RegisterDIBCompressor(std::unique_ptr<TDIBCompressor> compressor) {
  CompressorList().push_back(std::move(compressor));
  return *CompressorList().back();
}

void UnregisterDIBCompressor(const TDIBCompressor* compressor) {
  if (DefaultCompressorSlot() == compressor) DefaultCompressorSlot() = nullptr;
  std::erase_if(CompressorList(), [compressor](const auto& c) { return c.get() == compressor; });
}

TDIBCompressor* DefaultDIBCompressor() { return DefaultCompressorSlot(); }
void SetDefaultDIBCompressor(TDIBCompressor* compressor) { DefaultCompressorSlot() = compressor; }

const std::vector<std::unique_ptr<TAbstractDIBFormat>>& DIBFormats() { return FormatList(); }

TAbstractDIBFormat& RegisterDIBFormat(std::unique_ptr<TAbstractDIBFormat> format) {
  FormatList().push_back(std::move(format));
  return *FormatList().back();
}

// ---- formats -----------------------------------------------------------------------------

TAbstractSuperDIB& TAbstractDIBFormat::Target() const {
  if (!dib_) throw EDIBError("No effect bitmap is attached to the format.");
  return *dib_;
}

void TAbstractDIBFormat::RowDone(std::uint32_t row, std::uint32_t rows) {
  if (!OnProgress) return;
  const int percent = rows <= 1 ? 100 : static_cast<int>(std::uint64_t(row) * 100 / (rows - 1));
  OnProgress(*this, percent);
}

bool TDIBRSBFormat::IsLoadExtension(std::string_view extension) const { return SameTextAscii(extension, ".RSB"); }
bool TDIBRSBFormat::IsSaveExtension(std::string_view extension) const { return SameTextAscii(extension, ".RSB"); }

void TDIBRSBFormat::GetSaveFilter(std::vector<std::string>& filters) const {
  filters.push_back("Rogue spear bitmap (*.rsb)|*.rsb");
}

void TDIBRSBFormat::LoadFromStream(std::istream& stream) {
  TAbstractSuperDIB& dib = Target();
  TByteSource source({}, &stream);
  std::uint8_t header[28];
  source.Read(header, sizeof header);
  if (Le32(header) != 1) throw std::runtime_error("Only RSB version 1 is supported.");
  const std::uint32_t width = Le32(header + 4);
  const std::uint32_t height = Le32(header + 8);
  const std::uint64_t r = Le32(header + 12), g = Le32(header + 16), b = Le32(header + 20), a = Le32(header + 24);
  if (width > 0xFFFF || height > 0xFFFF) throw EDIBError("RSB image is larger than an effect bitmap can hold.");
  const std::vector<std::uint8_t> data = source.ReadExact(std::uint64_t(width) * height * 2);
  dib.SetSize(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
  const std::uint8_t* p = data.data();
  for (std::uint32_t y = 0; y < height; ++y) {
    TPixel* out = dib.ScanLine(static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x, p += 2) {
      const std::uint32_t v = Le16(p);
      // Alpha comes from the top A bits, so that a 4-4-4-4 file loads as it was saved.
      out[x] = MakePixel(RsbChannel(v, g + b, r), RsbChannel(v, b, g), RsbChannel(v, 0, b),
                         a > 0 ? RsbChannel(v, r + g + b, a) : 0);
    }
    RowDone(y, height);
  }
  dib.SetMasked(a > 0);
}

void TDIBRSBFormat::SaveToStream(std::ostream& stream) {
  TAbstractSuperDIB& dib = Target();
  const bool alpha = dib.Masked();
  const std::uint32_t width = dib.Bits() ? dib.Width() : 0;
  const std::uint32_t height = dib.Bits() ? dib.Height() : 0;
  std::vector<std::uint8_t> out;
  out.reserve(28 + std::size_t(width) * height * 2);
  PutLe32(out, 1);
  PutLe32(out, width);
  PutLe32(out, height);
  for (std::uint32_t count : alpha ? std::array<std::uint32_t, 4>{4, 4, 4, 4} : std::array<std::uint32_t, 4>{5, 6, 5, 0})
    PutLe32(out, count);
  for (std::uint32_t y = 0; y < height; ++y) {
    const TPixel* in = dib.ScanLine(static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t bb = PixelB(in[x]), gg = PixelG(in[x]), rr = PixelR(in[x]), aa = PixelA(in[x]);
      const std::uint32_t v = alpha ? (bb >> 4) | (gg & 0xF0) | ((rr >> 4) << 8) | ((aa >> 4) << 12)
                                    : (bb >> 3) | ((gg >> 2) << 5) | ((rr >> 3) << 11);
      PutLe16(out, v);
    }
    RowDone(y, height);
  }
  Write(stream, out.data(), out.size());
}

}  // namespace lumora
