// The application and its forms as windows. A process has two kinds of window: the
// application window (hidden, titled with the application title, owner of the forms;
// other instances find it by that title) and the form windows it owns. The main form
// is the one whose closing ends the message loop, and with it the process.
#pragma once

#include "platform/desktop.h"
#include "platform/message.h"
#include "platform/window_handle.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lumora::platform {

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormPosition { poDesigned, poScreenCenter };
enum class TFormStyle { fsNormal, fsStayOnTop };

// How a form looks as a window, as designed.
struct TFormProperties {
  std::string ClassName;  // window class, ASCII
  std::string Caption;    // UTF-8
  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
  TWindowState WindowState = TWindowState::wsNormal;
  TFormPosition Position = TFormPosition::poDesigned;
  TFormStyle FormStyle = TFormStyle::fsNormal;
  bool KeyPreview = false;  // the form sees key messages before its controls
  // Key-down messages (plain and system) that reach the form go nowhere, not even to
  // the system's default handling.
  bool IgnoreKeyDown = false;
  bool Scaled = false;      // no rescaling for the screen's font size
  std::string IconResource;  // name of the icon resource in the executable; empty: none
  std::uint32_t Color = 0;   // client area colour, 0x00BBGGRR
  int Left = 0, Top = 0, Width = 320, Height = 240;  // the normal (restored) placement
};

// What a form window tells the form. Called on the UI thread; must not throw.
class IFormEvents {
 public:
  virtual ~IFormEvents() = default;
  virtual void FormCreate() {}  // the window exists, not yet shown
  virtual void FormShow() {}    // the window has just been shown
  virtual void FormClose() {}   // the window is closing
  // The monitors changed: added, removed, moved or given a new resolution.
  virtual void FormDisplayChanged() {}
  // Another application took the foreground from the form.
  virtual void FormDeactivated() {}
  // The console display was switched off (false) or on again (true); a dimmed display
  // counts as on.
  virtual void FormDisplayPower(bool on) { (void)on; }
};

// A window over a monitor that the form does not use: black, borderless, top-most and
// owned by the form, so it never hides the form and goes when the form goes. It takes
// no focus; its input reaches the application's message filter like any other.
// Destroying the object closes the window.
class ICoverWindow {
 public:
  virtual ~ICoverWindow() = default;
  virtual TWindowHandle Handle() const = 0;
};

class IFormWindow {
 public:
  virtual ~IFormWindow() = default;
  virtual TWindowHandle Handle() const = 0;
  virtual void SetFormStyle(TFormStyle style) = 0;
  // Makes the form a child of a window that another process owns (the preview window
  // of the display settings): the parent's styles plus child and disabled, the parent's
  // extended styles, then the parent itself. A maximized form then fills the parent's
  // client area. False when the system refuses the parent (the form is then no child
  // of anything and must not be shown).
  virtual bool EmbedIn(TWindowHandle parent) = 0;
  // Closes the form as the user would; the main form's closing ends the message loop.
  virtual void Close() = 0;
  // Places the form at bounds (screen coordinates) itself, whatever a window manager
  // would make of its window state; the window state stays as it is.
  virtual void SetBounds(const TRect& bounds) { (void)bounds; }
  // Opens a cover window over bounds (screen coordinates) that belongs to this form;
  // null when none can be made.
  virtual std::unique_ptr<ICoverWindow> OpenCover(const TRect& bounds) {
    (void)bounds;
    return nullptr;
  }
};

class IApplicationShell {
 public:
  virtual ~IApplicationShell() = default;
  // The application title (ASCII), the caption of the application window.
  virtual void SetTitle(std::string_view title) = 0;
  // Creates the application window, hidden.
  virtual void Initialize() = 0;
  // Creates the main form's window (not shown) owned by the application window and
  // raises FormCreate. events must outlive the window; destroying the window does not
  // raise FormClose.
  virtual std::unique_ptr<IFormWindow> CreateMainForm(const TFormProperties& properties, IFormEvents& events) = 0;
  virtual void HideApplicationWindow() = 0;
  // Adds the tool-window style, so that the application has no taskbar button.
  virtual void MakeApplicationToolWindow() = 0;
  // Replaces the application window's extended styles with tool window and top-most,
  // as the preview wants them.
  virtual void SetPreviewApplicationStyles() = 0;
  // Shows the main form as designed, raises FormShow and pumps messages until the
  // main form closes.
  virtual void Run() = 0;
  // The filter that sees every message the loop takes from the queue (in Run and in
  // ProcessMessages) before it is dispatched; empty for none.
  virtual void SetMessageFilter(TMessageFilter filter) { (void)filter; }
  // Handles the messages waiting in the queue, then returns.
  virtual void ProcessMessages() {}
  // The monitors of the desktop now; empty when the system cannot tell.
  virtual TMonitorList Monitors() const { return {}; }
};

}  // namespace lumora::platform
