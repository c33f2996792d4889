#include "app/main_frm.h"

namespace lumora {

TMainFrm::TMainFrm(platform::IApplicationShell& application) : application_(application) {
  window_ = application_.CreateMainForm(DesignedProperties(), *this);
}

TMainFrm::~TMainFrm() = default;

platform::TFormProperties TMainFrm::DesignedProperties() {
  platform::TFormProperties p;
  p.ClassName = "TMainFrm";
  p.Caption = "Template";
  p.BorderStyle = platform::TFormBorderStyle::bsNone;
  p.WindowState = platform::TWindowState::wsMaximized;
  p.Position = platform::TFormPosition::poScreenCenter;
  p.KeyPreview = true;
  // Keys act only through the show's exit filter.
  p.IgnoreKeyDown = true;
  p.Scaled = false;
  p.IconResource = "MAINICON";
  p.Color = 0x000000;
  p.Width = 640;
  p.Height = 480;
  return p;
}

// The application window would otherwise give the show a taskbar button.
void TMainFrm::FormCreate() {
  application_.HideApplicationWindow();
  application_.MakeApplicationToolWindow();
}

void TMainFrm::FormShow() {
  if (show_ != nullptr) show_->FormShow();
}

void TMainFrm::FormClose() {
  if (show_ != nullptr) show_->FormClose();
}

}  // namespace lumora
