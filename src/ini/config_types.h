// Value types that the show configuration stores by ordinal or as key groups, shared by
// the INI readers, the configuration records and (later) the picture view: the
// enumerations, colours and fonts.
#pragma once

#include <cstdint>
#include <string>

namespace lumora {

// 00BBGGRR (red in the low byte); negative values are system colours.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);

// Names and order of the members are part of the stored format.
enum class TBgStyle : std::int32_t { bsSolid, bsGradient, bsPattern, bsPicture, bsScreen };
enum class TBgBgpStyle : std::int32_t { bpNone, bpSolid, bpGradient, bpPattern, bpScreen };
enum class TDirection : std::int32_t { bdUp, bdDown, bdLeft, bdRight, bdHorzIn, bdHorzOut, bdVertIn, bdVertOut };
enum class TBgMode : std::int32_t { bmCentered, bmStretched, bmTiled, bmSmartTiled };
enum class TPicPos : std::int32_t {
  poRandom, poCenter, poTopLeft, poTopCenter, poTopRight,
  poBottomLeft, poBottomCenter, poBottomRight, poUser, poCurrent
};
enum class TCapPos : std::int32_t {
  cpRandom, cpCenter, cpTopLeft, cpTopCenter, cpTopRight, cpBottomLeft, cpBottomCenter, cpBottomRight, cpUser
};
enum class TPicSize : std::int32_t { psOriginal, psFullWindow, psUser };
enum class TPicSizeRef : std::int32_t { psrOriginal, psrScreen };
enum class TFontPitch : std::int32_t { fpDefault, fpVariable, fpFixed };

// Number of members of each stored enumeration; ordinals 0..count-1 are valid.
constexpr std::int32_t EnumCount(TBgStyle) { return 5; }
constexpr std::int32_t EnumCount(TBgBgpStyle) { return 5; }
constexpr std::int32_t EnumCount(TDirection) { return 8; }
constexpr std::int32_t EnumCount(TBgMode) { return 4; }
constexpr std::int32_t EnumCount(TPicPos) { return 10; }
constexpr std::int32_t EnumCount(TCapPos) { return 9; }
constexpr std::int32_t EnumCount(TPicSize) { return 3; }
constexpr std::int32_t EnumCount(TPicSizeRef) { return 2; }
constexpr std::int32_t EnumCount(TFontPitch) { return 3; }

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

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace lumora
