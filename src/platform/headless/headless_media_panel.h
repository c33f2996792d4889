// Media panels that only remember what they were told: bounds, visibility, region, image
// and stacking, so that tests and the renderer see where a medium would appear.
#pragma once

#include "platform/media_panel.h"

#include <optional>
#include <vector>

namespace lumora::platform {

class THeadlessMediaPanels;

class THeadlessMediaPanel final : public IMediaPanel {
 public:
  THeadlessMediaPanel(THeadlessMediaPanels& owner, THeadlessMediaPanel* parent, TWindowHandle handle);
  ~THeadlessMediaPanel() override;

  TWindowHandle Handle() const override { return handle_; }
  void SetBounds(const TRect& bounds) override { bounds_ = bounds; }
  TRect Bounds() const override { return bounds_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetRegion(const TRegion* region) override;
  void SetImage(const TBitmap32* image) override;
  void SendToBack() override;
  void SetOnMouse(std::function<void(TMouseAction, TMouseButton, TShiftState, int, int)> onMouse) override {
    onMouse_ = std::move(onMouse);
  }

  THeadlessMediaPanel* Parent() const { return parent_; }
  // The region set last; nullopt: the whole rectangle.
  const std::optional<TRegion>& Region() const { return region_; }
  const std::optional<TBitmap32>& Image() const { return image_; }
  // Shown here and in every parent.
  bool Showing() const;
  // Bounds in the view's client coordinates.
  TRect ViewBounds() const;
  // Mouse input as the system would deliver it to this panel.
  void Mouse(TMouseAction action, TMouseButton button, int x, int y);

 private:
  THeadlessMediaPanels& owner_;
  THeadlessMediaPanel* parent_;
  TWindowHandle handle_;
  TRect bounds_{0, 0, 1, 1};
  bool visible_ = false;
  std::optional<TRegion> region_;
  std::optional<TBitmap32> image_;
  std::function<void(TMouseAction, TMouseButton, TShiftState, int, int)> onMouse_;
};

class THeadlessMediaPanels final : public IMediaPanels {
 public:
  std::unique_ptr<IMediaPanel> CreatePanel(IMediaPanel* parent) override;
  void SetWaitCursor(bool waiting) override;

  // Live panels in stacking order, bottom first, among all siblings alike.
  std::vector<THeadlessMediaPanel*> Panels;
  // Every cursor change: true the hourglass, false the default.
  std::vector<bool> Cursor;
  int Created = 0;

 private:
  friend class THeadlessMediaPanel;
  TWindowHandle nextHandle_ = 0x5000;
};

}  // namespace lumora::platform
