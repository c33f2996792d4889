// The raster every picture and frame is held in: 32 bits a pixel, stored as
// blue, green, red, alpha bytes (0xAARRGGBB as a little-endian word), rows top-down
// with an explicit stride.
#pragma once

#include "imaging/region.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora {

using TPixel = std::uint32_t;

constexpr TPixel MakePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) {
  return (TPixel(a) << 24) | (TPixel(r) << 16) | (TPixel(g) << 8) | TPixel(b);
}
constexpr std::uint8_t PixelB(TPixel p) { return std::uint8_t(p); }
constexpr std::uint8_t PixelG(TPixel p) { return std::uint8_t(p >> 8); }
constexpr std::uint8_t PixelR(TPixel p) { return std::uint8_t(p >> 16); }
constexpr std::uint8_t PixelA(TPixel p) { return std::uint8_t(p >> 24); }

// A fresh bitmap canvas is white.
constexpr TPixel kWhitePixel = 0xFFFFFFFFu;

class TBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(int width, int height, TPixel fill = kWhitePixel) { SetSize(width, height, fill); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Pixels from one row to the next.
  int Stride() const { return width_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  // Resizes, keeping the pixels that stay inside; new pixels get fill.
  void SetSize(int width, int height, TPixel fill = kWhitePixel);

  TPixel* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Stride()); }
  const TPixel* Row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Stride());
  }
  TPixel& At(int x, int y) { return Row(y)[x]; }
  TPixel At(int x, int y) const { return Row(y)[x]; }

  std::span<TPixel> Pixels() { return pixels_; }
  std::span<const TPixel> Pixels() const { return pixels_; }

  TRect Bounds() const { return TRect{0, 0, width_, height_}; }

  // Drawing operations. Every one clips to both bitmaps; a source may be this bitmap
  // itself. Rectangles are half-open.

  // Sets every pixel of rect to color.
  void FillRect(const TRect& rect, TPixel color);
  // Copies srcRect of src with its top-left corner at (dstX, dstY).
  void CopyRect(int dstX, int dstY, const TBitmap32& src, const TRect& srcRect);
  // Copies src, placed with its top-left corner at (dstX, dstY), but only where clip
  // (in this bitmap's coordinates) holds the pixel.
  void CopyThroughRegion(int dstX, int dstY, const TBitmap32& src, const TRegion& clip);
  // Copies src at (dstX, dstY) except the pixels whose colour (low 24 bits) is key's.
  void DrawTransparent(int dstX, int dstY, const TBitmap32& src, TPixel key);
  // Stretches srcRect of src (first limited to src) onto dstRect. A dstRect with Left >
  // Right (or Top > Bottom) mirrors the picture horizontally (vertically) between those
  // edges. Each axis is filtered on its own: area averaging where it shrinks (every source
  // pixel counts with the share of it that the target pixel covers), bilinear where it
  // grows (target pixel centres mapped onto the source), so shrunk photos do not alias.
  // All four channels are filtered alike (straight alpha).
  void StretchDraw(const TRect& dstRect, const TBitmap32& src, const TRect& srcRect);
  void StretchDraw(const TRect& dstRect, const TBitmap32& src) { StretchDraw(dstRect, src, src.Bounds()); }

  friend bool operator==(const TBitmap32&, const TBitmap32&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<TPixel> pixels_;
};

}  // namespace lumora
