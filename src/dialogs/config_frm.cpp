#include "dialogs/config_frm.h"

#include "app/payload.h"
#include "ini/big_ini_file.h"

namespace lumora {
namespace {

constexpr std::string_view kAppConfig = "AppConfig";

// Removes the extracted configuration once the INI object that reads it is gone.
class TRemoveWhenDone {
 public:
  TRemoveWhenDone(platform::IFileSystem& fs, std::filesystem::path path) : fs_(fs), path_(std::move(path)) {}
  ~TRemoveWhenDone() { fs_.RemoveFile(path_); }
  TRemoveWhenDone(const TRemoveWhenDone&) = delete;
  TRemoveWhenDone& operator=(const TRemoveWhenDone&) = delete;

 private:
  platform::IFileSystem& fs_;
  std::filesystem::path path_;
};

}  // namespace

TConfigFrm::TConfigFrm(const TConfigFrmPlatform& platform, THooks hooks)
    : platform_(platform), hooks_(std::move(hooks)) {
  imgBanner.Stretch = true;
  imgBanner.HandCursor = true;
  imgBanner.OnClick = [this](TExImage&) { imgBannerClick(); };
}

bool TConfigFrm::ReadEmbeddedConfiguration() {
  const std::optional<PayloadTrailer> trailer = ReadPayloadTrailer(platform_.Files);
  if (!trailer) return false;
  std::filesystem::path configFile;
  std::unique_ptr<TPicture> unused;
  if (!ExtractPayloadEntry(platform_.Files, TExtractMode::emTempFile, ".ini", trailer->ConfigPosition, configFile,
                           unused, trailer->ConfigStoredSize))
    return false;
  try {
    const TRemoveWhenDone remove(platform_.Files, configFile);
    TBiggerIniFile ini(platform_.Files, configFile);
    ReadSettingsDialogKeys(ini, config_);
    textCharset_ = 1;
    const std::int32_t count = ini.ReadInteger("AppInfo", "PicCount", 0);
    for (std::int32_t n = 1; n <= count && n <= 100000 && textCharset_ == 1; ++n) {
      const std::int32_t charset = ini.ReadInteger("Pic" + std::to_string(n), "CapFont_Charset", 1);
      if (charset != 0 && charset != 1) textCharset_ = charset;
    }
  } catch (const EIniFileError&) {
    // Extracted but unreadable counts as not extracted.
    return false;
  }
  return true;
}

void TConfigFrm::ReadSettingsFile() {
  try {
    TAppIniFile ini(platform_.Files);
    ReadUserSettings(ini, config_);
  } catch (const EIniFileError&) {
    // An unreadable settings file shows the defaults; OK reports it if it still cannot
    // be read then, instead of replacing it.
  }
}

void TConfigFrm::LoadBanner() {
  panBanner.Visible = false;
  if (!config_.IsUseBanner) return;
  std::filesystem::path unusedPath;
  std::unique_ptr<TPicture> picture;
  // With no extension the entry is a Windows bitmap read from memory; otherwise the
  // extension picks the decoder.
  const bool loaded =
      config_.BannerFile.empty()
          ? ExtractPayloadEntry(platform_.Files, TExtractMode::emMemoryBitmap, "", config_.BannerFilePos, unusedPath,
                                picture, config_.BannerFileSize)
          : ExtractPayloadEntry(platform_.Files, TExtractMode::emPictureFile, config_.BannerFile,
                                config_.BannerFilePos, unusedPath, picture, config_.BannerFileSize);
  if (!loaded || !picture || picture->Empty()) return;
  imgBanner.Picture() = std::move(*picture);
  imgBanner.Hint = config_.BannerTips;
  imgBanner.ShowHint = true;
  panBanner.Visible = true;
}

void TConfigFrm::FormShow() {
  if (!ReadEmbeddedConfiguration()) {
    platform_.Messages.ShowMessage(kExtractConfigError);
    Close();
    return;
  }
  ReadSettingsFile();
  LoadBanner();
  chkMouseMove.Checked = (config_.HowToExit & kExitMouseMove) != 0;
  chkMouseClick.Checked = (config_.HowToExit & kExitMouseClick) != 0;
  chkAnyKey.Checked = (config_.HowToExit & kExitAnyKey) != 0;
  chkEscKey.Checked = (config_.HowToExit & kExitEscKey) != 0;
  chkMuteSound.Checked = config_.IsSndMute;
  chkShowCursor.Checked = config_.IsShowCursor;
  btnReadme.Visible = config_.IsUseGeneral;
  labWebsite.Visible = config_.IsUseGeneral;
  labAuthor.Caption = config_.Author;
  labWebsite.Caption = config_.YourURL;
  memDescription.Caption = config_.Description;
}

std::int32_t TConfigFrm::HowToExitFromBoxes() const {
  return (chkMouseMove.Checked ? kExitMouseMove : 0) | (chkMouseClick.Checked ? kExitMouseClick : 0) |
         (chkAnyKey.Checked ? kExitAnyKey : 0) | (chkEscKey.Checked ? kExitEscKey : 0);
}

void TConfigFrm::btnOKClick() {
  try {
    TAppIniFile ini(platform_.Files);
    ini.WriteInteger(kAppConfig, "HowToExit", HowToExitFromBoxes());
    ini.WriteBool(kAppConfig, "IsSndMute", chkMuteSound.Checked);
    ini.WriteBool(kAppConfig, "IsShowCursor", chkShowCursor.Checked);
    // The INI object writes only when a value differs from the file's.
    ini.UpdateFile();
  } catch (const EIniFileError&) {
    // Closing now would let the user believe the settings were kept.
    platform_.Messages.ShowMessage(kSaveSettingsError);
    return;
  }
  config_.HowToExit = HowToExitFromBoxes();
  config_.IsSndMute = chkMuteSound.Checked;
  config_.IsShowCursor = chkShowCursor.Checked;
  Close();
}

void TConfigFrm::btnCancelClick() { Close(); }

void TConfigFrm::OpenAddress(const std::string& address) {
  // An empty address would make the shell open whatever it opens for nothing.
  if (!address.empty()) platform_.Shell.OpenAddress(address);
}

void TConfigFrm::imgBannerClick() { OpenAddress(config_.BannerURL); }

void TConfigFrm::labWebsiteClick() { OpenAddress(config_.YourURL); }

void TConfigFrm::btnReadmeClick() {
  auto form = std::make_unique<TReadmeFrm>();
  form->SetReadmeText(config_.ReadmeText);
  form->SetTextCharset(textCharset_);
  TReadmeFrm& shown = *form;
  readmeForms_.push_back(std::move(form));
  if (hooks_.ShowReadme) hooks_.ShowReadme(shown);
}

void TConfigFrm::Close() {
  closed_ = true;
  if (hooks_.Close) hooks_.Close();
}

}  // namespace lumora
