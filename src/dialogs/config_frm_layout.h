// Where the settings dialog's controls sit and what they say, in pixels at 96 dots
// per inch. The window glue makes its controls from this list (scaled to the
// screen's resolution), and the headless painter draws the same list, so that both
// show one design.
#pragma once

#include "dialogs/config_frm.h"
#include "imaging/region.h"

#include <string>
#include <string_view>
#include <vector>

namespace lumora {

enum class TDialogControlKind { Banner, PageControl, GroupBox, CheckBox, Label, Link, Memo, Button };

struct TDialogControl {
  std::string_view Name;
  TDialogControlKind Kind;
  TRect Bounds;       // in the form's client area
  std::string Text;   // ANSI; "&" marks a button's accelerator
  int Id = 0;         // the control's identifier in the window
  int Page = -1;      // the tab sheet it lies on; -1: on the form itself
  bool Visible = true;
  bool Checked = false;
  bool Default = false;  // the button that Enter presses
};

struct TConfigFrmLayout {
  static constexpr std::string_view kFontName = "Verdana";
  static constexpr int kFontPoints = 9;
  static constexpr int kBannerHeight = 52;
  // Identifiers: OK and Cancel are the system's own, so that Enter and Esc press them.
  static constexpr int kIdOK = 1;
  static constexpr int kIdCancel = 2;
  static constexpr int kIdReadme = 100;
  static constexpr int kIdWebsite = 101;
  static constexpr int kIdBanner = 102;
  static constexpr int kIdPages = 103;
  static constexpr int kIdMemo = 104;
  static constexpr int kIdFirstCheckBox = 110;  // then one per check box, in the order below

  int ClientWidth = 0;
  int ClientHeight = 0;
  std::vector<std::string> Pages;  // the tab sheets' captions
  TRect PageArea;                  // where a sheet's controls lie (inside the page control)
  std::vector<TDialogControl> Controls;
  // The character set the show's texts are written in (TConfigFrm::TextCharset).
  int Charset = 1;

  const TDialogControl* Find(std::string_view name) const;
};

// The layout for the dialog's present state: hidden controls are listed with Visible
// off, and a hidden banner takes no room (the form sizes itself to its content).
TConfigFrmLayout LayoutConfigFrm(const TConfigFrm& form);

// The check boxes in identifier order, with their state in form.
struct TConfigCheckBox {
  std::string_view Name;
  std::string_view Text;
};
inline constexpr TConfigCheckBox kConfigCheckBoxes[] = {
    {"chkMouseMove", "Mouse move"}, {"chkMouseClick", "Mouse click"},      {"chkAnyKey", "Press any key"},
    {"chkEscKey", "Press \"Esc\" key"}, {"chkMuteSound", "Mute sound"}, {"chkShowCursor", "Show cursor"},
};
TConfigFrm::TCheckBox& ConfigCheckBox(TConfigFrm& form, int index);
const TConfigFrm::TCheckBox& ConfigCheckBox(const TConfigFrm& form, int index);

}  // namespace lumora
