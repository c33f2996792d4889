// The raster every picture and frame is held in: 32 bits a pixel, stored as
// blue, green, red, alpha bytes (0xAARRGGBB as a little-endian word), rows top-down
// with an explicit stride.
#pragma once

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

  friend bool operator==(const TBitmap32&, const TBitmap32&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<TPixel> pixels_;
};

}  // namespace lumora
