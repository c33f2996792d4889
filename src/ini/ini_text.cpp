#include "ini/ini_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace lumora::ini {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = FoldCase(static_cast<unsigned char>(a[i]));
    const int cb = FoldCase(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return std::nullopt;
  if (text[i] == '$') {
    ++i;
    if (i >= text.size()) return std::nullopt;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
      const int digit = HexValue(text[i]);
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<std::uint64_t>(digit);
      if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    // Hexadecimal texts are bit patterns: $FFFFFFFF is -1.
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  std::int64_t value = 0;
  const std::size_t first = i;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 0x80000000ll) return std::nullopt;
  }
  if (i == first) return std::nullopt;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<float> ParseFloat(std::string_view text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  // Build a plain "[-]digits[.digits][e[-]digits]" text; both separators are accepted,
  // since a show written on one machine is read on machines of every region.
  std::string plain;
  plain.reserve(e - b);
  std::size_t i = b;
  if (i < e && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain.push_back('-');
    ++i;
  }
  std::size_t digits = 0;
  while (i < e && text[i] >= '0' && text[i] <= '9') {
    plain.push_back(text[i++]);
    ++digits;
  }
  if (i < e && (text[i] == '.' || text[i] == ',')) {
    plain.push_back('.');
    ++i;
    while (i < e && text[i] >= '0' && text[i] <= '9') {
      plain.push_back(text[i++]);
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    plain.push_back('e');
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) plain.push_back(text[i++]);
    std::size_t expDigits = 0;
    while (i < e && text[i] >= '0' && text[i] <= '9') {
      plain.push_back(text[i++]);
      ++expDigits;
    }
    if (expDigits == 0) return std::nullopt;
  }
  if (i != e) return std::nullopt;
  double value = 0;
  const char* first = plain.data();
  const char* last = plain.data() + plain.size();
  if (plain.front() == '.') {
    plain.insert(plain.begin(), '0');
    first = plain.data();
    last = plain.data() + plain.size();
  } else if (plain.size() > 1 && plain[0] == '-' && plain[1] == '.') {
    plain.insert(plain.begin() + 1, '0');
    first = plain.data();
    last = plain.data() + plain.size();
  }
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
    return std::nullopt;
  return static_cast<float>(value);
}

std::string FormatFloat(float value) {
  char buf[64];
  const auto [ptr, ec] =
      std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  std::string raw(buf, ptr);
  // "1.5e-07" becomes "1.5E-7", "1e+20" becomes "1E20".
  const std::size_t ePos = raw.find('e');
  if (ePos == std::string::npos) return raw;
  std::string mantissa = raw.substr(0, ePos);
  std::string exponent = raw.substr(ePos + 1);
  std::string sign;
  if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
    if (exponent[0] == '-') sign = "-";
    exponent.erase(0, 1);
  }
  while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
  return mantissa + "E" + sign + exponent;
}

std::string FormatHex8(std::int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(static_cast<std::uint32_t>(value)));
  return buf;
}

}  // namespace lumora::ini
