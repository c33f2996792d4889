#include "dialogs/config_frm_layout.h"

#include <array>

namespace lumora {
namespace {

constexpr int kClientWidth = 392;
constexpr int kMargin = 8;
constexpr int kPagesHeight = 228;
constexpr int kTabHeight = 24;  // the tabs' strip above the sheet
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 25;

TRect At(int x, int y, int w, int h) { return TRect{x, y, x + w, y + h}; }

}  // namespace

TConfigFrm::TCheckBox& ConfigCheckBox(TConfigFrm& form, int index) {
  const std::array<TConfigFrm::TCheckBox*, 6> boxes = {&form.chkMouseMove, &form.chkMouseClick, &form.chkAnyKey,
                                                       &form.chkEscKey,    &form.chkMuteSound,  &form.chkShowCursor};
  return *boxes.at(static_cast<std::size_t>(index));
}

const TConfigFrm::TCheckBox& ConfigCheckBox(const TConfigFrm& form, int index) {
  return ConfigCheckBox(const_cast<TConfigFrm&>(form), index);
}

const TDialogControl* TConfigFrmLayout::Find(std::string_view name) const {
  for (const TDialogControl& c : Controls)
    if (c.Name == name) return &c;
  return nullptr;
}

TConfigFrmLayout LayoutConfigFrm(const TConfigFrm& form) {
  using K = TDialogControlKind;
  using L = TConfigFrmLayout;
  TConfigFrmLayout layout;
  layout.ClientWidth = kClientWidth;
  layout.Charset = form.TextCharset();
  layout.Pages = {"General", "About"};
  auto& c = layout.Controls;

  const int top = form.panBanner.Visible ? L::kBannerHeight : 0;
  c.push_back({"imgBanner", K::Banner, At(0, 0, kClientWidth, L::kBannerHeight), "", L::kIdBanner, -1,
               form.panBanner.Visible});

  const TRect pages = At(kMargin, top + kMargin, kClientWidth - 2 * kMargin, kPagesHeight);
  c.push_back({"PageControl1", K::PageControl, pages, "", L::kIdPages});
  layout.PageArea = TRect{pages.Left + 4, pages.Top + kTabHeight + 4, pages.Right - 4, pages.Bottom - 4};
  const int sx = layout.PageArea.Left, sy = layout.PageArea.Top;
  const int groupWidth = layout.PageArea.Width() - 16;

  // General: the three groups one below the other.
  c.push_back({"grpHowToExit", K::GroupBox, At(sx + 8, sy + 6, groupWidth, 80), "How to exit?", 0, 0});
  c.push_back({"grpSound", K::GroupBox, At(sx + 8, sy + 94, groupWidth, 46), "Sound", 0, 0});
  c.push_back({"grpCursor", K::GroupBox, At(sx + 8, sy + 148, groupWidth, 46), "Cursor", 0, 0});
  const std::array<TRect, 6> boxes = {At(sx + 20, sy + 26, 160, 20),  At(sx + 188, sy + 26, 160, 20),
                                      At(sx + 20, sy + 54, 160, 20),  At(sx + 188, sy + 54, 160, 20),
                                      At(sx + 20, sy + 114, 200, 20), At(sx + 20, sy + 168, 200, 20)};
  for (int i = 0; i < 6; ++i) {
    TDialogControl box{kConfigCheckBoxes[i].Name, K::CheckBox, boxes[static_cast<std::size_t>(i)],
                       std::string(kConfigCheckBoxes[i].Text), L::kIdFirstCheckBox + i, 0};
    box.Checked = ConfigCheckBox(form, i).Checked;
    c.push_back(box);
  }

  // About: author and website on a line each, the description below.
  const int valueX = sx + 100, valueWidth = layout.PageArea.Right - 8 - valueX;
  c.push_back({"labAuthorCaption", K::Label, At(sx + 8, sy + 10, 88, 16), "Author:", 0, 1});
  c.push_back({"labAuthor", K::Label, At(valueX, sy + 10, valueWidth, 16), form.labAuthor.Caption, 0, 1,
               form.labAuthor.Visible});
  c.push_back({"labWebsiteCaption", K::Label, At(sx + 8, sy + 34, 88, 16), "Website:", 0, 1});
  c.push_back({"labWebsite", K::Link, At(valueX, sy + 34, valueWidth, 16), form.labWebsite.Caption, L::kIdWebsite,
               1, form.labWebsite.Visible});
  c.push_back({"labDescriptionCaption", K::Label, At(sx + 8, sy + 58, 88, 16), "Description:", 0, 1});
  c.push_back({"memDescription", K::Memo, At(sx + 8, sy + 78, groupWidth, layout.PageArea.Bottom - 8 - (sy + 78)),
               form.memDescription.Caption, L::kIdMemo, 1, form.memDescription.Visible});

  const int by = pages.Bottom + kMargin;
  c.push_back({"btnReadme", K::Button, At(kMargin, by, kButtonWidth, kButtonHeight), "&Readme", L::kIdReadme, -1,
               form.btnReadme.Visible});
  c.push_back({"btnOK", K::Button, At(kClientWidth - 2 * (kMargin + kButtonWidth), by, kButtonWidth, kButtonHeight),
               "&OK", L::kIdOK});
  c.back().Default = true;
  c.push_back({"btnCancel", K::Button, At(kClientWidth - kMargin - kButtonWidth, by, kButtonWidth, kButtonHeight),
               "&Cancel", L::kIdCancel});
  layout.ClientHeight = by + kButtonHeight + kMargin;
  return layout;
}

}  // namespace lumora
