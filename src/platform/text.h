// Text rasterising: measuring and drawing caption lines with a font.
#pragma once

#include "imaging/bitmap32.h"

#include <string>
#include <string_view>

namespace lumora::platform {

// A font as the rasteriser needs it.
struct TTextFont {
  std::string Name;  // face name; a face the machine lacks falls back to the default face
  int Charset = 1;   // character set of the text (1: the default, the ANSI code page)
  // Pixels. Negative: the character height (em size); positive: the cell height
  // (ascent + descent); 0: the default size.
  int Height = 0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TTextFont&, const TTextFont&) = default;
};

struct TTextExtent {
  int Width = 0;   // sum of the advances
  int Height = 0;  // the font's cell height, whatever the text
};

class ITextRasterizer {
 public:
  virtual ~ITextRasterizer() = default;
  // Text is in the author's ANSI code page.
  virtual TTextExtent TextExtent(const TTextFont& font, std::string_view text) = 0;
  // Draws text with the top-left corner of its cell at (x, y), anti-aliased in colour over
  // what the bitmap holds, clipped to the bitmap.
  virtual void PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                        TPixel colour) = 0;
};

}  // namespace lumora::platform
