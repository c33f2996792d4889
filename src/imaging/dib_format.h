// Byte layouts of the effect bitmap: the "Data" property (with an optional compression
// wrapper and its compressor registry) and the pluggable file formats with the 16-bit
// RSB layout.
//
// Streams are standard streams (std::istream / std::ostream, binary). A stream that ends
// early raises EReadError ("Stream read error"), a failed write EWriteError ("Stream write
// error"). Pixel data is read in chunks before the bitmap is resized, so a header that
// claims more pixels than the stream holds fails with the read error without allocating
// the claimed size, and leaves the bitmap as it was.
//
// "Data" layout, little-endian: width (2 bytes), height (2 bytes), then width x height x 4
// bytes of pixel memory exactly as held (rows bottom-up; blue, green, red, alpha).
// Compression wrapper around it: "DIBCMP", a 16-byte compressor identifier, the
// uncompressed size (4 bytes), the compressed bytes.
//
// RSB layout, little-endian 32-bit header words: version (1), width, height, red, green,
// blue and alpha bit counts; then width x height 16-bit pixels, rows top to bottom, with
// blue in the lowest bits, then green, red, and alpha in the top bits.
#pragma once

#include "imaging/dib.h"

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

class EReadError : public std::runtime_error {
 public:
  EReadError() : std::runtime_error("Stream read error") {}
};

class EWriteError : public std::runtime_error {
 public:
  EWriteError() : std::runtime_error("Stream write error") {}
};

class EDIBCompressError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- compressors ---------------------------------------------------------------------------

class TDIBCompressor {
 public:
  using TIdentifier = std::array<std::uint8_t, 16>;
  virtual ~TDIBCompressor() = default;
  virtual TIdentifier Identifier() const = 0;
  virtual bool Accepts(const TIdentifier& identifier) const = 0;
  // Compresses source into dest (as large as source); the compressed size, 0 to decline.
  virtual std::size_t Compress(TAbstractSuperDIB& dib, std::span<const std::uint8_t> source,
                               std::span<std::uint8_t> dest) = 0;
  // Fills dest (the uncompressed size) from source (the compressed bytes).
  virtual void Decompress(TAbstractSuperDIB& dib, const TIdentifier& identifier, std::span<const std::uint8_t> source,
                          std::span<std::uint8_t> dest) = 0;
};

// The process-wide compressor list (empty unless something registers one) and the default
// compressor used when writing (none unless set).
const std::vector<std::unique_ptr<TDIBCompressor>>& DIBCompressors();
TDIBCompressor& RegisterDIBCompressor(std::unique_ptr<TDIBCompressor> compressor);
void UnregisterDIBCompressor(const TDIBCompressor* compressor);
TDIBCompressor* DefaultDIBCompressor();
void SetDefaultDIBCompressor(TDIBCompressor* compressor);

// ---- file formats --------------------------------------------------------------------------

class TAbstractDIBFormat {
 public:
  using TProgressEvent = std::function<void(TAbstractDIBFormat& sender, int percent)>;

  virtual ~TAbstractDIBFormat() = default;

  // The effect bitmap loaded into or saved from; not owned.
  TAbstractSuperDIB* DIB() const { return dib_; }
  void SetDIB(TAbstractSuperDIB* dib) { dib_ = dib; }
  TProgressEvent OnProgress;

  virtual std::string Description() const = 0;
  virtual void LoadFromStream(std::istream& stream) = 0;
  virtual void SaveToStream(std::ostream& stream) = 0;
  virtual bool CanLoad() const { return true; }
  virtual bool CanSave() const { return true; }
  virtual bool IsLoadExtension(std::string_view extension) const { return false; }
  virtual bool IsSaveExtension(std::string_view extension) const { return false; }
  // Add "Description (*.ext)|*.ext" entries for open and save dialogs.
  virtual void GetLoadFilter(std::vector<std::string>& filters) const {}
  virtual void GetSaveFilter(std::vector<std::string>& filters) const {}
  virtual std::string Author() const { return {}; }
  virtual std::string Copyright() const { return {}; }
  virtual std::string Version() const { return {}; }
  virtual std::string Comments() const { return {}; }

 protected:
  // The attached bitmap; EDIBError when there is none.
  TAbstractSuperDIB& Target() const;
  // Reports row `row` of `rows` as finished: row * 100 / (rows - 1), a single row as 100.
  void RowDone(std::uint32_t row, std::uint32_t rows);

 private:
  TAbstractSuperDIB* dib_ = nullptr;
  [[maybe_unused]] std::array<std::uint8_t, 16> state_{};  // reserved format state
};

class TDIBRSBFormat : public TAbstractDIBFormat {
 public:
  std::string Description() const override { return "Rogue spear bitmap"; }
  void LoadFromStream(std::istream& stream) override;
  void SaveToStream(std::ostream& stream) override;
  bool IsLoadExtension(std::string_view extension) const override;
  bool IsSaveExtension(std::string_view extension) const override;
  void GetLoadFilter(std::vector<std::string>& filters) const override { GetSaveFilter(filters); }
  void GetSaveFilter(std::vector<std::string>& filters) const override;
};

// The process-wide format list; it holds one TDIBRSBFormat from its first use on.
const std::vector<std::unique_ptr<TAbstractDIBFormat>>& DIBFormats();
TAbstractDIBFormat& RegisterDIBFormat(std::unique_ptr<TAbstractDIBFormat> format);

}  // namespace lumora
