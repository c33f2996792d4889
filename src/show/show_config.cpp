#include "show/show_config.h"

#include "show/show_schema.h"

#include <algorithm>

namespace lumora {
namespace {

constexpr std::string_view kAppInfo = "AppInfo";
constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kBackground = "Background";
constexpr std::string_view kSnd = "Snd";
constexpr std::string_view kAppConfig = "AppConfig";

std::string JoinLines(const TStrings& lines, std::string_view separator, bool trailing) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (trailing || i + 1 < lines.size()) text += separator;
  }
  return text;
}

void ReadItem(TBiggerIniFile& ini, const std::string& section, TPicData& item) {
  item.PicFileName = ini.ReadString(section, "PicFileName", "");
  item.CapFont = ini.ReadFont(section, "CapFont", DefaultCaptionFont());
  item.CapPos = ini.ReadCapPos(section, "CapPos", TCapPos::cpTopLeft);
  item.CapPosHor = ini.ReadFloat(section, "CapPosHor", 0);
  item.CapPosVer = ini.ReadFloat(section, "CapPosVer", 0);
  item.PicPos = ini.ReadPicPos(section, "PicPos", TPicPos::poTopLeft);
  item.PicPosHor = ini.ReadFloat(section, "PicPosHor", 0);
  item.PicPosVer = ini.ReadFloat(section, "PicPosVer", 0);
  item.PicSize = ini.ReadPicSize(section, "PicSize", TPicSize::psOriginal);
  item.PicSizeHor = ini.ReadFloat(section, "PicSizeHor", 100);
  item.PicSizeVer = ini.ReadFloat(section, "PicSizeVer", 100);
  item.PicSizeRef = ini.ReadPicSizeRef(section, "PicSizeRef", TPicSizeRef::psrScreen);
  item.Masked = ini.ReadBool(section, "Masked", false);
  item.MaskedFileName = ini.ReadString(section, "MaskedFileName", "");
  item.MaskedFilePos = ini.ReadInteger(section, "MaskedFilePos", -1);
  item.MaskedFileSize = ini.ReadInteger(section, "MaskedFileSize", 0);
  item.Opacity = ini.ReadInteger(section, "Opacity", 255);
  item.ShowInStyle = ini.ReadInteger(section, "ShowInStyle", -1);
  item.ShowOutStyle = ini.ReadInteger(section, "ShowOutStyle", -1);
  item.ShowSpeed = ini.ReadInteger(section, "ShowSpeed", 1);
  item.IsPicFloat = ini.ReadBool(section, "IsPicFloat", true);
  item.FloatSpeed = ini.ReadInteger(section, "FloatSpeed", 1);
  item.IsClsBeforeNext = ini.ReadBool(section, "IsClsBeforeNext", true);
  item.PicInterval = ini.ReadInteger(section, "PicInterval", 5);
  item.Shaped = ini.ReadBool(section, "Shaped", false);
  item.ShapedFileName = ini.ReadString(section, "ShapedFileName", "");
  item.ShapedFilePos = ini.ReadInteger(section, "ShapedFilePos", -1);
  item.ShapedFileSize = ini.ReadInteger(section, "ShapedFileSize", 0);
  item.RepeatTimes = ini.ReadInteger(section, "RepeatTimes", 1);
  item.IsSuspendBgMusic = ini.ReadBool(section, "IsSuspendBgMusic", true);
  item.IsFlashMouse = ini.ReadBool(section, "IsFlashMouse", false);
  item.VideoOW = ini.ReadInteger(section, "VideoOW", 0);
  item.VideoOH = ini.ReadInteger(section, "VideoOH", 0);
}

// Deletes the extracted configuration file when loading ends, whichever way.
class TDeleteOnExit {
 public:
  TDeleteOnExit(platform::IFileSystem& fs, std::filesystem::path path) : fs_(fs), path_(std::move(path)) {}
  ~TDeleteOnExit() { fs_.RemoveFile(path_); }
  TDeleteOnExit(const TDeleteOnExit&) = delete;
  TDeleteOnExit& operator=(const TDeleteOnExit&) = delete;

 private:
  platform::IFileSystem& fs_;
  std::filesystem::path path_;
};

// Highest n of the Pic<n> sections that are there: items past it have no entry and are
// dropped anyway, so a forged PicCount of two thousand million ends at once.
std::int32_t LastItemSection(const TBiggerIniFile& ini) {
  std::int32_t last = 0;
  for (int i = 0; i < ini.Sections().Count(); ++i) {
    std::int32_t n = 0;
    const TSectionSpec* spec = FindSectionSpec(ini.Sections().Name(i), n);
    if (spec != nullptr && spec->Kind == TSectionKind::Pic) last = std::max(last, n);
  }
  return last;
}

