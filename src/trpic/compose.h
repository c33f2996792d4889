// Drawing helpers of the view: pictures drawn the way a canvas draws them (transparent
// pixels blended over what lies below), tiling, and the background painters.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"
#include "platform/message_box.h"

#include <cstdint>
#include <string_view>

namespace lumora {

// Whether any pixel of the bitmap is not fully opaque.
bool HasTransparency(const TBitmap32& bitmap);

// Draws src at (x, y) over dst: opaque pixels are copied, the others blended by their
// alpha over what dst holds. The result is opaque. Clipped to dst.
void DrawOver(TBitmap32& dst, int x, int y, const TBitmap32& src);

// Makes dst width x height (reusing its memory when it has that size already), white,
// and stretch-draws src over all of it (transparent
// pixels blended over the white ground, as on a fresh canvas). The result is opaque.
// srcOpaque: the caller knows src has no transparent pixel.
void StretchOnto(TBitmap32& dst, int width, int height, const TBitmap32& src, bool srcOpaque = false);

// Copies src at (x, y) into dst with every pure white pixel (low 24 bits 0xFFFFFF)
// replaced by replacement, so that white is not taken for a transparent colour later.
void CopyReplacingWhite(TBitmap32& dst, int x, int y, const TBitmap32& src, TPixel replacement);

// Fills rect of canvas with copies of graphic (nothing for a missing or empty one). Not
// smart: the tiles are the graphic at its own size. Smart: the tile is scaled so that a
// whole number of tiles spans the area on each axis, taking the nearer count (more than
// half a tile left over gives one tile more); fixHor / fixVer force the larger count on
// their axis. The tiles are opaque (transparent pixels over white).
void TileGraphic(TBitmap32& canvas, const TRect& rect, const TBitmap32* graphic, bool fixVer, bool fixHor, bool smart);

// The tile size smart tiling picks for an area of `area` pixels and a graphic of `graphic`
// pixels on one axis.
int SmartTileExtent(int area, int graphic, bool fix);

namespace detail {

// The background painters, kept in their own unit so that the painters' declarations
// stay out of the view's headers. direction is the TDirection ordinal.
void PaintGradientInto(TBitmap32& bitmap, std::int32_t fromColor, std::int32_t toColor, int direction);
// False when the pattern string is invalid (the painter has told the user) or painting
// failed; the bitmap is then as the painter left it.
bool PaintPatternInto(TBitmap32& bitmap, std::string_view patternString, platform::IMessageBox& messageBox);
void InitPatterns();

}  // namespace detail
}  // namespace lumora
