#include "show/show_schema.h"

#include "ini/ini_text.h"

#include <algorithm>
#include <array>
#include <vector>

namespace lumora {
namespace {

using K = TKeyKind;
constexpr std::int32_t kMin = INT32_MIN;
constexpr std::int32_t kMax = INT32_MAX;

constexpr TKeySpec kAppInfoKeys[] = {
    {"PicCount", K::Filled}, {"SndCount", K::Filled}, {"Author", K::Text},
};

constexpr TKeySpec kSettingsKeys[] = {
    {"IsUsePreview", K::Boolean},
    {"DesktopPreviewFile", K::Extension},
    {"DesktopPreviewFilePos", K::Filled},
    {"DesktopPreviewFileSize", K::Filled},
    {"IsIncludeFlash", K::Boolean},
    {"FlashOcxFile", K::FolderPath},
    {"FlashOcxFilePos", K::Filled},
    {"FlashOcxFileSize", K::Filled},
    {"IsUseSplash", K::Boolean},
    {"SplashFile", K::Extension},
    {"SplashFilePos", K::Filled},
    {"SplashFileSize", K::Filled},
    {"IsPicRamOrder", K::Boolean},
    {"IsSndPlayAll", K::Boolean},
    {"IsSndRamOrder", K::Boolean},
    {"IsSndLoopOne", K::Boolean},
    {"IsSndMute", K::Boolean},
    {"IsUseGeneral", K::Boolean},
    {"IsUseBanner", K::Boolean},
    {"YourURL", K::Text},
    {"BannerFile", K::Extension},
    {"BannerFilePos", K::Filled},
    {"BannerFileSize", K::Filled},
    {"BannerTips", K::Text},
    {"BannerURL", K::Text},
};

constexpr TKeySpec kBackgroundKeys[] = {
    {"BgStyle", K::Integer, 0, 4},
    {"BgSolidColor", K::Colour},
    {"BgGradientFromColor", K::Colour},
    {"BgGradientToColor", K::Colour},
    {"BgGradientDirection", K::Integer, 0, 7},
    {"BgPatternString", K::Text},
    {"BgPicture", K::Extension},
    {"BgPictureMode", K::Integer, 0, 3},
    {"BgBgpStyle", K::Integer, 0, 4},
    {"BgBgpFixHor", K::Boolean},
    {"BgBgpFixVer", K::Boolean},
    {"BgPictureFilePos", K::Filled},
    {"BgPictureFileSize", K::Filled},
};

constexpr TKeySpec kPicKeys[] = {
    {"PicFileName", K::Extension},
    {"FilePos", K::Filled},
    {"FileSize", K::Filled},
    {"MediaStyle", K::Integer, kMin, kMax},
    {"CapFont_Charset", K::Integer, kMin, kMax},
    {"CapFont_Color", K::Colour},
    {"CapFont_Height", K::Integer, kMin, kMax},
    {"CapFont_Name", K::Text},
    {"CapFont_Pitch", K::Integer, 0, 2},
    {"CapFont_PixelsPerInch", K::Integer, kMin, kMax},
    {"CapFont_Size", K::Integer, kMin, kMax},
    {"CapFont_Style", K::Integer, kMin, kMax},
    {"CapPos", K::Integer, 0, 8},
    {"CapPosHor", K::Float},
    {"CapPosVer", K::Float},
    {"PicPos", K::Integer, 0, 9},
    {"PicPosHor", K::Float},
    {"PicPosVer", K::Float},
    {"PicSize", K::Integer, 0, 2},
    {"PicSizeHor", K::Float},
    {"PicSizeVer", K::Float},
    {"PicSizeRef", K::Integer, 0, 1},
    {"Masked", K::Boolean},
    {"MaskedFileName", K::Extension},
    {"MaskedFilePos", K::Filled},
    {"MaskedFileSize", K::Filled},
    {"Opacity", K::Integer, kMin, kMax},
    {"ShowInStyle", K::Integer, kMin, kMax},
    {"ShowOutStyle", K::Integer, kMin, kMax},
    {"ShowSpeed", K::Integer, kMin, kMax},
    {"IsPicFloat", K::Boolean},
    {"FloatSpeed", K::Integer, kMin, kMax},
    {"IsClsBeforeNext", K::Boolean},
    {"PicInterval", K::Integer, kMin, kMax},
    {"Shaped", K::Boolean},
    {"ShapedFileName", K::Extension},
    {"ShapedFilePos", K::Filled},
    {"ShapedFileSize", K::Filled},
    {"RepeatTimes", K::Integer, kMin, kMax},
    {"IsSuspendBgMusic", K::Boolean},
    {"IsFlashMouse", K::Boolean},
    {"VideoOW", K::Integer, kMin, kMax},
    {"VideoOH", K::Integer, kMin, kMax},
};

// Numbered: SndFileName1, FilePos1, FileSize1, ...
constexpr TKeySpec kSndKeys[] = {
    {"SndFileName", K::Extension},
    {"FilePos", K::Filled},
    {"FileSize", K::Filled},
};

constexpr TSectionSpec kSections[] = {
    {"AppInfo", TSectionKind::AppInfo, kAppInfoKeys},
    {"Settings", TSectionKind::Settings, kSettingsKeys},
    {"Background", TSectionKind::Background, kBackgroundKeys},
    {"Pic", TSectionKind::Pic, kPicKeys},
    {"PicCaption", TSectionKind::PicCaption, {}},
    {"Snd", TSectionKind::Snd, kSndKeys},
    {"AppDsp", TSectionKind::FreeText, {}},
    {"SettingsReadmeFile", TSectionKind::FreeText, {}},
};

constexpr TEntryRefSpec kEntryRefs[] = {
    {TSectionKind::Settings, "DesktopPreviewFile", "DesktopPreviewFilePos", "DesktopPreviewFileSize",
     "DesktopPreviewFile", "", "DesktopPreview"},
    {TSectionKind::Settings, "", "FlashOcxFilePos", "FlashOcxFileSize", "FlashOcxFile", ".ocx", "FlashOcx"},
    {TSectionKind::Settings, "SplashFile", "SplashFilePos", "SplashFileSize", "SplashFile", "", "Splash"},
    {TSectionKind::Settings, "BannerFile", "BannerFilePos", "BannerFileSize", "BannerFile", "", "Banner"},
    {TSectionKind::Background, "BgPicture", "BgPictureFilePos", "BgPictureFileSize", "BgPicture", "", "Background"},
    {TSectionKind::Pic, "PicFileName", "FilePos", "FileSize", "PicFileName", "", ""},
    {TSectionKind::Pic, "MaskedFileName", "MaskedFilePos", "MaskedFileSize", "MaskedFileName", "", "Mask"},
    {TSectionKind::Pic, "ShapedFileName", "ShapedFilePos", "ShapedFileSize", "ShapedFileName", "", "Shape"},
    {TSectionKind::Snd, "SndFileName", "FilePos", "FileSize", "SndFileName", "", ""},
};

// n of "<prefix><n><suffix>": decimal, at least 1, no leading zeros, fits 31 bits.
std::optional<std::int32_t> NumberBetween(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (name.size() <= prefix.size() + suffix.size()) return std::nullopt;
  if (!ini::SameText(name.substr(0, prefix.size()), prefix)) return std::nullopt;
  if (!ini::SameText(name.substr(name.size() - suffix.size()), suffix)) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.empty() || digits.size() > 9 || digits[0] == '0') return std::nullopt;
  std::int32_t n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The first run of digits in a name, to suggest numbered names.
std::string DigitsIn(std::string_view name) {
  std::string digits;
  for (const char c : name) {
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (!digits.empty()) {
      break;
    }
  }
  while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
  // assign(1, '1') rather than = "1": mingw GCC 12 warns of a false overlap (-Wrestrict).
  if (digits.empty() || digits == "0") digits.assign(1, '1');
  return digits.substr(0, 9);
}

std::optional<std::string> Closest(std::string_view name, const std::vector<std::string>& candidates) {
  std::size_t best = SIZE_MAX;
  std::string bestName;
  for (const std::string& candidate : candidates) {
    const std::size_t d = EditDistance(name, candidate);
    if (d < best) {
      best = d;
      bestName = candidate;
    }
  }
  const std::size_t allowed = std::max<std::size_t>(2, name.size() / 3);
  if (best == SIZE_MAX || best > allowed) return std::nullopt;
  return bestName;
}

}  // namespace

std::span<const TEntryRefSpec> EntryRefSpecs() { return kEntryRefs; }

const TSectionSpec* FindSectionSpec(std::string_view name, std::int32_t& number) {
  number = 0;
  for (const TSectionSpec& spec : kSections) {
    if (spec.Kind == TSectionKind::Pic) {
      if (const auto n = NumberBetween(name, "Pic", "")) {
        number = *n;
        return &spec;
      }
    } else if (spec.Kind == TSectionKind::PicCaption) {
      if (const auto n = NumberBetween(name, "Pic", "Caption")) {
        number = *n;
        return &spec;
      }
    } else if (ini::SameText(name, spec.Name)) {
      return &spec;
    }
  }
  return nullptr;
}

const TKeySpec* FindKeySpec(const TSectionSpec& section, std::string_view name, std::int32_t& number) {
  number = 0;
  for (const TKeySpec& key : section.Keys) {
    if (section.Kind == TSectionKind::Snd) {
      if (const auto n = NumberBetween(name, key.Name, "")) {
        number = *n;
        return &key;
      }
    } else if (ini::SameText(name, key.Name)) {
      return &key;
    }
  }
  return nullptr;
}

std::optional<std::string> SuggestSectionName(std::string_view name) {
  const std::string n = DigitsIn(name);
  std::vector<std::string> candidates;
  for (const TSectionSpec& spec : kSections) {
    if (spec.Kind == TSectionKind::Pic) {
      candidates.push_back("Pic" + n);
    } else if (spec.Kind == TSectionKind::PicCaption) {
      candidates.push_back("Pic" + n + "Caption");
    } else {
      candidates.emplace_back(spec.Name);
    }
  }
  return Closest(name, candidates);
}

std::optional<std::string> SuggestKeyName(const TSectionSpec& section, std::string_view name) {
  const std::string n = DigitsIn(name);
  std::vector<std::string> candidates;
  for (const TKeySpec& key : section.Keys)
    candidates.push_back(section.Kind == TSectionKind::Snd ? std::string(key.Name) + n : std::string(key.Name));
  return Closest(name, candidates);
}

std::optional<std::string> CheckKeyValue(const TKeySpec& key, std::string_view value) {
  switch (key.Kind) {
    case K::Integer: {
      const std::optional<std::int32_t> v = ini::ParseInteger(value);
      const bool plainDecimal = !value.empty() && value.find('$') == std::string_view::npos &&
                                value.front() != ' ' && value.front() != '+';
      if (!v || !plainDecimal || *v < key.Min || *v > key.Max) {
        if (key.Min == kMin && key.Max == kMax) return "expected a whole number";
        if (key.Max == kMax) return "expected a whole number from " + std::to_string(key.Min) + " up";
        return "expected a whole number from " + std::to_string(key.Min) + " to " + std::to_string(key.Max);
      }
      return std::nullopt;
    }
    case K::Boolean:
      if (value == "0" || value == "1") return std::nullopt;
      return "expected 0 or 1";
    case K::Float: {
      if (value.find('%') != std::string_view::npos) return "expected a number such as 50 or 12.5, without %";
      if (value.find(',') != std::string_view::npos || !ini::ParseFloat(value) || value.front() == ' ' ||
          value.back() == ' ')
        return "expected a number with a decimal point, such as 50 or 12.5";
      return std::nullopt;
    }
    case K::Colour: {
      const bool hex = value.size() == 8 && std::all_of(value.begin(), value.end(), [](char c) {
                         return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
                       });
      if (!hex) return "expected a colour of exactly 8 hexadecimal digits 00BBGGRR, such as 00FF0000 for blue";
      return std::nullopt;
    }
    case K::Text:
    case K::Extension:
    case K::Filled:
    case K::FolderPath:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> PlayerAdjustment(const TKeySpec& key, std::string_view value) {
  if (key.Kind != K::Integer) return std::nullopt;
  const std::optional<std::int32_t> parsed = ini::ParseInteger(value);
  if (!parsed) return std::nullopt;
  const std::int64_t v = *parsed;
  const std::string n = std::to_string(v);
  const std::string_view name = key.Name;
  if (name == "ShowInStyle" || name == "ShowOutStyle") {
    if (v < -1) return "the player picks a random effect, as for -1";
    if (v > 78) return "the effects are 1 to 78; the player shows effect 78";
  } else if (name == "Opacity") {
    // The view keeps the low byte of the opacity.
    if (v < 0 || v > 255)
      return "opacity is 0 to 255 and the player keeps only the low byte: " + n + " acts as " +
             std::to_string(v & 0xFF);
  } else if (name == "ShowSpeed" || name == "FloatSpeed") {
    // Stored in 16 bits, and at least 1 ms.
    const std::int64_t word = v & 0xFFFF;
    const std::int64_t used = word == 0 ? 1 : word;
    if (used != v)
      return "the player waits 1 to 65535 ms between steps and keeps only 16 bits: " + n + " acts as " +
             std::to_string(used);
  } else if (name == "PicInterval") {
    if (v <= 0) return "the player moves on after 50 ms";
    if (v > 2147483) return "the player waits at most 2147483 seconds (about 24 days)";
  } else if (name == "MediaStyle") {
    if (v != 0 && v != 1) return "the player skips items of a kind other than 0 (picture) or 1 (Flash movie or video)";
  } else if (name == "RepeatTimes") {
    if (v < 0) return "the player plays the item once, as for 1 (0 plays it for ever)";
  } else if (name == "CapFont_Style") {
    // 255 is what a font with all four styles is stored as.
    if ((v & ~0xF) != 0 && v != 255)
      return "the player reads only 8 bold, 4 italic, 2 underline, 1 strike-out: " + n + " acts as " +
             std::to_string(v & 0xF);
  }
  return std::nullopt;
}

std::optional<std::string> NormalizeKeyValue(const TKeySpec& key, std::string_view value) {
  switch (key.Kind) {
    case K::Integer: {
      std::string text(value);
      if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
      const std::optional<std::int32_t> v = ini::ParseInteger(text);
      if (!v || *v < key.Min || *v > key.Max) return std::nullopt;
      return std::to_string(*v);
    }
    case K::Boolean: {
      std::string text(value);
      if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
      const std::optional<std::int32_t> v = ini::ParseInteger(text);
      if (!v) return std::nullopt;
      return *v != 0 ? "1" : "0";
    }
    case K::Float: {
      const std::optional<float> v = ini::ParseFloat(value);
      if (!v) return std::nullopt;
      return ini::FormatFloat(*v);
    }
    case K::Colour: {
      if (value.empty() || value.front() == ' ' || value.front() == '\t') return std::nullopt;
      // Appended, not "$" + string: mingw GCC 12 warns of a false overlap (-Wrestrict).
      std::string hex(1, '$');
      hex += value;
      const std::optional<std::int32_t> v = ini::ParseInteger(hex);
      if (!v) return std::nullopt;
      return ini::FormatHex8(*v);
    }
    case K::Text:
    case K::Extension:
    case K::Filled:
    case K::FolderPath:
      return std::string(value);
  }
  return std::nullopt;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = ini::FoldCase(static_cast<unsigned char>(a[i - 1])) ==
                        ini::FoldCase(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace lumora
