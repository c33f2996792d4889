// Text of the headless backend, rasterised with FreeType from the faces that fontconfig
// finds: the face named when installed, else its metric-compatible free face (Liberation,
// Carlito, Caladea), else DejaVu Sans (or a face of the script for the character sets
// of East Asia and Thai), so that renders are the same on every machine of this kind.
#pragma once

#include "platform/text.h"

#include <memory>
#include <mutex>

namespace lumora::platform {

class THeadlessTextRasterizer final : public ITextRasterizer {
 public:
  THeadlessTextRasterizer();
  ~THeadlessTextRasterizer() override;
  THeadlessTextRasterizer(const THeadlessTextRasterizer&) = delete;
  THeadlessTextRasterizer& operator=(const THeadlessTextRasterizer&) = delete;

  TTextExtent TextExtent(const TTextFont& font, std::string_view text) override;
  void PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                TPixel colour) override;

  // The file of the face a font resolves to (for tests and diagnostics).
  std::string FaceFile(const TTextFont& font);

 private:
  struct TImpl;
  // FreeType and the font configuration start at the first text, not with the
  // rasterizer: a show without captions never waits for them.
  TImpl& Impl();
  std::once_flag implOnce_;
  std::unique_ptr<TImpl> impl_;
};

// The Unicode code point of a byte of the ANSI code page (Windows-1252).
char32_t UnicodeFromAnsi(unsigned char c);
// Text in a code page (CodePageOfCharset) as code points; bytes that make no character
// become U+FFFD, a code page the machine cannot convert is taken as the ANSI one.
std::u32string UnicodeFromCodePage(std::string_view text, unsigned codePage);

}  // namespace lumora::platform
