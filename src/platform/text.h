// Text rasterising: measuring and drawing caption lines with a font.
#pragma once

#include "imaging/bitmap32.h"

#include <string>
#include <string_view>

namespace lumora::platform {

// A font as the rasteriser needs it.
struct TTextFont {
  std::string Name;  // face name; a face the machine lacks falls back to the default face
  int Charset = 1;   // character set of the text (1: the default, the ANSI code page); see CodePageOfCharset
  // Pixels. Negative: the character height (em size); positive: the cell height
  // (ascent + descent); 0: the default size.
  int Height = 0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TTextFont&, const TTextFont&) = default;
};

// The code page that text for a font of a character set is written in, as Windows
// converts it: 0 the system's ANSI code page (the default character set, and any the
// table does not know), 1 the OEM code page, 42 the symbol code page.
constexpr unsigned CodePageOfCharset(int charset) {
  switch (charset) {
    case 0: return 1252;     // ANSI (Western)
    case 2: return 42;       // symbol
    case 77: return 10000;   // Macintosh
    case 128: return 932;    // Shift-JIS
    case 129: return 949;    // Hangeul
    case 130: return 1361;   // Johab
    case 134: return 936;    // GB2312
    case 136: return 950;    // Big5
    case 161: return 1253;   // Greek
    case 162: return 1254;   // Turkish
    case 163: return 1258;   // Vietnamese
    case 177: return 1255;   // Hebrew
    case 178: return 1256;   // Arabic
    case 186: return 1257;   // Baltic
    case 204: return 1251;   // Russian
    case 222: return 874;    // Thai
    case 238: return 1250;   // Eastern Europe
    case 255: return 1;      // OEM
    default: return 0;       // the default character set
  }
}

struct TTextExtent {
  int Width = 0;   // sum of the advances
  int Height = 0;  // the font's cell height, whatever the text
};

class ITextRasterizer {
 public:
  virtual ~ITextRasterizer() = default;
  // Text is in the code page of the font's character set (CodePageOfCharset).
  virtual TTextExtent TextExtent(const TTextFont& font, std::string_view text) = 0;
  // Draws text with the top-left corner of its cell at (x, y), anti-aliased in colour over
  // what the bitmap holds, clipped to the bitmap.
  virtual void PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                        TPixel colour) = 0;
};

}  // namespace lumora::platform
