// JPEG files made in memory for tests, and a photo-like picture to make them from.
#pragma once

#include "imaging/bitmap32.h"
#include "support/test_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace lumora::test {

// Baseline (or progressive) 4:2:0 JPEG of an opaque bitmap.
inline TBytes EncodeJpeg(const TBitmap32& picture, int quality = 90, bool progressive = false) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.Width());
  info.image_height = static_cast<JDIMENSION>(picture.Height());
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<TPixel*>(picture.Row(static_cast<int>(info.next_scanline))));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  TBytes out(reinterpret_cast<const std::byte*>(buffer), reinterpret_cast<const std::byte*>(buffer) + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

// Broad gradients, rings, hard edges and a little noise: about what a photograph gives
// an encoder and a scaler.
inline TBitmap32 PhotoLikePicture(int width, int height) {
  TBitmap32 b(width, height);
  unsigned noise = 12345;
  for (int y = 0; y < height; ++y) {
    TPixel* row = b.Row(y);
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const double fx = double(x) / width, fy = double(y) / height;
      const double ring = std::sin(std::hypot(fx - 0.6, fy - 0.4) * 40.0);
      const int n = int((noise >> 16) % 9) - 4;
      const bool edge = (x / (width / 6) + y / (height / 4)) % 2 == 0;
      const auto clamp = [](double v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
      row[x] = MakePixel(clamp(60 + 150 * fx + 30 * ring + n + (edge ? 25 : 0)), clamp(40 + 120 * fy + 20 * ring + n),
                         clamp(200 - 140 * fx * fy + n - (edge ? 30 : 0)));
    }
  }
  return b;
}

}  // namespace lumora::test
