// The only unit of the view that sees the painters' declarations.
#include "imaging/gradient.h"
#include "imaging/pattern.h"
#include "trpic/compose.h"

namespace lumora::detail {

void PaintGradientInto(TBitmap32& bitmap, std::int32_t fromColor, std::int32_t toColor, int direction) {
  // The painter keeps the bitmap it makes; the background takes a copy of it.
  const TBitmap32& gradient = MakeGradientBitmap(bitmap.Width(), bitmap.Height(), fromColor, toColor,
                                                 static_cast<TDirection>(direction));
  bitmap.CopyRect(0, 0, gradient, gradient.Bounds());
}

bool PaintPatternInto(TBitmap32& bitmap, std::string_view patternString, platform::IMessageBox& messageBox) {
  const TPatternPaint result = PaintPattern(bitmap, bitmap.Width(), bitmap.Height(), patternString);
  if (result == TPatternPaint::Error) messageBox.ShowMessage(PatternErrorText);
  return result == TPatternPaint::Painted;
}

void InitPatterns() { InitPatternFunctions(); }

}  // namespace lumora::detail
