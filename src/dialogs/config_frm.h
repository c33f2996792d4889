// TConfigFrm: the settings dialog. It shows what the show's author put into the
// embedded configuration (author, website, description, banner, readme) and edits
// the three user settings of section AppConfig in the settings file beside the
// executable. This is the dialog's state and its handlers; the window glue mirrors
// the controls, calls the handlers and closes the window when asked to.
#pragma once

#include "dialogs/ex_image.h"
#include "dialogs/readme_frm.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "show/show_config.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

struct TConfigFrmPlatform {
  platform::IFileSystem& Files;
  platform::IMessageBox& Messages;
  platform::IShell& Shell;
};

class TConfigFrm {
 public:
  static constexpr std::string_view kCaption = "Screen Saver Config";
  static constexpr std::string_view kExtractConfigError = "Extract config file error!";
  // OK could not write the settings file; the dialog stays open.
  static constexpr std::string_view kSaveSettingsError = "Save settings error!";
  // The exit ways the dialog shows and keeps.
  static constexpr std::int32_t kExitMask = kExitMouseMove | kExitMouseClick | kExitAnyKey | kExitEscKey;

  struct THooks {
    std::function<void()> Close;                  // closes the dialog's window
    std::function<void(TReadmeFrm&)> ShowReadme;  // shows a new readme window, modeless
  };

  TConfigFrm(const TConfigFrmPlatform& platform, THooks hooks);
  TConfigFrm(const TConfigFrm&) = delete;
  TConfigFrm& operator=(const TConfigFrm&) = delete;

  // The controls as the handlers leave them. The glue copies the check boxes back
  // before it calls btnOKClick.
  struct TControl {
    bool Visible = true;
    std::string Caption;  // ANSI
  };
  struct TCheckBox {
    bool Checked = false;
  };
  TControl panBanner, labAuthor, labWebsite, memDescription, btnReadme;
  TExImage imgBanner;
  TCheckBox chkMouseMove, chkMouseClick, chkAnyKey, chkEscKey, chkMuteSound, chkShowCursor;

  void FormShow();
  void btnOKClick();
  void btnCancelClick();
  void imgBannerClick();
  void labWebsiteClick();
  void btnReadmeClick();

  const TSSConfig& Config() const { return config_; }
  // The character set that the show's own texts (author, website, description, banner
  // tip, readme) are written in: that of the first caption font naming one other than
  // the Western (0) or default (1) set; 1 when none does.
  int TextCharset() const { return textCharset_; }
  bool Closed() const { return closed_; }
  // HowToExit as the four exit check boxes give it.
  std::int32_t HowToExitFromBoxes() const;
  // Every readme window made so far; they live as long as the dialog.
  const std::vector<std::unique_ptr<TReadmeFrm>>& ReadmeForms() const { return readmeForms_; }

 private:
  bool ReadEmbeddedConfiguration();
  void ReadSettingsFile();
  void LoadBanner();
  void OpenAddress(const std::string& address);
  void Close();

  TConfigFrmPlatform platform_;
  THooks hooks_;
  TSSConfig config_;
  int textCharset_ = 1;
  bool closed_ = false;
  std::vector<std::unique_ptr<TReadmeFrm>> readmeForms_;
};

}  // namespace lumora
