// The rest of what a show needs of the system on X11: the cursor counter over the view's
// window, message pumping through the loop, monitors through XRandR, the desktop as the
// root window shows it, messages on standard error, and random numbers. There is no
// registry and no password library here: locking the screen is the screen locker's.
#pragma once

#include "platform/desktop.h"
#include "platform/message_box.h"
#include "platform/random.h"
#include "platform/show_system.h"
#include "platform/surface.h"
#include "platform/x11/x11_loop.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::platform {

class TX11ShowSystem final : public IShowSystem, public IRegistry, public IPasswordLibraries {
 public:
  // setCursorVisible: shows or hides the pointer over the show's window.
  TX11ShowSystem(TX11Loop& loop, std::function<void(bool)> setCursorVisible)
      : loop_(loop), setCursorVisible_(std::move(setCursorVisible)) {}

  int ShowCursor(bool show) override;
  void SetDefaultCursor() override;
  TWindowHandle ForegroundWindow() override { return 0; }
  void SimulateImeHotKey(TWindowHandle, std::uint32_t) override {}
  void SetScreenSaverRunning(bool) override {}
  void ProcessMessages() override { loop_.ProcessPending(); }

  std::optional<TRegistryValue> ReadCurrentUserValue(std::string_view, std::string_view) override {
    return std::nullopt;
  }
  std::string SystemDirectory() override { return {}; }
  std::unique_ptr<IPasswordLibrary> Load(const std::string&) override { return nullptr; }

  int CursorCounter() const { return counter_; }

 private:
  TX11Loop& loop_;
  std::function<void(bool)> setCursorVisible_;
  int counter_ = 0;
};

// The monitors to use from what the display reports through XRandR and through
// Xinerama: XRandR's where it tells of several, else Xinerama's heads where there are
// several (nested and older servers know their heads only that way), else XRandR's
// one, else the screen; one of them always primary (the first where none is).
TMonitorList ChooseMonitors(TMonitorList randr, TMonitorList xinerama, TSize screen);
// The monitors of the display.
TMonitorList X11Monitors(Display* display);
// The primary monitor's size, as a full-screen show takes it.
TSize X11ScreenSize(Display* display);

class TX11DesktopCapture final : public IDesktopCapture {
 public:
  explicit TX11DesktopCapture(Display* display) : display_(display) {}
  // Keeps what the desktop shows now, for the captures to come: a full-screen show takes
  // it before its own window covers the desktop.
  void Freeze();
  bool CaptureDesktop(TBitmap32& target, int width, int height) override;

 private:
  bool Read(TBitmap32& target, int width, int height);
  Display* display_;
  std::optional<TBitmap32> frozen_;
};

// A message's lines as a dialog shows them: its own line breaks kept, longer lines
// broken at spaces (or, for a word longer than a line, inside it) to at most columns.
std::vector<std::string> WrapMessage(std::string_view text, std::size_t columns);

// Messages on standard error and, where a display is given, in a small dialog over
// everything, until a key, a click, the window manager's close, a quit signal or an X
// error dismisses it.
class TX11MessageBox final : public IMessageBox {
 public:
  explicit TX11MessageBox(std::string title, Display* display = nullptr)
      : title_(std::move(title)), display_(display) {}
  void ShowMessage(std::string_view text) override;
  int Shown() const { return shown_; }

 private:
  void ShowDialog(std::string_view text);
  std::string title_;
  Display* display_;
  int shown_ = 0;
};

class TX11Random final : public IRandom {
 public:
  void Randomize() override;
  int Random(int n) override;

 private:
  std::uint64_t state_ = 0x853C49E6748FEA9Bull;
};

}  // namespace lumora::platform
