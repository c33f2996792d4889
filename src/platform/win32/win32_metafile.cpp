#include "platform/win32/win32_metafile.h"
#include "platform/win32/win32_ledger.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace lumora::platform {
namespace {

// Aldus placeable header in front of a Windows metafile: key, handle, bounding box in
// metafile units, units per inch, reserved word, checksum.
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::size_t kPlaceableSize = 22;

std::int16_t S16(std::span<const std::byte> d, std::size_t at) {
  return static_cast<std::int16_t>(std::to_integer<std::uint16_t>(d[at]) |
                                   (std::to_integer<std::uint16_t>(d[at + 1]) << 8));
}
std::uint32_t U32(std::span<const std::byte> d, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= std::to_integer<std::uint32_t>(d[at + i]) << (8 * i);
  return v;
}

class TEnhMetafile {
 public:
  explicit TEnhMetafile(HENHMETAFILE handle) : handle_(handle) {}
  ~TEnhMetafile() {
    if (handle_ != nullptr) DeleteEnhMetaFile(handle_);
  }
  TEnhMetafile(const TEnhMetafile&) = delete;
  TEnhMetafile& operator=(const TEnhMetafile&) = delete;
  HENHMETAFILE Get() const { return handle_; }

 private:
  HENHMETAFILE handle_;
};

class TMemoryDc {
 public:
  TMemoryDc() : dc_(counted::CreateCompatibleDC(nullptr)) {}
  ~TMemoryDc() {
    if (old_ != nullptr) SelectObject(dc_, old_);
    if (bitmap_ != nullptr) counted::DeleteObject(bitmap_);
    if (dc_ != nullptr) counted::DeleteDC(dc_);
  }
  TMemoryDc(const TMemoryDc&) = delete;
  TMemoryDc& operator=(const TMemoryDc&) = delete;
  HDC Get() const { return dc_; }
  // A top-down 32-bit DIB section selected into the DC; its bits, or null.
  std::uint32_t* SelectDib(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = counted::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ == nullptr || bits == nullptr) return nullptr;
    old_ = SelectObject(dc_, bitmap_);
    return static_cast<std::uint32_t*>(bits);
  }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

HENHMETAFILE OpenMetafile(std::span<const std::byte> data, TMetafileKind kind) {
  if (data.size() > 0x7FFFFFFF) return nullptr;
  const auto* bytes = reinterpret_cast<const BYTE*>(data.data());
  if (kind == TMetafileKind::Enhanced) return SetEnhMetaFileBits(static_cast<UINT>(data.size()), bytes);
  if (data.size() >= kPlaceableSize && U32(data, 0) == kPlaceableKey) {
    // The placeable header fixes the picture's size: bounding box over units per inch.
    const int left = S16(data, 6), top = S16(data, 8), right = S16(data, 10), bottom = S16(data, 12);
    const int inch = static_cast<std::uint16_t>(S16(data, 14));
    if (inch == 0 || right == left || bottom == top) return nullptr;
    METAFILEPICT picture{};
    picture.mm = MM_ANISOTROPIC;
    picture.xExt = MulDiv(right > left ? right - left : left - right, 2540, inch);  // hundredths of a millimetre
    picture.yExt = MulDiv(bottom > top ? bottom - top : top - bottom, 2540, inch);
    return SetWinMetaFileBits(static_cast<UINT>(data.size() - kPlaceableSize), bytes + kPlaceableSize, nullptr,
                              &picture);
  }
  return SetWinMetaFileBits(static_cast<UINT>(data.size()), bytes, nullptr, nullptr);
}

}  // namespace

bool TWin32MetafileRenderer::Render(std::span<const std::byte> data, TMetafileKind kind,
                                    const TMetafileLimits& limits, TRenderedMetafile& out) {
  try {
    TEnhMetafile metafile(OpenMetafile(data, kind));
    if (metafile.Get() == nullptr) return false;
    ENHMETAHEADER header{};
    if (GetEnhMetaFileHeader(metafile.Get(), sizeof(header), &header) == 0) return false;

    // The frame is in hundredths of a millimetre; the reference device says how many
    // pixels a millimetre held where the metafile was made.
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (header.szlMillimeters.cx > 0 && header.szlMillimeters.cy > 0) {
      width = MulDiv(header.rclFrame.right - header.rclFrame.left, header.szlDevice.cx,
                     header.szlMillimeters.cx * 100);
      height = MulDiv(header.rclFrame.bottom - header.rclFrame.top, header.szlDevice.cy,
                      header.szlMillimeters.cy * 100);
    }
    if (width <= 0 || height <= 0) {
      width = std::int64_t(header.rclBounds.right) - header.rclBounds.left + 1;
      height = std::int64_t(header.rclBounds.bottom) - header.rclBounds.top + 1;
    }
    if (width <= 0 || height <= 0 || width > limits.MaxSide || height > limits.MaxSide ||
        width * height > limits.MaxPixels) {
      return false;
    }

    TMemoryDc dc;
    if (dc.Get() == nullptr) return false;
    std::uint32_t* bits = dc.SelectDib(static_cast<int>(width), static_cast<int>(height));
    if (bits == nullptr) return false;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::memset(bits, 0xFF, count * 4);
    const RECT frame{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (!PlayEnhMetaFile(dc.Get(), metafile.Get(), &frame)) return false;
    GdiFlush();

    TRenderedMetafile rendered;
    rendered.Width = static_cast<int>(width);
    rendered.Height = static_cast<int>(height);
    rendered.Pixels.resize(count);
    // GDI leaves the fourth byte undefined; the picture is opaque.
    for (std::size_t i = 0; i < count; ++i) rendered.Pixels[i] = bits[i] | 0xFF000000u;
    out = std::move(rendered);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

IMetafileRenderer& Win32MetafileRenderer() {
  static TWin32MetafileRenderer renderer;
  return renderer;
}

}  // namespace lumora::platform
