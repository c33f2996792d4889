#include "platform/headless/headless_media_panel.h"

#include <algorithm>

namespace lumora::platform {

THeadlessMediaPanel::THeadlessMediaPanel(THeadlessMediaPanels& owner, THeadlessMediaPanel* parent,
                                         TWindowHandle handle)
    : owner_(owner), parent_(parent), handle_(handle) {}

THeadlessMediaPanel::~THeadlessMediaPanel() {
  std::erase(owner_.Panels, this);
  // A destroyed parent takes its children's place away; they stay as orphans until freed.
  for (THeadlessMediaPanel* panel : owner_.Panels)
    if (panel->parent_ == this) panel->parent_ = nullptr;
}

void THeadlessMediaPanel::SetRegion(const TRegion* region) {
  if (region == nullptr)
    region_.reset();
  else
    region_ = *region;
}

void THeadlessMediaPanel::SetImage(const TBitmap32* image) {
  if (image == nullptr)
    image_.reset();
  else
    image_ = *image;
}

void THeadlessMediaPanel::SendToBack() {
  std::erase(owner_.Panels, this);
  owner_.Panels.insert(owner_.Panels.begin(), this);
}

bool THeadlessMediaPanel::Showing() const {
  for (const THeadlessMediaPanel* p = this; p != nullptr; p = p->parent_)
    if (!p->visible_) return false;
  return true;
}

TRect THeadlessMediaPanel::ViewBounds() const {
  TRect r = bounds_;
  for (const THeadlessMediaPanel* p = parent_; p != nullptr; p = p->parent_) {
    r.Left += p->bounds_.Left;
    r.Right += p->bounds_.Left;
    r.Top += p->bounds_.Top;
    r.Bottom += p->bounds_.Top;
  }
  return r;
}

void THeadlessMediaPanel::Mouse(TMouseAction action, TMouseButton button, int x, int y) {
  if (onMouse_) onMouse_(action, button, TShiftState{}, x, y);
}

std::unique_ptr<IMediaPanel> THeadlessMediaPanels::CreatePanel(IMediaPanel* parent) {
  auto panel = std::make_unique<THeadlessMediaPanel>(*this, static_cast<THeadlessMediaPanel*>(parent), nextHandle_++);
  Panels.push_back(panel.get());
  ++Created;
  return panel;
}

void THeadlessMediaPanels::SetWaitCursor(bool waiting) { Cursor.push_back(waiting); }

}  // namespace lumora::platform
