#include "imaging/pattern.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <numeric>
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

// Copies out[0, period) forward until out[0, count) is filled, doubling the copied
// span each time; valid because every span copied is a whole number of periods long.
template <typename T>
void Replicate(T* out, std::size_t period, std::size_t count) {
  std::size_t have = period;
  while (have < count) {
    const std::size_t chunk = std::min(have, count - have);
    std::memcpy(out + have, out, chunk * sizeof(T));
    have += chunk;
  }
}

// Low bytes of function I for columns [from, to) of row y; returns the column of the
// first division by zero, or to.
template <int I>
int EvalRange(const TPatternSettings& settings, const TFastModM& mm, i32 y, int from, int to, std::uint8_t* out) {
  for (int x = from; x < to; ++x) {
    i32 v;
    if (!Eval<I>(settings, mm, y, x, v)) return x;
    out[x] = static_cast<std::uint8_t>(static_cast<u32>(v));
  }
  return to;
}

// Columns [from, to) of a stretch that repeats every period columns: only the first
// period is computed.
template <int I>
int EvalPeriodic(const TPatternSettings& settings, const TFastModM& mm, i32 y, int from, int to, int period,
                 std::uint8_t* out) {
  if (period <= 0 || period >= to - from) return EvalRange<I>(settings, mm, y, from, to, out);
  const int done = EvalRange<I>(settings, mm, y, from, from + period, out);
  if (done < from + period) return done;
  Replicate(out + from, static_cast<std::size_t>(period), static_cast<std::size_t>(to - from));
  return to;
}

// The period along a row (in columns) of the low byte of function I, or 0 when it has
// none that helps. Only the low byte is painted, and the low byte of a wrapped sum,
// difference, product or bitwise combination depends only on the low bytes of its
// operands: such functions repeat every 256 columns. Remainders by m repeat every m
// columns while their operands neither wrap nor change sign.
template <int I>
int RowPeriod(const TPatternSettings& s, i32 y, int width) {
  const int m = s.M;
  const std::int64_t lastX = width - 1;
  constexpr std::int64_t maxI32 = INT32_MAX;
  if constexpr (I == 6 || I == 8 || I == 10 || I == 17 || I == 20 || I == 22 || I == 24) {
    return 1;
  } else if constexpr (I == 0) {
    return lastX * y <= maxI32 ? m : 0;
  } else if constexpr (I == 1) {
    return lastX + y <= maxI32 ? m : 0;
  } else if constexpr (I == 9 || (I >= 28 && I <= 34)) {
    return m;
  } else if constexpr (I == 26) {
    return y >= m ? y : m;  // x mod y, otherwise x mod m
  } else if constexpr (I == 27) {
    // x mod (y + 2) is at most y + 1, below x + y + 2, so the outer remainder keeps it.
    return lastX + y + 2 <= maxI32 ? static_cast<int>(std::min<std::int64_t>(std::int64_t{y} + 2, maxI32)) : 0;
  } else if constexpr (I == 4) {
    // x and y only looks at the columns' bits that y has.
    return y >= 0 ? static_cast<int>(std::min<std::uint64_t>(std::bit_ceil(static_cast<std::uint64_t>(y) + 1), INT32_MAX)) : 0;
  } else if constexpr (I == 2 || I == 3 || I == 25) {
    return 0;
  } else {
    return 256;
  }
}

// Low bytes of one channel's function along row y, for columns 0..limit-1, and the
// row's period (0: none). Returns the column of the first division by zero, or limit.
using TRowFunction = int (*)(const TPatternSettings& settings, const TFastModM& mm, i32 y, int limit,
                             std::uint8_t* out, int& period);

