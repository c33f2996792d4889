#include "imaging/bitmap32.h"

#include <algorithm>

namespace lumora {

void TBitmap32::SetSize(int width, int height, TPixel fill) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  std::vector<TPixel> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
  const int keepW = std::min(width, width_);
  const int keepH = std::min(height, height_);
  for (int y = 0; y < keepH; ++y) {
    std::copy_n(Row(y), keepW, pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width));
  }
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
}

}  // namespace lumora