// Likewise the highest sound number that section Snd mentions.
std::int32_t LastSoundNumber(TBiggerIniFile& ini) {
  TStrings keys;
  ini.ReadSection(kSnd, keys);
  std::int32_t unused = 0;
  const TSectionSpec* snd = FindSectionSpec(kSnd, unused);
  std::int32_t last = 0;
  for (const std::string& key : keys) {
    std::int32_t n = 0;
    if (FindKeySpec(*snd, key, n) != nullptr) last = std::max(last, n);
  }
  return last;
}

}  // namespace

TFont DefaultCaptionFont() {
  TFont font;
  font.SetSize(18);
  return font;
}

std::string PicSectionName(std::int32_t n) { return "Pic" + std::to_string(n); }
std::string PicCaptionSectionName(std::int32_t n) { return "Pic" + std::to_string(n) + "Caption"; }

void ReadUserSettings(TBiggerIniFile& userSettings, TSSConfig& config) {
  config.IsSndMute = userSettings.ReadBool(kAppConfig, "IsSndMute", false);
  config.IsShowCursor = userSettings.ReadBool(kAppConfig, "IsShowCursor", false);
  config.HowToExit = userSettings.ReadInteger(kAppConfig, "HowToExit", 15);
}

void ReadSettingsDialogKeys(TBiggerIniFile& ini, TSSConfig& config) {
  config.Author = ini.ReadString(kAppInfo, "Author", kDefaultAuthor);
  config.IsUseGeneral = ini.ReadBool(kSettings, "IsUseGeneral", true);
  config.IsUseBanner = ini.ReadBool(kSettings, "IsUseBanner", false);
  config.YourURL = ini.ReadString(kSettings, "YourURL", kMakerWebAddress);
  config.BannerFile = ini.ReadString(kSettings, "BannerFile", "");
  config.BannerFilePos = ini.ReadInteger(kSettings, "BannerFilePos", -1);
  config.BannerFileSize = ini.ReadInteger(kSettings, "BannerFileSize", 0);
  config.BannerTips = ini.ReadString(kSettings, "BannerTips", kDefaultBannerTips);
  config.BannerURL = ini.ReadString(kSettings, "BannerURL", kMakerWebAddress);
  TStrings lines;
  ini.ReadSectionValues("AppDsp", lines);
  config.Description = JoinLines(lines, "\r\n", true);
  lines.clear();
  ini.ReadSectionValues("SettingsReadmeFile", lines);
  config.ReadmeText = JoinLines(lines, "\r\n", true);
}

