#include "platform/headless/headless_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <cerrno>
#include <mutex>
#include <tuple>
#include <utility>

namespace lumora::platform {
namespace {

// Bytes 0x80..0x9F of Windows-1252; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

constexpr const char* kDefaultFace = "DejaVu Sans";

// Faces that shows name and that the free faces installed match in every advance, the
// same that the Wine prefixes of the tests and of scripts/main put in their place; any
// other face the machine lacks is drawn in the default face.
struct TFaceAlias {
  const char* Face;
  const char* Free;
};
constexpr std::array<TFaceAlias, 9> kMetricAliases = {{
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Calibri", "Carlito"},
    {"Cambria", "Caladea"},
}};

// The language whose faces hold the script of a character set that the default face
// lacks (fontconfig's names).
const char* ScriptLanguage(int charset) {
  switch (charset) {
    case 128: return "ja";
    case 129:
    case 130: return "ko";
    case 134: return "zh-cn";
    case 136: return "zh-tw";
    case 222: return "th";
    default: return nullptr;
  }
}
// The size of a font whose height is left at 0: 8 points at 96 pixels per inch.
constexpr int kDefaultHeight = -11;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

struct TFaceMetrics {
  int Ascent = 0;
  int CellHeight = 0;
  int UnderlinePos = 0;  // below the baseline
  int LineThickness = 1;
  FT_Face Script = nullptr;  // for the characters the face lacks; may be null
};

// Renders the glyph of c from the face, or from the script's face when only that has it.
FT_GlyphSlot LoadGlyph(FT_Face face, const TFaceMetrics& metrics, char32_t c) {
  if (metrics.Script != nullptr && FT_Get_Char_Index(face, c) == 0 && FT_Get_Char_Index(metrics.Script, c) != 0)
    face = metrics.Script;
  return FT_Load_Char(face, c, FT_LOAD_RENDER) == 0 ? face->glyph : nullptr;
}

}  // namespace

char32_t UnicodeFromAnsi(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char32_t(c); }

std::u32string UnicodeFromCodePage(std::string_view text, unsigned codePage) {
  std::u32string out;
  // The system's ANSI code page is Windows-1252 here, as on the test machines; symbol
  // fonts take the bytes as they are.
  if (codePage == 0 || codePage == 1252 || codePage == 42) {
    for (const char c : text) out.push_back(UnicodeFromAnsi(static_cast<unsigned char>(c)));
    return out;
  }
  const std::string name = codePage == 1 ? "CP437" : codePage == 10000 ? "MACINTOSH" : codePage == 1361 ? "JOHAB"
                                                                                                      : "CP" + std::to_string(codePage);
  const iconv_t cd = ::iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return UnicodeFromCodePage(text, 0);
  std::string in(text);
  char* src = in.data();
  std::size_t left = in.size();
  std::array<char, 256> buffer{};
  while (left > 0) {
    char* dst = buffer.data();
    std::size_t room = buffer.size();
    const std::size_t rc = ::iconv(cd, &src, &left, &dst, &room);
    const int error = errno;
    for (const char* p = buffer.data(); p + 4 <= dst; p += 4) {
      const auto b = [p](int i) { return static_cast<char32_t>(static_cast<unsigned char>(p[i])); };
      out.push_back(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
    }
    if (rc != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    // A byte that starts no character of the code page, or a character cut off at the
    // end: one replacement character, as Windows gives.
    out.push_back(0xFFFD);
    if (error != EILSEQ) break;
    ++src;
    --left;
  }
  ::iconv_close(cd);
  return out;
}

struct THeadlessTextRasterizer::TImpl {
  FT_Library library = nullptr;
  std::map<std::string, FT_Face> faces;          // by file
  // (name, style) -> file, for every rasterizer of the process: the fonts installed do
  // not change while it runs, and a match costs more than a caption.
  static std::mutex resolvedMutex;
  static std::map<std::tuple<std::string, int, std::string>, std::string> resolved;

  TImpl() {
    FT_Init_FreeType(&library);
    FcInit();
  }
  ~TImpl() {
    for (auto& [file, face] : faces) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }

  std::string Match(const std::string& family, bool bold, bool italic, const char* language,
                    std::string* matchedFamily) {
    FcPattern* pattern = FcPatternCreate();
    if (language != nullptr) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
    if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_OBLIQUE : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    if (match != nullptr) {
      FcChar8* value = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch) file = reinterpret_cast<char*>(value);
      if (matchedFamily != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch)
        *matchedFamily = reinterpret_cast<char*>(value);
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
  }

  std::string Resolve(const TTextFont& font) {
    const int style = (font.Bold ? 1 : 0) | (font.Italic ? 2 : 0);
    const auto key = std::make_tuple(font.Name, style, std::string());
    const std::lock_guard<std::mutex> lock(resolvedMutex);
    if (auto it = resolved.find(key); it != resolved.end()) return it->second;
    std::string family;
    std::string file = font.Name.empty() ? std::string() : Match(font.Name, font.Bold, font.Italic, nullptr, &family);
    // Whatever fontconfig offers in place of a missing face would differ between
    // machines; the metric-compatible free face, or the default face, does not.
    if (file.empty() || !SameName(family, font.Name)) {
      file.clear();
      for (const TFaceAlias& alias : kMetricAliases) {
        if (!SameName(alias.Face, font.Name)) continue;
        file = Match(alias.Free, font.Bold, font.Italic, nullptr, &family);
        if (!SameName(family, alias.Free)) file.clear();
      }
      if (file.empty()) file = Match(kDefaultFace, font.Bold, font.Italic, nullptr, nullptr);
    }
    resolved[key] = file;
    return file;
  }

  // For the character sets of scripts that the faces above lack, a face of that script
  // for the characters they lack, as Windows links faces; empty for the others.
  std::string ResolveScript(const TTextFont& font) {
    const char* language = ScriptLanguage(font.Charset);
    if (language == nullptr) return {};
    const int style = (font.Bold ? 1 : 0) | (font.Italic ? 2 : 0);
    const auto key = std::make_tuple(std::string(), style, std::string(language));
    const std::lock_guard<std::mutex> lock(resolvedMutex);
    if (auto it = resolved.find(key); it != resolved.end()) return it->second;
    return resolved[key] = Match({}, font.Bold, font.Italic, language, nullptr);
  }

  FT_Face Open(const std::string& file) {
    if (file.empty() || library == nullptr) return nullptr;
    if (auto it = faces.find(file); it != faces.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), 0, &face) != 0) return nullptr;
    faces[file] = face;
    return face;
  }

  FT_Face Face(const TTextFont& font, TFaceMetrics& metrics) {
    FT_Face face = Open(Resolve(font));
    if (face == nullptr) return nullptr;
    // Cell metrics as Windows takes them: the OS/2 table's Windows ascent and descent.
    int ascentUnits = face->ascender;
    int descentUnits = -face->descender;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
      ascentUnits = os2->usWinAscent;
      descentUnits = os2->usWinDescent;
    }
    const int upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    const int height = font.Height == 0 ? kDefaultHeight : font.Height;
    double em = height < 0 ? -height : static_cast<double>(height) * upem / (ascentUnits + descentUnits);
    em = std::max(em, 1.0);
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72);
    metrics.Script = Open(ResolveScript(font));
    if (metrics.Script == face) metrics.Script = nullptr;
    if (metrics.Script != nullptr) FT_Set_Char_Size(metrics.Script, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72);
    if (height > 0) {
      // A cell height asked for is the cell height given.
      metrics.Ascent = static_cast<int>(std::lround(em * ascentUnits / upem));
      metrics.CellHeight = height;
    } else {
      // Rounded outwards, so that the cell holds the hinted glyphs' tails and accents.
      metrics.Ascent = static_cast<int>(std::ceil(em * ascentUnits / upem));
      metrics.CellHeight = metrics.Ascent + static_cast<int>(std::ceil(em * descentUnits / upem));
    }
    metrics.UnderlinePos = std::max(1, static_cast<int>(std::lround(-em * face->underline_position / upem)));
    metrics.LineThickness = std::max(1, static_cast<int>(std::lround(em * face->underline_thickness / upem)));
    return face;
  }
};

