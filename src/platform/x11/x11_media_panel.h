// Media panels on X11: black child windows of the view's window, cut by the shape
// extension, with an optional picture as their background. Pointer input over them is
// not selected, so it reaches the view's window as the view's own.
#pragma once

#include "platform/media_panel.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace lumora::platform {

// The panel's background: black of the panel's size with image at its corner, in the
// 0x00RRGGBB pixels of a 24-bit true-colour image; empty for an empty size.
std::vector<std::uint32_t> PanelBackground(const TBitmap32* image, int width, int height);

class TX11MediaPanels final : public IMediaPanels {
 public:
  // view: the window the panels without a parent belong to; setWaitCursor shows or
  // takes back the hourglass over it.
  TX11MediaPanels(Display* display, Window view, std::function<void(bool)> setWaitCursor)
      : display_(display), view_(view), setWaitCursor_(std::move(setWaitCursor)) {}

  std::unique_ptr<IMediaPanel> CreatePanel(IMediaPanel* parent) override;
  void SetWaitCursor(bool waiting) override;

 private:
  Display* display_;
  Window view_;
  std::function<void(bool)> setWaitCursor_;
};

}  // namespace lumora::platform
