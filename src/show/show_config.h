// The show configuration: show-wide settings (TSSConfig), the items (TPicData) and
// sounds (TSndData), and their loading from the configuration INI and the user's
// settings file.
#pragma once

#include "ini/big_ini_file.h"
#include "ini/config_types.h"
#include "platform/files.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumora {

// The maker's web address, the default of YourURL and BannerURL.
inline constexpr std::string_view kMakerWebAddress = "https://www.quenvale.com/";
inline constexpr std::string_view kDefaultAuthor = "Quenvale Inc.";
inline constexpr std::string_view kDefaultBannerTips = "Click banner to visit our website for more infomation.";
inline constexpr std::string_view kDefaultBgPatternString = "User Define|0,0,0,1,1,1,1";

// HowToExit bits.
constexpr std::int32_t kExitMouseMove = 1;
constexpr std::int32_t kExitMouseClick = 2;
constexpr std::int32_t kExitAnyKey = 4;
constexpr std::int32_t kExitEscKey = 8;

struct TSSConfig {
  // Settings
  bool IsUsePreview = false;
  std::string DesktopPreviewFile;
  std::int32_t DesktopPreviewFilePos = -1;
  std::int32_t DesktopPreviewFileSize = 0;
  bool IsIncludeFlash = false;
  std::int32_t FlashOcxFilePos = -1;
  std::int32_t FlashOcxFileSize = 0;
  bool IsUseSplash = true;
  std::string SplashFile;
  std::int32_t SplashFilePos = -1;
  std::int32_t SplashFileSize = 0;
  bool IsPicRamOrder = false;
  bool IsSndPlayAll = true;
  bool IsSndRamOrder = false;
  bool IsSndLoopOne = true;
  bool IsSndMute = false;  // after loading: the user's setting
  // Background
  TBgStyle BgStyle = TBgStyle::bsGradient;
  TColor BgSolidColor = 0x00000000;
  TColor BgGradientFromColor = 0x00FF0000;
  TColor BgGradientToColor = 0x00FFFF00;
  TDirection BgGradientDirection = TDirection::bdUp;
  std::string BgPatternString = std::string(kDefaultBgPatternString);
  std::string BgPicture;
  TBgMode BgPictureMode = TBgMode::bmCentered;
  TBgBgpStyle BgBgpStyle = TBgBgpStyle::bpNone;
  bool BgBgpFixHor = false;
  bool BgBgpFixVer = false;
  std::int32_t BgPictureFilePos = -1;
  std::int32_t BgPictureFileSize = 0;
  // AppInfo, as stored (the lists hold what was kept)
  std::int32_t PicCount = 0;
  std::int32_t SndCount = 0;
  // User settings file, section AppConfig
  bool IsShowCursor = false;
  std::int32_t HowToExit = kExitMouseMove | kExitMouseClick | kExitAnyKey | kExitEscKey;
  // Read by the settings dialog only (ReadSettingsDialogKeys)
  std::string Author = std::string(kDefaultAuthor);
  bool IsUseGeneral = true;
  bool IsUseBanner = false;
  std::string YourURL = std::string(kMakerWebAddress);
  std::string BannerFile;
  std::int32_t BannerFilePos = -1;
  std::int32_t BannerFileSize = 0;
  std::string BannerTips = std::string(kDefaultBannerTips);
  std::string BannerURL = std::string(kMakerWebAddress);
  std::string Description;  // section AppDsp, each line followed by a line break
  std::string ReadmeText;   // section SettingsReadmeFile, likewise
};

// The caption font of an item when the configuration names none: size 18, everything
// else as a new font has it.
TFont DefaultCaptionFont();