std::mutex THeadlessTextRasterizer::TImpl::resolvedMutex;
std::map<std::tuple<std::string, int, std::string>, std::string> THeadlessTextRasterizer::TImpl::resolved;

THeadlessTextRasterizer::THeadlessTextRasterizer() = default;
THeadlessTextRasterizer::~THeadlessTextRasterizer() = default;

THeadlessTextRasterizer::TImpl& THeadlessTextRasterizer::Impl() {
  std::call_once(implOnce_, [this] { impl_ = std::make_unique<TImpl>(); });
  return *impl_;
}

std::string THeadlessTextRasterizer::FaceFile(const TTextFont& font) { return Impl().Resolve(font); }

namespace {

// Where a line's glyphs paint relative to its advances: lead is how far the first ones
// reach left of the pen's start (a "j"), width the advances widened to the last pixel
// (italics, "f", bold strokes) plus the lead.
struct TLineInk {
  int Lead = 0;
  int Width = 0;
};

TLineInk MeasureInk(FT_Face face, const TFaceMetrics& metrics, std::u32string_view text) {
  int pen = 0;
  int left = 0;
  int right = 0;
  for (const char32_t c : text) {
    const FT_GlyphSlot slot = LoadGlyph(face, metrics, c);
    if (slot == nullptr) continue;
    if (slot->bitmap.width > 0) {
      left = std::min(left, pen + slot->bitmap_left);
      right = std::max(right, pen + slot->bitmap_left + static_cast<int>(slot->bitmap.width));
    }
    pen += static_cast<int>((slot->advance.x + 32) >> 6);
  }
  return {-left, std::max(right, pen) - left};
}

}  // namespace

