#include "trpic/trpic_types.h"

#include <array>

namespace lumora {
namespace {

// The standard Windows colour scheme, indexed by system colour number (0x00BBGGRR).
constexpr std::array<std::uint32_t, 31> kSystemColors = {
    0x00C8D0D4,  // scroll bar
    0x00A56E3A,  // background (desktop)
    0x006A240A,  // active caption
    0x00808080,  // inactive caption
    0x00C8D0D4,  // menu
    0x00FFFFFF,  // window
    0x00000000,  // window frame
    0x00000000,  // menu text
    0x00000000,  // window text
    0x00FFFFFF,  // caption text
    0x00C8D0D4,  // active border
    0x00C8D0D4,  // inactive border
    0x00808080,  // application workspace
    0x006A240A,  // highlight
    0x00FFFFFF,  // highlight text
    0x00C8D0D4,  // button face
    0x00808080,  // button shadow
    0x00808080,  // grey text
    0x00000000,  // button text
    0x00C8D0D4,  // inactive caption text
    0x00FFFFFF,  // button highlight
    0x00404040,  // 3D dark shadow
    0x00C8D0D4,  // 3D light
    0x00000000,  // info text
    0x00E1FFFF,  // info background
    0x00B5B5B5,  // (unused slot)
    0x00CC6600,  // hot light
    0x00F0CAA6,  // gradient active caption
    0x00C0C0C0,  // gradient inactive caption
    0x00FF9933,  // menu highlight
    0x00F0F0F0,  // menu bar
};

}  // namespace

TPixel PixelFromTColor(TColor color) {
  auto c = static_cast<std::uint32_t>(color);
  if (color < 0) {
    const std::uint32_t index = c & 0xFFu;
    c = index < kSystemColors.size() ? kSystemColors[index] : 0u;
  }
  return MakePixel(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                   static_cast<std::uint8_t>(c >> 16));
}

platform::TTextFont TextFontOf(const TFont& font) {
  platform::TTextFont f;
  f.Name = font.Name;
  f.Charset = font.Charset;
  f.Height = font.Height();
  f.Bold = font.Style.Bold;
  f.Italic = font.Style.Italic;
  f.Underline = font.Style.Underline;
  f.StrikeOut = font.Style.StrikeOut;
  return f;
}

}  // namespace lumora