struct TPicData {
  std::string PicFileName;
  std::filesystem::path TempFileName;
  std::int32_t FilePos = -1;
  std::int32_t FileSize = 0;
  std::int32_t MediaStyle = 0;  // 0 picture, 1 Flash movie or video
  std::string Caption;          // lines joined by CR LF
  std::unique_ptr<TFont> CapFont = std::make_unique<TFont>(DefaultCaptionFont());
  TCapPos CapPos = TCapPos::cpTopLeft;
  float CapPosHor = 0;
  float CapPosVer = 0;
  TPicPos PicPos = TPicPos::poTopLeft;
  float PicPosHor = 0;
  float PicPosVer = 0;
  TPicSize PicSize = TPicSize::psOriginal;
  float PicSizeHor = 100;
  float PicSizeVer = 100;
  TPicSizeRef PicSizeRef = TPicSizeRef::psrScreen;
  bool Masked = false;
  std::string MaskedFileName;
  std::int32_t MaskedFilePos = -1;
  std::int32_t MaskedFileSize = 0;
  std::int32_t Opacity = 255;
  std::int32_t ShowInStyle = -1;
  std::int32_t ShowOutStyle = -1;
  std::int32_t ShowSpeed = 1;
  bool IsPicFloat = true;
  std::int32_t FloatSpeed = 1;
  bool IsClsBeforeNext = true;
  std::int32_t PicInterval = 5;
  bool Shaped = false;
  std::string ShapedFileName;
  std::int32_t ShapedFilePos = -1;
  std::int32_t ShapedFileSize = 0;
  std::int32_t RepeatTimes = 1;
  bool IsSuspendBgMusic = true;
  bool IsFlashMouse = false;
  std::int32_t VideoOW = 0;
  std::int32_t VideoOH = 0;
};

struct TSndData {
  std::string SndFileName;
  std::filesystem::path TempFileName;
  std::int32_t FilePos = -1;
  std::int32_t FileSize = 0;
};

// The lists own their records; positions are 0-based with dropped entries' gaps closed.
using TPicList = std::vector<std::unique_ptr<TPicData>>;
using TSndList = std::vector<std::unique_ptr<TSndData>>;

struct TShowConfig {
  TSSConfig Config;
  TPicList PicList;
  TSndList SndList;
};

// What the show form plugs into loading.
struct TShowLoadHooks {
  // Preview only, when IsUsePreview is set, right after the four desktop-preview keys:
  // true when the desktop-preview picture is shown, which ends loading there.
  std::function<bool(const TSSConfig&)> ShowDesktopPreview;
  // Called when IsIncludeFlash is set, after the user settings are read.
  std::function<void(TSSConfig&)> FlashSetup;
  // Called before each item, to process the application's pending messages.
  std::function<void()> ProcessMessages;
};

enum class TShowLoadResult { Loaded, DesktopPreviewShown };

// Reads the configuration in the show's order: desktop-preview keys (and the preview
// short cut), settings, the user's AppConfig values (replacing IsSndMute), Flash
// set-up, background, counts, the items and then the sounds. userSettings may be null
// (defaults).
TShowLoadResult LoadShowConfig(TBiggerIniFile& showIni, TBiggerIniFile* userSettings, bool preview,
                               const TShowLoadHooks& hooks, TShowConfig& out);

// Opens the extracted configuration file and the settings file beside the executable,
// loads as above, frees both and deletes the configuration file on every way out.
// Throws EIniFileError when an existing file cannot be read (after deleting it).
TShowLoadResult LoadShowConfigFile(platform::IFileSystem& fs, const std::filesystem::path& configFile, bool preview,
                                   const TShowLoadHooks& hooks, TShowConfig& out);

// The user settings of section AppConfig: IsSndMute, IsShowCursor, HowToExit.
void ReadUserSettings(TBiggerIniFile& userSettings, TSSConfig& config);

// The keys that the settings dialog reads from the configuration, in its order.
void ReadSettingsDialogKeys(TBiggerIniFile& showIni, TSSConfig& config);

// Section names of item n (1-based).
std::string PicSectionName(std::int32_t n);
std::string PicCaptionSectionName(std::int32_t n);

}  // namespace lumora
