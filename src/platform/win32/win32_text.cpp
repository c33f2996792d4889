#include "platform/win32/win32_text.h"
#include "platform/win32/win32_ledger.h"

#include "platform/win32/win32_files.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace lumora::platform {
namespace {

// A memory device context with the font selected, released in reverse order.
class TFontDC {
 public:
  explicit TFontDC(const TTextFont& font) {
    dc_ = counted::CreateCompatibleDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = font.Height == 0 ? -11 : font.Height;
    lf.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.Italic ? TRUE : FALSE;
    lf.lfUnderline = font.Underline ? TRUE : FALSE;
    lf.lfStrikeOut = font.StrikeOut ? TRUE : FALSE;
    lf.lfCharSet = static_cast<BYTE>(font.Charset);
    lf.lfQuality = ANTIALIASED_QUALITY;
    const std::wstring face = WideFromCodePage(font.Name, CodePageOfCharset(font.Charset));
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    font_ = counted::CreateFontIndirectW(&lf);
    old_ = ::SelectObject(dc_, font_);
  }
  ~TFontDC() {
    ::SelectObject(dc_, old_);
    counted::DeleteObject(font_);
    counted::DeleteDC(dc_);
  }
  TFontDC(const TFontDC&) = delete;
  TFontDC& operator=(const TFontDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// A line as GDI paints it: its cell (ascent plus descent) and its advances, widened
// and heightened wherever its pixels fall outside them: a first glyph reaching left of
// its advance (a "j"), the last one past its own (italics, "f"), tails longer than the
// face's descent says. The pixels are found by drawing the line once with room around
// it, since the faces a system substitutes do not always keep to their metrics. Lead
// and Top are where the line's cell starts inside its extent.
struct TLineBox {
  int Lead = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

TLineBox MeasureLine(HDC dc, const std::wstring& text) {
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  TLineBox box;
  box.Height = static_cast<int>(tm.tmHeight);
  if (text.empty()) return box;
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  box.Width = static_cast<int>(size.cx);
  const int margin = std::max<int>(8, tm.tmHeight);
  const int w = box.Width + 2 * margin;
  const int h = box.Height + 2 * margin;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = counted::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib == nullptr || bits == nullptr) return box;
  HGDIOBJ old = ::SelectObject(dc, dib);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  std::fill(pixels, pixels + static_cast<std::size_t>(w) * h, 0x00FFFFFFu);
  ::GdiFlush();
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::TextOutW(dc, margin, margin, text.c_str(), static_cast<int>(text.size()));
  ::GdiFlush();
  int left = margin, right = margin + box.Width, top = margin, bottom = margin + box.Height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((pixels[static_cast<std::size_t>(y) * w + x] & 0x00FFFFFFu) != 0x00FFFFFFu) {
        left = std::min(left, x);
        right = std::max(right, x + 1);
        top = std::min(top, y);
        bottom = std::max(bottom, y + 1);
      }
  ::SelectObject(dc, old);
  counted::DeleteObject(dib);
  box.Lead = margin - left;
  box.Top = margin - top;
  box.Width = right - left;
  box.Height = bottom - top;
  return box;
}

}  // namespace

TTextExtent TWin32TextRasterizer::TextExtent(const TTextFont& font, std::string_view text) {
  TFontDC dc(font);
  const TLineBox box = MeasureLine(dc.Get(), WideFromCodePage(text, CodePageOfCharset(font.Charset)));
  return {box.Width, box.Height};
}

void TWin32TextRasterizer::PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                                    TPixel colour) {
  TFontDC dc(font);
  // The text is in the code page of the font's character set, as GDI takes narrow text.
  const std::wstring wide = WideFromCodePage(text, CodePageOfCharset(font.Charset));
  const TLineBox extent = MeasureLine(dc.Get(), wide);
  // Only the part of the text's extent inside the bitmap is copied out, drawn on and copied back.
  const int left = std::max(0, x);
  const int top = std::max(0, y);
  const int right = std::min(target.Width(), x + extent.Width + extent.Height);  // italic overhang
  const int bottom = std::min(target.Height(), y + extent.Height);
  if (right <= left || bottom <= top) return;
  const int w = right - left;
  const int h = bottom - top;

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down, as TBitmap32
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = counted::CreateDIBSection(dc.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib == nullptr || bits == nullptr) return;
  HGDIOBJ oldBitmap = ::SelectObject(dc.Get(), dib);
  auto* pixels = static_cast<TPixel*>(bits);
  for (int row = 0; row < h; ++row)
    std::memcpy(pixels + static_cast<std::size_t>(row) * w, target.Row(top + row) + left, sizeof(TPixel) * w);
  ::GdiFlush();
  ::SetBkMode(dc.Get(), TRANSPARENT);
  ::SetTextColor(dc.Get(), RGB(PixelR(colour), PixelG(colour), PixelB(colour)));
  ::TextOutW(dc.Get(), x - left + extent.Lead, y - top + extent.Top, wide.c_str(), static_cast<int>(wide.size()));
  ::GdiFlush();
  for (int row = 0; row < h; ++row) {
    TPixel* out = target.Row(top + row) + left;
    const TPixel* in = pixels + static_cast<std::size_t>(row) * w;
    // GDI leaves the alpha byte of the pixels it draws at 0; keep the bitmap's own.
    for (int col = 0; col < w; ++col) out[col] = (in[col] & 0x00FFFFFFu) | (out[col] & 0xFF000000u);
  }
  ::SelectObject(dc.Get(), oldBitmap);
  counted::DeleteObject(dib);
}

}  // namespace lumora::platform
