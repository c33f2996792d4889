// Text rules of the INI family: letter-case folding, the split of file text into
// lines, and the conversions between stored texts and numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::ini {

// Lines, keys, read values and file names are bounded to 255 characters.
constexpr std::size_t kMaxLineLength = 255;
constexpr char kCtrlZ = '\x1A';

// Folds letter case for the Western code page: ASCII letters and the accented letters
// of the upper half.
inline unsigned char FoldCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c < 0x80) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

bool SameText(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, case-insensitively.
int CompareText(std::string_view a, std::string_view b);

// Splits file text into lines: a CR ends a line (an LF right after it is part of the
// line end), a lone LF is an ordinary character, each line keeps its first 255
// characters, and the first Ctrl-Z ends the text. Empty lines are passed on too;
// wasCut tells that characters were dropped from that line.
template <class TOnLine>
void SplitIniText(std::string_view text, TOnLine&& onLine) {
  std::size_t pos = 0;
  const std::size_t end = text.size();
  while (pos < end) {
    std::size_t stop = pos;
    while (stop < end && text[stop] != '\r' && text[stop] != kCtrlZ) ++stop;
    const std::size_t length = stop - pos;
    const bool cut = length > kMaxLineLength;
    onLine(text.substr(pos, cut ? kMaxLineLength : length), cut);
    if (stop >= end || text[stop] == kCtrlZ) return;
    pos = stop + 1;
    if (pos < end && text[pos] == '\n') ++pos;
  }
}

// A stored integer: leading blanks, an optional sign, then decimal digits or "$" and
// hexadecimal digits (taken as a 32-bit pattern), and nothing after.
std::optional<std::int32_t> ParseInteger(std::string_view text);
// A stored real: blanks around, a sign, digits with "." or "," as the decimal separator,
// an optional exponent; nullopt when it is not a number or outside the 32-bit range.
std::optional<float> ParseFloat(std::string_view text);
// General format with up to 15 significant digits and "." as the decimal separator,
// e.g. "100.765304565430", "0.5", "1E20".
std::string FormatFloat(float value);
// Eight upper-case hexadecimal digits.
std::string FormatHex8(std::int32_t value);

}  // namespace lumora::ini