TShowLoadResult LoadShowConfig(TBiggerIniFile& ini, TBiggerIniFile* userSettings, bool preview,
                               const TShowLoadHooks& hooks, TShowConfig& out) {
  TSSConfig& c = out.Config;
  // 1. The desktop-preview keys decide at once whether a preview shows only that picture.
  c.IsUsePreview = ini.ReadBool(kSettings, "IsUsePreview", false);
  c.DesktopPreviewFile = ini.ReadString(kSettings, "DesktopPreviewFile", "");
  c.DesktopPreviewFilePos = ini.ReadInteger(kSettings, "DesktopPreviewFilePos", -1);
  c.DesktopPreviewFileSize = ini.ReadInteger(kSettings, "DesktopPreviewFileSize", 0);
  if (preview && c.IsUsePreview && hooks.ShowDesktopPreview && hooks.ShowDesktopPreview(c))
    return TShowLoadResult::DesktopPreviewShown;

  // 2. The remaining settings.
  c.IsIncludeFlash = ini.ReadBool(kSettings, "IsIncludeFlash", false);
  c.FlashOcxFilePos = ini.ReadInteger(kSettings, "FlashOcxFilePos", -1);
  c.FlashOcxFileSize = ini.ReadInteger(kSettings, "FlashOcxFileSize", 0);
  c.IsUseSplash = ini.ReadBool(kSettings, "IsUseSplash", true);
  c.SplashFile = ini.ReadString(kSettings, "SplashFile", "");
  c.SplashFilePos = ini.ReadInteger(kSettings, "SplashFilePos", -1);
  c.SplashFileSize = ini.ReadInteger(kSettings, "SplashFileSize", 0);
  c.IsPicRamOrder = ini.ReadBool(kSettings, "IsPicRamOrder", false);
  c.IsSndPlayAll = ini.ReadBool(kSettings, "IsSndPlayAll", true);
  c.IsSndRamOrder = ini.ReadBool(kSettings, "IsSndRamOrder", false);
  c.IsSndLoopOne = ini.ReadBool(kSettings, "IsSndLoopOne", true);
  c.IsSndMute = ini.ReadBool(kSettings, "IsSndMute", false);

  // 3. The user's own settings; IsSndMute of the show gives way to the user's.
  if (userSettings != nullptr) {
    ReadUserSettings(*userSettings, c);
  } else {
    c.IsSndMute = false;
    c.IsShowCursor = false;
    c.HowToExit = 15;
  }

  // 4. Flash set-up.
  if (c.IsIncludeFlash && hooks.FlashSetup) hooks.FlashSetup(c);

  // 5. Background.
  c.BgStyle = ini.ReadBgStyle(kBackground, "BgStyle", TBgStyle::bsGradient);
  c.BgSolidColor = ini.ReadHexInteger(kBackground, "BgSolidColor", 0x00000000);
  c.BgGradientFromColor = ini.ReadHexInteger(kBackground, "BgGradientFromColor", 0x00FF0000);
  c.BgGradientToColor = ini.ReadHexInteger(kBackground, "BgGradientToColor", 0x00FFFF00);
  c.BgGradientDirection = ini.ReadDirection(kBackground, "BgGradientDirection", TDirection::bdUp);
  c.BgPatternString = ini.ReadString(kBackground, "BgPatternString", kDefaultBgPatternString);
  c.BgPicture = ini.ReadString(kBackground, "BgPicture", "");
  c.BgPictureMode = ini.ReadBgMode(kBackground, "BgPictureMode", TBgMode::bmCentered);
  c.BgBgpStyle = ini.ReadBgBgpStyle(kBackground, "BgBgpStyle", TBgBgpStyle::bpNone);
  c.BgBgpFixHor = ini.ReadBool(kBackground, "BgBgpFixHor", false);
  c.BgBgpFixVer = ini.ReadBool(kBackground, "BgBgpFixVer", false);
  c.BgPictureFilePos = ini.ReadInteger(kBackground, "BgPictureFilePos", -1);
  c.BgPictureFileSize = ini.ReadInteger(kBackground, "BgPictureFileSize", 0);

  // 6. Counts.
  c.PicCount = ini.ReadInteger(kAppInfo, "PicCount", 0);
  c.SndCount = ini.ReadInteger(kAppInfo, "SndCount", 0);

  // 7. Items: only those with an entry, and in a preview only pictures.
  out.PicList.clear();
  const std::int32_t lastItem = std::min(c.PicCount, LastItemSection(ini));
  for (std::int32_t n = 1; n <= lastItem; ++n) {
    if (hooks.ProcessMessages) hooks.ProcessMessages();
    const std::string section = PicSectionName(n);
    auto item = std::make_unique<TPicData>();
    item->FilePos = ini.ReadInteger(section, "FilePos", -1);
    item->FileSize = ini.ReadInteger(section, "FileSize", 0);
    item->MediaStyle = ini.ReadInteger(section, "MediaStyle", 0);
    if (item->FilePos == -1 || item->FileSize == 0 || (preview && item->MediaStyle != 0)) continue;
    ReadItem(ini, section, *item);
    TStrings caption;
    ini.ReadSectionValues(PicCaptionSectionName(n), caption);
    item->Caption = JoinLines(caption, "\r\n", false);
    out.PicList.push_back(std::move(item));
  }

  // 8. Sounds: a preview that shows no items plays none.
  out.SndList.clear();
  if (!preview || !out.PicList.empty()) {
    const std::int32_t lastSound = std::min(c.SndCount, LastSoundNumber(ini));
    for (std::int32_t n = 1; n <= lastSound; ++n) {
      const std::string suffix = std::to_string(n);
      const std::int32_t position = ini.ReadInteger(kSnd, "FilePos" + suffix, -1);
      const std::int32_t size = ini.ReadInteger(kSnd, "FileSize" + suffix, 0);
      if (position == -1 || size == 0) continue;
      auto sound = std::make_unique<TSndData>();
      sound->FilePos = position;
      sound->FileSize = size;
      sound->SndFileName = ini.ReadString(kSnd, "SndFileName" + suffix, "");
      out.SndList.push_back(std::move(sound));
    }
  }
  return TShowLoadResult::Loaded;
}

TShowLoadResult LoadShowConfigFile(platform::IFileSystem& fs, const std::filesystem::path& configFile, bool preview,
                                   const TShowLoadHooks& hooks, TShowConfig& out) {
  const TDeleteOnExit deleteConfig(fs, configFile);
  TBiggerIniFile showIni(fs, configFile);
  // The user's file is only read; one that cannot be read leaves the defaults.
  std::unique_ptr<TAppIniFile> userSettings;
  try {
    userSettings = std::make_unique<TAppIniFile>(fs);
  } catch (const EIniFileError&) {
    userSettings.reset();
  }
  const TShowLoadResult result = LoadShowConfig(showIni, userSettings.get(), preview, hooks, out);
  return result;
}

}  // namespace lumora
