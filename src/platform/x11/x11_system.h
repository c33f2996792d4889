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

// The monitors of the display (XRandR), else the screen as one monitor.
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

class TX11MessageBox final : public IMessageBox {
 public:
  explicit TX11MessageBox(std::string title) : title_(std::move(title)) {}
  void ShowMessage(std::string_view text) override;

 private:
  std::string title_;
};

class TX11Random final : public IRandom {
 public:
  void Randomize() override;
  int Random(int n) override;

 private:
  std::uint64_t state_ = 0x853C49E6748FEA9Bull;
};

}  // namespace lumora::platform
