// Value types that the show configuration stores by ordinal or as key groups, shared by
// the INI readers, the configuration records and (later) the picture view: the
// enumerations, colours and fonts.
#pragma once

#include "base/mul_div.h"
#include "base/show_types.h"

#include <cstdint>
#include <string>

namespace lumora {

struct TFontStyles {
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  bool operator==(const TFontStyles&) const = default;
};

// A font description: face, character set, colour, pitch, styles, and a height in
// pixels that the point size is derived from through PixelsPerInch.
class TFont {
 public:
  std::string Name = "MS Shell Dlg";
  std::int32_t Charset = 1;  // the default character set
  TColor Color = clWindowText;
  TFontPitch Pitch = TFontPitch::fpDefault;
  TFontStyles Style;
  std::int32_t PixelsPerInch = 96;

  // Negative heights are character heights, positive ones cell heights.
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t height) { height_ = height; }
  // Point size: -Height * 72 / PixelsPerInch, rounded.
  std::int32_t Size() const;
  void SetSize(std::int32_t size);

  bool operator==(const TFont&) const = default;

 private:
  std::int32_t height_ = -11;  // 8 points at 96 pixels per inch
};

}  // namespace lumora
