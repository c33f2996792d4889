#include "platform/win32/win32_desktop_capture.h"
#include "platform/win32/win32_ledger.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lumora::platform {

bool TWin32DesktopCapture::CaptureDesktop(TBitmap32& target, int width, int height) {
  target = TBitmap32(std::max(width, 0), std::max(height, 0), 0xFF000000u);
  if (target.Empty()) return true;
  HDC screen = counted::GetDC(nullptr);
  if (screen == nullptr) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = counted::CreateCompatibleDC(screen);
  HBITMAP section = counted::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (memory != nullptr && section != nullptr && bits != nullptr) {
    HGDIOBJ previous = ::SelectObject(memory, section);
    ok = ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != FALSE;
    ::GdiFlush();
    if (ok) {
      const auto* in = static_cast<const std::uint32_t*>(bits);
      for (int y = 0; y < height; ++y) {
        TPixel* out = target.Row(y);
        for (int x = 0; x < width; ++x) out[x] = in[static_cast<std::size_t>(y) * width + x] | 0xFF000000u;
      }
    }
    ::SelectObject(memory, previous);
  }
  if (section != nullptr) counted::DeleteObject(section);
  if (memory != nullptr) counted::DeleteDC(memory);
  counted::ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace lumora::platform
