#include "platform/win32/win32_text.h"

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
    dc_ = ::CreateCompatibleDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = font.Height == 0 ? -11 : font.Height;
    lf.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.Italic ? TRUE : FALSE;
    lf.lfUnderline = font.Underline ? TRUE : FALSE;
    lf.lfStrikeOut = font.StrikeOut ? TRUE : FALSE;
    lf.lfCharSet = static_cast<BYTE>(font.Charset);
    lf.lfQuality = ANTIALIASED_QUALITY;
    const std::wstring face = WideFromAnsi(font.Name);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    font_ = ::CreateFontIndirectW(&lf);
    old_ = ::SelectObject(dc_, font_);
  }
  ~TFontDC() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(font_);
    ::DeleteDC(dc_);
  }
  TFontDC(const TFontDC&) = delete;
  TFontDC& operator=(const TFontDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// How far the first glyph paints left of its advance (a "j"); the line starts that
// much further right, so that its cell holds that pixel too.
int LeadOf(HDC dc, const std::wstring& text) {
  ABC abc{};
  if (text.empty() || !::GetCharABCWidthsW(dc, text.front(), text.front(), &abc)) return 0;
  return abc.abcA < 0 ? -abc.abcA : 0;
}

}  // namespace

TTextExtent TWin32TextRasterizer::TextExtent(const TTextFont& font, std::string_view text) {
  TFontDC dc(font);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc.Get(), &tm);
  const std::wstring wide = WideFromAnsi(text);
  SIZE size{};
  if (wide.empty()) return {0, static_cast<int>(tm.tmHeight)};
  ::GetTextExtentPoint32W(dc.Get(), wide.c_str(), static_cast<int>(wide.size()), &size);
  // The advances leave out what the last glyph paints past its own (italics, "f"), and
  // the overhang of a slant or weight that GDI adds to a raster face.
  int overhang = static_cast<int>(tm.tmOverhang) + LeadOf(dc.Get(), wide);
  ABC abc{};
  if (::GetCharABCWidthsW(dc.Get(), wide.back(), wide.back(), &abc) && abc.abcC < 0) overhang += -abc.abcC;
  // The cell (ascent plus descent) holds the tails of the last line's glyphs.
  return {static_cast<int>(size.cx) + overhang, static_cast<int>(tm.tmHeight)};
}

void TWin32TextRasterizer::PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                                    TPixel colour) {
  const TTextExtent extent = TextExtent(font, text);
  // Only the part of the text cell inside the bitmap is copied out, drawn on and copied back.
  const int left = std::max(0, x);
  const int top = std::max(0, y);
  const int right = std::min(target.Width(), x + extent.Width + extent.Height);  // italic overhang
  const int bottom = std::min(target.Height(), y + extent.Height);
  if (right <= left || bottom <= top) return;
  const int w = right - left;
  const int h = bottom - top;

  TFontDC dc(font);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down, as TBitmap32
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(dc.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib == nullptr || bits == nullptr) return;
  HGDIOBJ oldBitmap = ::SelectObject(dc.Get(), dib);
  auto* pixels = static_cast<TPixel*>(bits);
  for (int row = 0; row < h; ++row)
    std::memcpy(pixels + static_cast<std::size_t>(row) * w, target.Row(top + row) + left, sizeof(TPixel) * w);
  ::GdiFlush();
  ::SetBkMode(dc.Get(), TRANSPARENT);
  ::SetTextColor(dc.Get(), RGB(PixelR(colour), PixelG(colour), PixelB(colour)));
  const std::wstring wide = WideFromAnsi(text);
  ::TextOutW(dc.Get(), x - left + LeadOf(dc.Get(), wide), y - top, wide.c_str(), static_cast<int>(wide.size()));
  ::GdiFlush();
  for (int row = 0; row < h; ++row) {
    TPixel* out = target.Row(top + row) + left;
    const TPixel* in = pixels + static_cast<std::size_t>(row) * w;
    // GDI leaves the alpha byte of the pixels it draws at 0; keep the bitmap's own.
    for (int col = 0; col < w; ++col) out[col] = (in[col] & 0x00FFFFFFu) | (out[col] & 0xFF000000u);
  }
  ::SelectObject(dc.Get(), oldBitmap);
  ::DeleteObject(dib);
}

}  // namespace lumora::platform
