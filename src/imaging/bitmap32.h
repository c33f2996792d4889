// The raster every picture and frame is held in: 32 bits a pixel, stored as
// blue, green, red, alpha bytes (0xAARRGGBB as a little-endian word), rows top-down
// with an explicit stride.
#pragma once

#include "imaging/region.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>
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

namespace detail {
// The storage of a bitmap's pixels. New pixels are not cleared by the container: every
// way of sizing a bitmap fills them, except the one a decoder uses that writes every
// pixel itself. Frame-sized blocks come from large pages where the system offers them:
// touching new memory the first time costs more than decoding a picture into it.
void* AllocatePixels(std::size_t bytes);
void FreePixels(void* block, std::size_t bytes) noexcept;

template <typename T>
struct TPixelAllocator {
  using value_type = T;
  TPixelAllocator() = default;
  template <typename U>
  TPixelAllocator(const TPixelAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocatePixels(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { FreePixels(p, n * sizeof(T)); }
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... TArgs>
  void construct(U* p, TArgs&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<TArgs>(args)...);
  }
  friend bool operator==(const TPixelAllocator&, const TPixelAllocator&) { return true; }
};
}  // namespace detail

class TBitmap32 {
 public:
  // Marks the constructor whose pixels start undefined: for a decoder that writes them all.
  struct TUninitialised {};

  TBitmap32() = default;
  TBitmap32(int width, int height, TPixel fill = kWhitePixel) { SetSize(width, height, fill); }
  TBitmap32(int width, int height, TUninitialised);

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

  // Tells the bitmap that only the pixels inside keep will be read again: the memory of
  // whole pages holding none of them may go back to the system (where it can, now), and
  // such pixels read as undefined afterwards. The size stays; writing a pixel anywhere
  // takes memory again. For a large picture of which only a part is still on screen.
  void ReleaseOutside(const TRect& keep);

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
  std::vector<TPixel, detail::TPixelAllocator<TPixel>> pixels_;
};

// Stretches a picture that arrives row by row, top to bottom, onto a whole bitmap, with
// the filter and the very pixels of StretchDraw: a decoder can hand its rows over as it
// makes them and never hold the picture at its own size.
class TRowStretcher {
 public:
  // target keeps its size; every one of its pixels is written once all rows have come.
  TRowStretcher(int sourceWidth, int sourceHeight, TBitmap32& target);
  ~TRowStretcher();
  TRowStretcher(const TRowStretcher&) = delete;
  TRowStretcher& operator=(const TRowStretcher&) = delete;

  // The next row of the source: sourceWidth pixels. Rows past the last are ignored.
  void AddRow(const TPixel* row);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace lumora
