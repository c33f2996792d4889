// Media panels on Windows: black child windows of the view with window regions, an
// optional picture drawn at their corner, and their mouse input handed to the view.
#pragma once

#include "platform/media_panel.h"

#include <windows.h>

namespace lumora::platform {

class TWin32MediaPanels final : public IMediaPanels {
 public:
  // view: the window the panels without a parent belong to.
  explicit TWin32MediaPanels(HWND view) : view_(view) {}
  std::unique_ptr<IMediaPanel> CreatePanel(IMediaPanel* parent) override;
  void SetWaitCursor(bool waiting) override;

 private:
  HWND view_;
};

}  // namespace lumora::platform
