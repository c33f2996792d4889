#include "trpic/compose.h"

#include <algorithm>

namespace lumora {
namespace {

constexpr TPixel kOpaque = 0xFF000000u;

// Straight-alpha source over an opaque destination, rounded.
TPixel BlendOver(TPixel d, TPixel s) {
  const unsigned a = PixelA(s);
  if (a == 255) return s;
  if (a == 0) return d | kOpaque;
  const auto mix = [a](unsigned dv, unsigned sv) { return static_cast<std::uint8_t>((sv * a + dv * (255 - a) + 127) / 255); };
  return MakePixel(mix(PixelR(d), PixelR(s)), mix(PixelG(d), PixelG(s)), mix(PixelB(d), PixelB(s)));
}

}  // namespace

bool HasTransparency(const TBitmap32& bitmap) {
  return std::any_of(bitmap.Pixels().begin(), bitmap.Pixels().end(), [](TPixel p) { return PixelA(p) != 255; });
}

void DrawOver(TBitmap32& dst, int x, int y, const TBitmap32& src) {
  if (!HasTransparency(src)) {
    dst.CopyRect(x, y, src, src.Bounds());
    return;
  }
  const TRect area = IntersectRect(dst.Bounds(), TRect{x, y, x + src.Width(), y + src.Height()});
  for (int row = area.Top; row < area.Bottom; ++row) {
    TPixel* out = dst.Row(row);
    const TPixel* in = src.Row(row - y);
    for (int col = area.Left; col < area.Right; ++col) out[col] = BlendOver(out[col], in[col - x]);
  }
}

void StretchOnto(TBitmap32& dst, int width, int height, const TBitmap32& src, bool srcOpaque) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  // One look at the pixels at most; a caller that knows the picture spares even that.
  const bool transparent = !srcOpaque && HasTransparency(src);
  if (dst.Width() != width || dst.Height() != height) {
    // A new bitmap of the picture's own size is the opaque picture itself.
    if (src.Width() == width && src.Height() == height && !transparent) {
      dst = src;
      return;
    }
    dst = TBitmap32(width, height);
  }
  else if (src.Empty() || transparent)
    dst.FillRect(dst.Bounds(), kWhitePixel);  // an opaque picture covers every pixel anyway
  if (dst.Empty() || src.Empty()) return;
  if (src.Width() == dst.Width() && src.Height() == dst.Height()) {
    if (!transparent)
      dst.CopyRect(0, 0, src, src.Bounds());
    else
      DrawOver(dst, 0, 0, src);
    return;
  }
  if (!transparent) {
    dst.StretchDraw(dst.Bounds(), src);
    return;
  }
  TBitmap32 stretched(dst.Width(), dst.Height());
  stretched.StretchDraw(stretched.Bounds(), src);
  DrawOver(dst, 0, 0, stretched);
}

void CopyReplacingWhite(TBitmap32& dst, int x, int y, const TBitmap32& src, TPixel replacement) {
  const TRect area = IntersectRect(dst.Bounds(), TRect{x, y, x + src.Width(), y + src.Height()});
  for (int row = area.Top; row < area.Bottom; ++row) {
    TPixel* out = dst.Row(row);
    const TPixel* in = src.Row(row - y);
    for (int col = area.Left; col < area.Right; ++col) {
      const TPixel p = in[col - x];
      out[col] = (p & 0x00FFFFFFu) == 0x00FFFFFFu ? replacement : p;
    }
  }
}

int SmartTileExtent(int area, int graphic, bool fix) {
  if (graphic <= 0) return area;
  int count = area / graphic;
  if (area % graphic > graphic / 2 || fix) ++count;
  count = std::max(count, 1);
  return std::max(area / count, 1);
}

void TileGraphic(TBitmap32& canvas, const TRect& rect, const TBitmap32* graphic, bool fixVer, bool fixHor, bool smart) {
  if (graphic == nullptr || graphic->Empty()) return;
  int areaW = rect.Width();
  int areaH = rect.Height();
  if (areaW < 1) areaW = 50;
  if (areaH < 1) areaH = 50;
  TBitmap32 tile;
  if (smart) {
    StretchOnto(tile, SmartTileExtent(areaW, graphic->Width(), fixHor), SmartTileExtent(areaH, graphic->Height(), fixVer),
                *graphic);
  } else {
    StretchOnto(tile, graphic->Width(), graphic->Height(), *graphic);
  }
  const int tileW = tile.Width();
  const int tileH = tile.Height();
  // One extra row and column cover the remainder; the canvas clips what lies outside.
  for (int r = 0; r <= areaH / tileH; ++r)
    for (int c = 0; c <= areaW / tileW; ++c) canvas.CopyRect(rect.Left + c * tileW, rect.Top + r * tileH, tile, tile.Bounds());
}

}  // namespace lumora
