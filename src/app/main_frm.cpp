#include "app/main_frm.h"

#include "app/run_mode.h"

#include <algorithm>

namespace lumora {

std::optional<TRect> PrimaryMonitorBounds(const platform::TMonitorList& monitors) {
  if (monitors.empty()) return std::nullopt;
  for (const platform::TMonitor& m : monitors)
    if (m.Primary && !m.Bounds.Empty()) return m.Bounds;
  for (const platform::TMonitor& m : monitors) {
    const TRect& b = m.Bounds;
    if (b.Left <= 0 && b.Top <= 0 && b.Right > 0 && b.Bottom > 0) return b;
  }
  return monitors.front().Bounds.Empty() ? std::nullopt : std::optional<TRect>(monitors.front().Bounds);
}

std::vector<TRect> CoverRects(const platform::TMonitorList& monitors, const TRect& primary) {
  std::vector<TRect> rects;
  const auto add = [&rects](const TRect& r) {
    if (!r.Empty() && std::find(rects.begin(), rects.end(), r) == rects.end()) rects.push_back(r);
  };
  for (const platform::TMonitor& m : monitors) {
    const TRect& b = m.Bounds;
    const TRect overlap = IntersectRect(b, primary);
    if (overlap.Empty()) {
      add(b);
      continue;
    }
    add({b.Left, b.Top, b.Right, overlap.Top});
    add({b.Left, overlap.Bottom, b.Right, b.Bottom});
    add({b.Left, overlap.Top, overlap.Left, overlap.Bottom});
    add({overlap.Right, overlap.Top, b.Right, overlap.Bottom});
  }
  return rects;
}

TMainFrm::TMainFrm(platform::IApplicationShell& application) : application_(application) {
  window_ = application_.CreateMainForm(DesignedProperties(), *this);
  fullScreen_ = RunMode() == "S";
  // Placed before it is first shown, so the show never appears at the designed size.
  if (fullScreen_) TakeScreens(false);
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
  shown_ = true;
  // Again once shown, as showing it maximized may have moved it; the covers come
  // before the show loads, so the other monitors are dark from the first moment.
  if (fullScreen_) TakeScreens(true);
  if (show_ != nullptr) show_->FormShow();
}

void TMainFrm::FormClose() {
  if (show_ != nullptr) show_->FormClose();
  covers_.clear();
  shown_ = false;
}

void TMainFrm::FormDisplayChanged() {
  if (fullScreen_) TakeScreens(shown_);
}

void TMainFrm::FormDeactivated() {
  if (show_ != nullptr) show_->FormDeactivated();
}

void TMainFrm::FormDisplayPower(bool on) {
  if (show_ != nullptr) show_->FormDisplayPower(on);
}

void TMainFrm::TakeScreens(bool withCovers) {
  const platform::TMonitorList monitors = application_.Monitors();
  const std::optional<TRect> primary = PrimaryMonitorBounds(monitors);
  // Without a monitor list the form keeps its designed placement.
  if (primary) window_->SetBounds(*primary);
  if (!withCovers) return;
  covers_.clear();
  if (!primary) return;
  for (const TRect& r : CoverRects(monitors, *primary))
    if (std::unique_ptr<platform::ICoverWindow> cover = window_->OpenCover(r)) covers_.push_back(std::move(cover));
}

}  // namespace lumora
