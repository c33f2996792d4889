// The two-colour background gradient: 453 flat colour bands, whatever the size of
// the bitmap, in one of eight directions.
#pragma once

#include "base/mul_div.h"
#include "base/show_types.h"
#include "imaging/bitmap32.h"

#include <array>
#include <cstdint>

namespace lumora {

// Pixel word of a colour: the same red, green and blue, fully opaque.
constexpr TPixel PixelFromColor(TColor color) {
  const auto c = static_cast<std::uint32_t>(color);
  return MakePixel(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                   static_cast<std::uint8_t>(c >> 16));
}

// Both the number of table entries and the number of bands drawn.
inline constexpr int GradientBandCount = 453;

using TGradientTable = std::array<TColor, GradientBandCount>;

// Entry i = start + i/453 of the difference, per channel, truncated toward zero:
// entry 0 is the start colour, entry 452 stops one short of a rising end value.
TGradientTable BuildGradientTable(TColor startColor, TColor endColor);

// Band i covers [MulDiv(i, extent, 453), MulDiv(i + 1, extent, 453)) of the bitmap's
// height (row bands) or width (column bands).
void FillRowBands(TBitmap32& bitmap, const TGradientTable& table);
void FillColumnBands(TBitmap32& bitmap, const TGradientTable& table);
// Mirrored: bands 0..225 take steps 1, 3, ..., 451, bands 226..451 come back down to
// step 1, and the last band repeats step 1 so that both edges match.
void FillMirroredRowBands(TBitmap32& bitmap, const TGradientTable& table);
void FillMirroredColumnBands(TBitmap32& bitmap, const TGradientTable& table);

// The table step that mirrored band i (0..452) uses.
int MirroredBandStep(int band);

// Resizes bitmap to width x height and paints the gradient into it, reusing its
// storage. A direction outside bdUp..bdVertOut leaves it white, as a fresh bitmap is.
void PaintGradient(TBitmap32& bitmap, int width, int height, TColor fromColor, TColor toColor,
                   TDirection direction);

// The painter's own bitmap, made anew at every call: the reference stays valid until
// the next call, and the caller copies the image out. UI thread only.
const TBitmap32& MakeGradientBitmap(int width, int height, TColor fromColor, TColor toColor,
                                    TDirection direction);

}  // namespace lumora
