// Arbitrary text as a pattern string: split and read it, then paint a small bitmap,
// checking the failure rules on the way.
#include "imaging/pattern.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)SplitPatternList(text);
  TPatternSettings settings;
  const TPatternParse parsed = ParsePatternString(text, settings);

  const TBitmap32 original(3, 2, MakePixel(1, 2, 3));
  TBitmap32 bitmap = original;
  const TPatternPaint result = PaintPattern(bitmap, 19, 11, text);
  const bool painted = result == TPatternPaint::Painted;
  switch (parsed) {
    case TPatternParse::NoBar:
      if (result != TPatternPaint::NoBar || bitmap != original) std::abort();
      break;
    case TPatternParse::Malformed:
      if (result != TPatternPaint::Error || bitmap != original) std::abort();
      break;
    case TPatternParse::Ok:
      if (bitmap.Width() != 19 || bitmap.Height() != 11 || result == TPatternPaint::NoBar) std::abort();
      if (painted) {
        for (const TPixel p : bitmap.Pixels()) {
          if (PixelA(p) != 255) std::abort();
        }
      }
      break;
  }
  return 0;
}
