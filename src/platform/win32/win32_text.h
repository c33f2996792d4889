// Text of the Windows backend: GDI fonts and TextOut into a DIB section.
#pragma once

#include "platform/text.h"

namespace lumora::platform {

class TWin32TextRasterizer final : public ITextRasterizer {
 public:
  TTextExtent TextExtent(const TTextFont& font, std::string_view text) override;
  void PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                TPixel colour) override;
};

}  // namespace lumora::platform
