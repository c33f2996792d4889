// The application window and the form windows of the Win32 backend.
#pragma once

#include "platform/app_shell.h"

#include <string>

namespace lumora::platform {

class TWin32FormWindow;

class TWin32ApplicationShell final : public IApplicationShell {
 public:
  TWin32ApplicationShell();
  ~TWin32ApplicationShell() override;
  TWin32ApplicationShell(const TWin32ApplicationShell&) = delete;
  TWin32ApplicationShell& operator=(const TWin32ApplicationShell&) = delete;

  void SetTitle(std::string_view title) override;
  void Initialize() override;
  std::unique_ptr<IFormWindow> CreateMainForm(const TFormProperties& properties, IFormEvents& events) override;
  void HideApplicationWindow() override;
  void MakeApplicationToolWindow() override;
  void SetPreviewApplicationStyles() override;
  void Run() override;
  void SetMessageFilter(TMessageFilter filter) override { filter_ = std::move(filter); }
  void ProcessMessages() override;
  // EnumDisplayMonitors; the primary screen alone when that reports nothing.
  TMonitorList Monitors() const override;

  // Closes the main form, as closing the application window does.
  void CloseMainForm();
  // The preview's check that its parent window (another program's) still exists; runs
  // on a timer of the application window, which outlives the form.
  void CheckPreviewParent();
  // Runs the message filter on a message taken from the queue (a MSG*); other loops
  // that pump messages (waits for worker threads) call it too.
  void Filter(const void* message);

  // The window class of the application window (ASCII).
  static constexpr const char* kApplicationClassName = "LumoraApplication";

 private:
  friend class TWin32FormWindow;
  void FormDestroyed(TWin32FormWindow* form);
  bool quitSeen_ = false;
  TMessageFilter filter_;

  std::wstring title_;
  void* appWindow_ = nullptr;  // HWND
  TWin32FormWindow* mainForm_ = nullptr;
};

}  // namespace lumora::platform
