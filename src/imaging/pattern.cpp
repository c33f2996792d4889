#include "imaging/pattern.h"

#include <algorithm>
#include <utility>

namespace lumora {

namespace {

using i32 = std::int32_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
__extension__ using u128 = unsigned __int128;

// 32-bit two's-complement arithmetic that wraps instead of overflowing.
constexpr i32 Add(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) + static_cast<u32>(b)); }
constexpr i32 Sub(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) - static_cast<u32>(b)); }
constexpr i32 Mul(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) * static_cast<u32>(b)); }

// Remainder truncated toward zero by any divisor; false for a divisor of zero.
// The remainder of the lowest value by -1 is 0, which the hardware would trap on.
inline bool Rem(i32 a, i32 d, i32& r) {
  if (d == 0) return false;
  r = d == -1 ? 0 : a % d;
  return true;
}

// Remainder by m with the hardware divider: the reference the catalogue table uses.
struct TPlainModM {
  i32 m;
  explicit TPlainModM(std::uint8_t modulus) : m(modulus) {}
  bool Mod(i32 a, i32& r) const { return Rem(a, m, r); }
};

// Remainder by m through a multiply by a precomputed reciprocal (exact for every 32-bit
// dividend and divisor 1..255): painting takes millions of these with one divisor.
struct TFastModM {
  u32 m;
  u64 magic;
  explicit TFastModM(std::uint8_t modulus)
      : m(modulus), magic(modulus == 0 ? 0 : ~u64{0} / modulus + 1) {}  // 1 wraps to 0, giving 0
  bool Mod(i32 a, i32& r) const {
    if (m == 0) return false;
    const u32 magnitude = a < 0 ? 0u - static_cast<u32>(a) : static_cast<u32>(a);
    const u64 low = magic * magnitude;
    const auto rem = static_cast<i32>(static_cast<u32>((static_cast<u128>(low) * m) >> 64));
    r = a < 0 ? -rem : rem;
    return true;
  }
};

// The catalogue, written once for both ways of taking a remainder by m.
template <int I, typename TModM>
inline bool Eval(const TPatternSettings& s, const TModM& mm, i32 y, i32 x, i32& v) {
  const i32 m = s.M;
  i32 a = 0;
  i32 b = 0;
  if constexpr (I == 0) return mm.Mod(Mul(x, y), v);
  else if constexpr (I == 1) return mm.Mod(Add(x, y), v);
  else if constexpr (I == 2) return mm.Mod(Sub(x, y), v);
  else if constexpr (I == 3) return mm.Mod(x ^ y, v);
  else if constexpr (I == 4) return mm.Mod(x & y, v);
  else if constexpr (I == 5) { v = x & m; return true; }
  else if constexpr (I == 6) { v = y & m; return true; }
  else if constexpr (I == 7) { v = x ^ m; return true; }
  else if constexpr (I == 8) { v = y ^ m; return true; }
  else if constexpr (I == 9) return mm.Mod(x, v);
  else if constexpr (I == 10) return mm.Mod(y, v);
  else if constexpr (I == 11) { v = Mul(x, y) ^ m; return true; }
  else if constexpr (I == 12) { v = Add(x, y) ^ m; return true; }
  else if constexpr (I == 13) { v = Sub(x, y) ^ m; return true; }
  else if constexpr (I == 14) { v = Mul(x, y) & m; return true; }
  else if constexpr (I == 15) { v = Add(x, y) & m; return true; }
  else if constexpr (I == 16) { v = Sub(x, y) & m; return true; }
  else if constexpr (I == 17) { v = y; return true; }
  else if constexpr (I == 18) { v = x; return true; }
  else if constexpr (I == 19) { v = Mul(x, s.Ob); return true; }
  else if constexpr (I == 20) { v = Mul(y, s.Ob); return true; }
  else if constexpr (I == 21) { v = Mul(x, s.Og); return true; }
  else if constexpr (I == 22) { v = Mul(y, s.Og); return true; }
  else if constexpr (I == 23) { v = Mul(x, s.Or); return true; }
  else if constexpr (I == 24) { v = Mul(y, s.Or); return true; }
  else if constexpr (I == 25) return x >= m ? Rem(y, x, v) : mm.Mod(y, v);
  else if constexpr (I == 26) return y >= m ? Rem(x, y, v) : mm.Mod(x, v);
  else if constexpr (I == 27) return Rem(x, Add(y, 2), a) && Rem(a, Add(Add(x, y), 2), v);
  else if constexpr (I == 28) { if (!mm.Mod(x, a) || !mm.Mod(y, b)) return false; v = Mul(a, b); return true; }
  else if constexpr (I == 29) { if (!mm.Mod(x, a) || !mm.Mod(y, b)) return false; v = a ^ b; return true; }
  else if constexpr (I == 30) return mm.Mod(x, a) && mm.Mod(y, b) && Rem(a, Add(b, 1), v);
  else if constexpr (I == 31) { if (!mm.Mod(x, a) || !mm.Mod(y, b)) return false; v = Sub(a, b); return true; }
  else if constexpr (I == 32) { if (!mm.Mod(x, a) || !mm.Mod(y, b)) return false; v = Add(a, b); return true; }
  else if constexpr (I == 33) { if (!mm.Mod(x, a) || !mm.Mod(y, b)) return false; v = a & b; return true; }
  else if constexpr (I == 34) { if (!mm.Mod(x, a) || !mm.Mod(y, b)) return false; v = a | b; return true; }
  else if constexpr (I == 35) { v = x ^ y ^ m; return true; }
  // x itself, but the remainder is still taken, so m = 0 fails.
  else if constexpr (I == 36) { if (!mm.Mod(y, a)) return false; v = x ^ a ^ a; return true; }
  else if constexpr (I == 37) { v = Sub(x, y) ^ Add(x, y); return true; }
  else if constexpr (I == 38) { v = Mul(Sub(x, y), Add(x, y)); return true; }
  else if constexpr (I == 39) { v = Mul(Mul(x, y), Add(x, y)); return true; }
  else { static_assert(I == 40); v = Sub(x, m) ^ Add(y, m); return true; }
}