template <int I>
int ChannelRow(const TPatternSettings& settings, const TFastModM& mm, i32 y, int limit, std::uint8_t* out,
               int& period) {
  const int m = settings.M;
  period = 0;
  if constexpr (I == 2) {
    // Negative left of the diagonal, non-negative from it on: each side repeats every m.
    const int diagonal = std::min(std::max(y, 0), limit);
    const int done = EvalPeriodic<I>(settings, mm, y, 0, diagonal, m, out);
    if (done < diagonal) return done;
    return EvalPeriodic<I>(settings, mm, y, diagonal, limit, m, out);
  } else if constexpr (I == 25) {
    if (m == 0 || y < 0) return EvalRange<I>(settings, mm, y, 0, limit, out);
    // Left of m: y mod m throughout. From m to y: y mod x = y - q x, where the quotient
    // q = y / x stays the same over runs of columns (about 2 sqrt(y) runs). Beyond y:
    // y mod x is y itself.
    const int left = std::min(m, limit);
    i32 v = 0;
    mm.Mod(y, v);
    std::memset(out, static_cast<std::uint8_t>(static_cast<u32>(v)), static_cast<std::size_t>(left));
    const int right = static_cast<int>(std::min<std::int64_t>(limit, std::max<std::int64_t>(m, std::int64_t{y} + 1)));
    for (int x = left; x < right;) {
      const i32 q = y / x;
      const int runEnd = static_cast<int>(std::min<std::int64_t>(right, y / q + 1));
      for (; x < runEnd; ++x) out[x] = static_cast<std::uint8_t>(static_cast<u32>(y - q * x));
    }
    std::memset(out + right, static_cast<std::uint8_t>(static_cast<u32>(y)), static_cast<std::size_t>(limit - right));
    return limit;
  } else if constexpr (I == 26 || I == 27) {
    period = RowPeriod<I>(settings, y, limit);
    if (period <= 0) return EvalRange<I>(settings, mm, y, 0, limit, out);  // a divisor of 0 fails
    // Both are x mod p along the row (p = y or m for 26, y + 2 for 27), and x mod p
    // is x itself over the first period.
    const int first = std::min(period, limit);
    for (int x = 0; x < first; ++x) out[x] = static_cast<std::uint8_t>(x);
    Replicate(out, static_cast<std::size_t>(first), static_cast<std::size_t>(limit));
    return limit;
  } else {
    period = RowPeriod<I>(settings, y, limit);
    return EvalPeriodic<I>(settings, mm, y, 0, limit, period, out);
  }
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
  // A channel with the same function as an earlier one has the same bytes.
  const bool gSharesB = settings.FunctionG == settings.FunctionB;
  const bool rSharesB = settings.FunctionR == settings.FunctionB;
  const bool rSharesG = settings.FunctionR == settings.FunctionG;
  const bool oneFunction = gSharesB && rSharesB;

  // Byte value to its place in the pixel, offset added modulo 256; with one function
  // for all channels a single table gives the whole pixel.
  std::array<TPixel, 256> lutB{};
  std::array<TPixel, 256> lutG{};
  std::array<TPixel, 256> lutR{};
  for (u32 v = 0; v < 256; ++v) {
    lutB[v] = (v + settings.Ob) & 0xFFu;
    lutG[v] = ((v + settings.Og) & 0xFFu) << 8;
    lutR[v] = (((v + settings.Or) & 0xFFu) << 16) | 0xFF000000u;
    if (oneFunction) lutB[v] |= lutG[v] | lutR[v];
  }

  const auto w = static_cast<std::size_t>(width);
  std::vector<std::uint8_t> buffer(w * 3);
  std::uint8_t* const b = buffer.data();
  std::uint8_t* const g = gSharesB ? b : b + w;
  std::uint8_t* const r = rSharesB ? b : (rSharesG ? g : b + 2 * w);
  for (int y = 0; y < height; ++y) {
    // The channels are evaluated blue, green, red per pixel, so the first failing
    // pixel of the row is the least of their failing columns.
    int periodB = 0;
    int periodG = 0;
    int periodR = 0;
    int count = rowB(settings, mm, y, width, b, periodB);
    periodG = periodB;
    periodR = periodB;
    if (!gSharesB) count = rowG(settings, mm, y, count, g, periodG);
    if (!rSharesB && !rSharesG) count = rowR(settings, mm, y, count, r, periodR);
    if (rSharesG) periodR = periodG;

    // Where every channel repeats, so does the pixel row: compose one common period only.
    std::int64_t period = 0;
    if (periodB > 0 && periodG > 0 && periodR > 0) {
      period = std::lcm(std::lcm(std::int64_t{periodB}, std::int64_t{periodG}), std::int64_t{periodR});
    }
    const int composed = period > 0 && period < count ? static_cast<int>(period) : count;
    TPixel* const out = bitmap.Row(y);
    if (oneFunction) {
      for (int x = 0; x < composed; ++x) out[x] = lutB[b[x]];
    } else {
      for (int x = 0; x < composed; ++x) out[x] = lutB[b[x]] | lutG[g[x]] | lutR[r[x]];
    }
    if (composed < count) Replicate(out, static_cast<std::size_t>(composed), static_cast<std::size_t>(count));
    if (count < width) return false;
  }
  return true;
}

TPatternPaint PaintPattern(TBitmap32& bitmap, int width, int height, std::string_view patternString) {
  TPatternSettings settings;
  switch (ParsePatternString(patternString, settings)) {
    case TPatternParse::NoBar:
      return TPatternPaint::NoBar;
    case TPatternParse::Malformed:
      return TPatternPaint::Error;
    case TPatternParse::Ok:
      break;
  }
  bitmap.SetSize(width, height);
  return PaintPatternSettings(bitmap, settings) ? TPatternPaint::Painted : TPatternPaint::Error;
}

}  // namespace lumora