TTextExtent THeadlessTextRasterizer::TextExtent(const TTextFont& font, std::string_view text) {
  TFaceMetrics metrics;
  FT_Face face = Impl().Face(font, metrics);
  if (face == nullptr) return {};
  // The extent holds every pixel the text paints.
  return {MeasureInk(face, metrics, UnicodeFromCodePage(text, CodePageOfCharset(font.Charset))).Width, metrics.CellHeight};
}

void THeadlessTextRasterizer::PaintText(TBitmap32& target, int x, int y, const TTextFont& font, std::string_view text,
                                       TPixel colour) {
  TFaceMetrics metrics;
  FT_Face face = Impl().Face(font, metrics);
  if (face == nullptr) return;
  const int baseline = y + metrics.Ascent;
  // Glyphs that reach left of the first advance start that much further right.
  const std::u32string chars = UnicodeFromCodePage(text, CodePageOfCharset(font.Charset));
  x += MeasureInk(face, metrics, chars).Lead;
  const auto blend = [&](int px, int py, unsigned coverage) {
    if (px < 0 || py < 0 || px >= target.Width() || py >= target.Height() || coverage == 0) return;
    TPixel& p = target.At(px, py);
    const auto mix = [coverage](unsigned bg, unsigned fg) { return (bg * (255 - coverage) + fg * coverage + 127) / 255; };
    p = MakePixel(static_cast<std::uint8_t>(mix(PixelR(p), PixelR(colour))),
                  static_cast<std::uint8_t>(mix(PixelG(p), PixelG(colour))),
                  static_cast<std::uint8_t>(mix(PixelB(p), PixelB(colour))), PixelA(p));
  };
  int pen = x;
  for (const char32_t c : chars) {
    const FT_GlyphSlot slot = LoadGlyph(face, metrics, c);
    if (slot == nullptr) continue;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* src = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col)
          blend(pen + slot->bitmap_left + static_cast<int>(col), baseline - slot->bitmap_top + static_cast<int>(row),
                src[col]);
      }
    }
    pen += static_cast<int>((slot->advance.x + 32) >> 6);
  }
  const auto line = [&](int top) {
    for (int row = 0; row < metrics.LineThickness; ++row)
      for (int px = x; px < pen; ++px) blend(px, top + row, 255);
  };
  if (font.Underline) line(baseline + metrics.UnderlinePos - metrics.LineThickness / 2);
  if (font.StrikeOut) line(baseline - metrics.Ascent / 3);
}

}  // namespace lumora::platform
