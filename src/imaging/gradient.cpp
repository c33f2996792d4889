#include "imaging/gradient.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace lumora {

// The table is computed in x87 extended precision, which both compilers of this
// project give long double on x86-64; a 53-bit long double would change entries.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the gradient table needs 80-bit extended precision");

namespace {

int Channel(TColor color, int shift) { return static_cast<int>((static_cast<std::uint32_t>(color) >> shift) & 0xFFu); }

}  // namespace

TGradientTable BuildGradientTable(TColor startColor, TColor endColor) {
  constexpr int count = GradientBandCount;
  const int r1 = Channel(startColor, 0), g1 = Channel(startColor, 8), b1 = Channel(startColor, 16);
  const int r2 = Channel(endColor, 0), g2 = Channel(endColor, 8), b2 = Channel(endColor, 16);
  // The steps are stored as doubles; each entry is then computed from the stored
  // step in extended precision and truncated toward zero, not rounded.
  const double stepR = static_cast<double>(r2 - r1) / count;
  const double stepG = static_cast<double>(g2 - g1) / count;
  const double stepB = static_cast<double>(b2 - b1) / count;
  const auto entry = [](int i, double step, int start) {
    const long double value = static_cast<long double>(i) * static_cast<long double>(step) + static_cast<long double>(start);
    return static_cast<int>(value);  // truncation toward zero
  };
  TGradientTable table{};
  for (int i = 0; i < count; ++i) {
    const int r = entry(i, stepR, r1);
    const int g = entry(i, stepG, g1);
    const int b = entry(i, stepB, b1);
    table[static_cast<std::size_t>(i)] = r | (g << 8) | (b << 16);
  }
  return table;
}

int MirroredBandStep(int band) {
  constexpr int half = GradientBandCount / 2;  // 226 bands on each side of the centre line
  if (band < half) return 2 * band + 1;
  if (band < 2 * half) return 2 * GradientBandCount - 3 - 2 * band;  // 903 - 2i
  return 1;  // the last band has no entry of its own: match the near edge
}

namespace {

template <typename StepOf>
void FillRows(TBitmap32& bitmap, const TGradientTable& table, StepOf stepOf) {
  const int height = bitmap.Height();
  const int width = bitmap.Width();
  if (width <= 0 || height <= 0) return;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(TPixel);
  int top = 0;  // MulDiv(0, height, 453)
  for (int band = 0; band < GradientBandCount; ++band) {
    const int bottom = MulDiv(band + 1, height, GradientBandCount);
    if (bottom > top) {
      // Fill the band's first row, then copy it down the band.
      TPixel* const first = bitmap.Row(top);
      std::fill_n(first, width, PixelFromColor(table[static_cast<std::size_t>(stepOf(band))]));
      for (int y = top + 1; y < bottom; ++y) std::memcpy(bitmap.Row(y), first, rowBytes);
    }
    top = bottom;
  }
}

template <typename StepOf>
void FillColumns(TBitmap32& bitmap, const TGradientTable& table, StepOf stepOf) {
  const int height = bitmap.Height();
  const int width = bitmap.Width();
  if (width <= 0 || height <= 0) return;
  // Every row is the same: paint the first one band by band, then copy it down.
  TPixel* first = bitmap.Row(0);
  int left = 0;
  for (int band = 0; band < GradientBandCount; ++band) {
    const int right = MulDiv(band + 1, width, GradientBandCount);
    if (right > left) {
      std::fill(first + left, first + right, PixelFromColor(table[static_cast<std::size_t>(stepOf(band))]));
    }
    left = right;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(TPixel);
  for (int y = 1; y < height; ++y) std::memcpy(bitmap.Row(y), first, rowBytes);
}

int PlainStep(int band) { return band; }

}  // namespace

void FillRowBands(TBitmap32& bitmap, const TGradientTable& table) { FillRows(bitmap, table, PlainStep); }
void FillColumnBands(TBitmap32& bitmap, const TGradientTable& table) { FillColumns(bitmap, table, PlainStep); }
void FillMirroredRowBands(TBitmap32& bitmap, const TGradientTable& table) { FillRows(bitmap, table, MirroredBandStep); }
void FillMirroredColumnBands(TBitmap32& bitmap, const TGradientTable& table) {
  FillColumns(bitmap, table, MirroredBandStep);
}

void PaintGradient(TBitmap32& bitmap, int width, int height, TColor fromColor, TColor toColor,
                   TDirection direction) {
  bitmap.SetSize(width, height);
  const int d = static_cast<int>(direction);
  if (d < 0 || d >= EnumCount(TDirection{})) {
    std::fill(bitmap.Pixels().begin(), bitmap.Pixels().end(), kWhitePixel);
    return;
  }
  // Even ordinals run from the from colour, odd ones are their reverse.
  const bool reversed = (d % 2) != 0;
  const TGradientTable table = reversed ? BuildGradientTable(toColor, fromColor) : BuildGradientTable(fromColor, toColor);
  using enum TDirection;
  switch (direction) {
    case bdUp:
    case bdDown:
      FillRowBands(bitmap, table);
      break;
    case bdLeft:
    case bdRight:
      FillColumnBands(bitmap, table);
      break;
    case bdHorzIn:
    case bdHorzOut:
      FillMirroredRowBands(bitmap, table);
      break;
    default:
      FillMirroredColumnBands(bitmap, table);
      break;
  }
}

namespace {
TBitmap32 GradientBitmap;  // the last bitmap made; lives until the next call
}  // namespace

const TBitmap32& MakeGradientBitmap(int width, int height, TColor fromColor, TColor toColor,
                                    TDirection direction) {
  // A bitmap of another size is made afresh; one of the same size is repainted in place,
  // which is the same to a caller whose reference ends with this call.
  if (GradientBitmap.Width() != std::max(width, 0) || GradientBitmap.Height() != std::max(height, 0)) {
    GradientBitmap = TBitmap32();
  }
  PaintGradient(GradientBitmap, width, height, fromColor, toColor, direction);
  return GradientBitmap;
}

}  // namespace lumora
