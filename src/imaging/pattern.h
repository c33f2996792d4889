// The pattern painter: every pixel computed from its column and row by three small
// integer functions (one per channel) taken from a catalogue of 41, plus an offset per
// channel, as described by a pattern string "name|fb,fg,fr,Ob,Og,Or,m".
#pragma once

#include "imaging/bitmap32.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

inline constexpr int PatternFunctionCount = 41;
inline constexpr std::string_view PatternErrorText = "Error in Pattern String.";
inline constexpr std::string_view DefaultPatternString = "User Define|0,0,0,1,1,1,1";

// The seven numbers of a pattern string.
struct TPatternSettings {
  std::int32_t FunctionB = 0;  // catalogue index for the blue byte, 0..40
  std::int32_t FunctionG = 0;  // ... green byte
  std::int32_t FunctionR = 0;  // ... red byte
  std::uint8_t Ob = 0;         // blue offset (also a multiplier of functions 19, 20)
  std::uint8_t Og = 0;         // green offset (functions 21, 22)
  std::uint8_t Or = 0;         // red offset (functions 23, 24)
  std::uint8_t M = 0;          // modulus or mask

  friend bool operator==(const TPatternSettings&, const TPatternSettings&) = default;
};

// One catalogue entry evaluated at row y, column x: false on a division or remainder
// by zero, otherwise value holds the 32-bit result (only its low byte is painted).
using TPatternFunction = bool (*)(const TPatternSettings& settings, std::int32_t y, std::int32_t x,
                                  std::int32_t& value);

// The catalogue in index order. Arithmetic is 32-bit two's complement and wraps around;
// remainders are truncated toward zero and take the sign of the dividend.
extern const std::array<TPatternFunction, PatternFunctionCount> PatternFunctions;

// The catalogue is constant data, so there is nothing to fill; the view calls this at
// construction and may call it any number of times.
inline void InitPatternFunctions() {}

// Splits the list after the "|" into items: blanks (codes 1..32) and commas separate
// items, a double-quoted item may hold either ("" inside stands for one quote), two
// commas in a row make an empty item and a comma at the very end adds nothing.
// maxItems stops the split early.
std::vector<std::string> SplitPatternList(std::string_view list, std::size_t maxItems = SIZE_MAX);

// A 32-bit integer item: optional sign, then decimal digits, or hexadecimal digits
// after "$", "x", "X", "0x" or "0X". Hexadecimal may spell all 32 bits (two's complement).
std::optional<std::int32_t> ParsePatternInteger(std::string_view item);

enum class TPatternParse { NoBar, Malformed, Ok };

// Reads a whole pattern string: NoBar when it has no "|", Malformed when fewer than
// seven items follow, one of the first seven is not an integer, or a function index is
// outside 0..40. Items after the seventh are ignored.
TPatternParse ParsePatternString(std::string_view patternString, TPatternSettings& settings);

enum class TPatternPaint {
  Painted,
  NoBar,  // not a pattern string: the caller says nothing
  Error,  // the caller tells the user PatternErrorText
};

// Resizes bitmap to width x height and paints the pattern into it, row by row from the
// top. Returns:
// - no "|": NoBar, the bitmap untouched;
// - a malformed list: Error, the bitmap untouched;
// - a division by zero while painting: Error; the bitmap keeps its new size and every
//   pixel before the one that failed.
// Painted pixels are opaque.
TPatternPaint PaintPattern(TBitmap32& bitmap, int width, int height, std::string_view patternString);

// Paints already-read settings; false (and no message) on a division by zero.
bool PaintPatternSettings(TBitmap32& bitmap, const TPatternSettings& settings);

}  // namespace lumora
