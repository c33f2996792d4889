// Value types the show configuration stores by ordinal, shared by the INI readers, the
// configuration records, the painters and the picture view. The names and the order of
// the members are part of the stored format.
#pragma once

#include <cstdint>

namespace lumora {

// 00BBGGRR (red in the low byte); negative values are system colours, resolved to RGB
// before they reach pixel work.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);

enum class TBgStyle : std::int32_t { bsSolid, bsGradient, bsPattern, bsPicture, bsScreen };
enum class TBgBgpStyle : std::int32_t { bpNone, bpSolid, bpGradient, bpPattern, bpScreen };
enum class TDirection : std::int32_t {
  bdUp,       // from colour at the top, to colour at the bottom
  bdDown,     // the reverse of bdUp
  bdLeft,     // from colour at the left, to colour at the right
  bdRight,    // the reverse of bdLeft
  bdHorzIn,   // from colour at the top and bottom edges, to colour along the centre line
  bdHorzOut,  // the reverse of bdHorzIn
  bdVertIn,   // from colour at the left and right edges, to colour along the centre line
  bdVertOut,  // the reverse of bdVertIn
};
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

}  // namespace lumora