template <int I>
bool CatalogueEntry(const TPatternSettings& settings, i32 y, i32 x, i32& value) {
  return Eval<I>(settings, TPlainModM(settings.M), y, x, value);
}

// Low bytes of one channel's function along row y, for columns 0..limit-1. Returns the
// column of the first division by zero, or limit.
using TRowFunction = int (*)(const TPatternSettings& settings, const TFastModM& mm, i32 y, int limit,
                             std::uint8_t* out);

template <int I>
int ChannelRow(const TPatternSettings& settings, const TFastModM& mm, i32 y, int limit, std::uint8_t* out) {
  for (int x = 0; x < limit; ++x) {
    i32 v;
    if (!Eval<I>(settings, mm, y, x, v)) return x;
    out[x] = static_cast<std::uint8_t>(static_cast<u32>(v));
  }
  return limit;
}

template <std::size_t... I>
constexpr std::array<TPatternFunction, sizeof...(I)> MakeCatalogue(std::index_sequence<I...>) {
  return {&CatalogueEntry<static_cast<int>(I)>...};
}

template <std::size_t... I>
constexpr std::array<TRowFunction, sizeof...(I)> MakeRowFunctions(std::index_sequence<I...>) {
  return {&ChannelRow<static_cast<int>(I)>...};
}

constexpr auto RowFunctions = MakeRowFunctions(std::make_index_sequence<PatternFunctionCount>());

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

bool ValidFunction(i32 index) { return index >= 0 && index < PatternFunctionCount; }

}  // namespace

const std::array<TPatternFunction, PatternFunctionCount> PatternFunctions =
    MakeCatalogue(std::make_index_sequence<PatternFunctionCount>());

std::vector<std::string> SplitPatternList(std::string_view list, std::size_t maxItems) {
  std::vector<std::string> items;
  const std::size_t n = list.size();
  std::size_t p = 0;
  while (p < n && IsBlank(list[p])) ++p;
  while (p < n && items.size() < maxItems) {
    std::string item;
    if (list[p] == '"') {
      ++p;
      while (p < n) {
        if (list[p] == '"') {
          if (p + 1 < n && list[p + 1] == '"') {
            item += '"';
            p += 2;
          } else {
            ++p;
            break;
          }
        } else {
          item += list[p++];
        }
      }
    } else {
      const std::size_t start = p;
      while (p < n && list[p] != ',' && !IsBlank(list[p])) ++p;
      item.assign(list.substr(start, p - start));
    }
    items.push_back(std::move(item));
    while (p < n && IsBlank(list[p])) ++p;
    if (p < n && list[p] == ',') {
      ++p;
      while (p < n && IsBlank(list[p])) ++p;
    }
  }
  return items;
}

