// The settings dialog and its readme windows as real Win32 windows: the glue between
// TConfigFrm / TReadmeFrm and the system's dialog controls.
#pragma once

#include "dialogs/readme_frm.h"
#include "platform/files.h"
#include "platform/window_handle.h"

#include <windows.h>

namespace lumora {

// Runs the settings dialog as the process's main window until it closes; the readme
// windows opened from it close with it. owner: the window that asked for the settings
// ("/c:HWND"), which then owns the dialog; 0 or a handle of no window for none.
void RunSettingsDialogWin32(platform::IFileSystem& files, platform::TWindowHandle owner = 0);

// One readme window, made for a TReadmeFrm and shown at once without waiting.
class TWin32ReadmeWindow {
 public:
  explicit TWin32ReadmeWindow(TReadmeFrm& form);
  ~TWin32ReadmeWindow();
  TWin32ReadmeWindow(const TWin32ReadmeWindow&) = delete;
  TWin32ReadmeWindow& operator=(const TWin32ReadmeWindow&) = delete;

  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void ApplyDpi(UINT dpi);

  TReadmeFrm& form_;
  HWND window_ = nullptr;
  HWND memo_ = nullptr;
  HFONT font_ = nullptr;
};

// Dots per inch of the monitor a window is on (96 where the system cannot say).
UINT WindowDpi(HWND window);
// A font of the given face and size in points for that resolution.
HFONT CreatePointFont(const wchar_t* face, int points, UINT dpi);

}  // namespace lumora