std::optional<std::int32_t> ParsePatternInteger(std::string_view item) {
  const std::size_t n = item.size();
  std::size_t p = 0;
  bool negative = false;
  if (p < n && (item[p] == '+' || item[p] == '-')) negative = item[p++] == '-';
  bool hex = false;
  if (p < n && (item[p] == '$' || item[p] == 'x' || item[p] == 'X')) {
    hex = true;
    ++p;
  } else if (p + 1 < n && item[p] == '0' && (item[p + 1] == 'x' || item[p + 1] == 'X')) {
    hex = true;
    p += 2;
  }
  if (p == n) return std::nullopt;
  // Hexadecimal may spell all 32 bits; decimal stays within the signed range.
  const u64 limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  const u64 base = hex ? 16 : 10;
  u64 value = 0;
  for (; p < n; ++p) {
    const char c = item[p];
    u64 digit;
    if (c >= '0' && c <= '9') digit = static_cast<u64>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') digit = static_cast<u64>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') digit = static_cast<u64>(c - 'A' + 10);
    else return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  u32 word = static_cast<u32>(value);
  if (negative) word = 0u - word;
  return static_cast<i32>(word);
}

TPatternParse ParsePatternString(std::string_view patternString, TPatternSettings& settings) {
  const std::size_t bar = patternString.find('|');
  if (bar == std::string_view::npos) return TPatternParse::NoBar;
  const std::vector<std::string> items = SplitPatternList(patternString.substr(bar + 1), 7);
  if (items.size() < 7) return TPatternParse::Malformed;
  std::array<i32, 7> numbers{};
  for (std::size_t i = 0; i < 7; ++i) {
    const auto number = ParsePatternInteger(items[i]);
    if (!number) return TPatternParse::Malformed;
    numbers[i] = *number;
  }
  // An index outside the catalogue selects nothing; it is refused like any other fault.
  if (!ValidFunction(numbers[0]) || !ValidFunction(numbers[1]) || !ValidFunction(numbers[2])) {
    return TPatternParse::Malformed;
  }
  const auto lowByte = [](i32 v) { return static_cast<std::uint8_t>(static_cast<u32>(v)); };
  settings = TPatternSettings{numbers[0],          numbers[1],          numbers[2],         lowByte(numbers[3]),
                              lowByte(numbers[4]), lowByte(numbers[5]), lowByte(numbers[6])};
  return TPatternParse::Ok;
}

bool PaintPatternSettings(TBitmap32& bitmap, const TPatternSettings& settings) {
  if (!ValidFunction(settings.FunctionB) || !ValidFunction(settings.FunctionG) ||
      !ValidFunction(settings.FunctionR)) {
    return false;
  }
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (width <= 0 || height <= 0) return true;
  const TFastModM mm(settings.M);
  const TRowFunction rowB = RowFunctions[static_cast<std::size_t>(settings.FunctionB)];
  const TRowFunction rowG = RowFunctions[static_cast<std::size_t>(settings.FunctionG)];
  const TRowFunction rowR = RowFunctions[static_cast<std::size_t>(settings.FunctionR)];
  const bool gSharesB = settings.FunctionG == settings.FunctionB;
  const bool rSharesB = settings.FunctionR == settings.FunctionB;
  const bool rSharesG = settings.FunctionR == settings.FunctionG;
  const auto w = static_cast<std::size_t>(width);
  std::vector<std::uint8_t> buffer(w * 3);
  std::uint8_t* const b = buffer.data();
  std::uint8_t* const g = gSharesB ? b : b + w;
  std::uint8_t* const r = rSharesB ? b : (rSharesG ? g : b + 2 * w);
  const std::uint32_t ob = settings.Ob, og = settings.Og, orr = settings.Or;
  for (int y = 0; y < height; ++y) {
    // A channel that shares its function with an earlier one reuses its bytes. The
    // channels are evaluated blue, green, red per pixel, so the first failing pixel of
    // the row is the least of their failing columns.
    int count = rowB(settings, mm, y, width, b);
    if (!gSharesB) count = rowG(settings, mm, y, count, g);
    if (!rSharesB && !rSharesG) count = rowR(settings, mm, y, count, r);
    TPixel* const out = bitmap.Row(y);
    for (int x = 0; x < count; ++x) {
      out[x] = 0xFF000000u | (((r[x] + orr) & 0xFFu) << 16) | (((g[x] + og) & 0xFFu) << 8) | ((b[x] + ob) & 0xFFu);
    }
    if (count < width) return false;
  }
  return true;
}

bool PaintPattern(TBitmap32& bitmap, int width, int height, std::string_view patternString,
                  platform::IMessageBox& messageBox) {
  TPatternSettings settings;
  switch (ParsePatternString(patternString, settings)) {
    case TPatternParse::NoBar:
      return false;
    case TPatternParse::Malformed:
      messageBox.ShowMessage(PatternErrorText);
      return false;
    case TPatternParse::Ok:
      break;
  }
  bitmap.SetSize(width, height);
  if (!PaintPatternSettings(bitmap, settings)) {
    messageBox.ShowMessage(PatternErrorText);
    return false;
  }
  return true;
}

}  // namespace lumora
