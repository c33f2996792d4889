// TMainFrm, the one window of a running show, full-screen or inside the preview
// window: the designed form properties and FormCreate. The show played on it (its
// view, sequencer and exit handling) is attached by the entry and hears FormShow and
// FormClose through this window shell.
#pragma once

#include "platform/app_shell.h"

#include <memory>

namespace lumora {

class TMainFrm final : public platform::IFormEvents {
 public:
  // Creates the form's window as the application's main form (not shown yet).
  explicit TMainFrm(platform::IApplicationShell& application);
  ~TMainFrm() override;
  TMainFrm(const TMainFrm&) = delete;
  TMainFrm& operator=(const TMainFrm&) = delete;

  static platform::TFormProperties DesignedProperties();

  platform::IFormWindow& Window() { return *window_; }

  void FormCreate() override;
  void FormShow() override;
  void FormClose() override;

  // The show that plays on this form; null for none (the client area stays black).
  void AttachShow(platform::IFormEvents* show) { show_ = show; }

 private:
  platform::IApplicationShell& application_;
  std::unique_ptr<platform::IFormWindow> window_;
  platform::IFormEvents* show_ = nullptr;
};

}  // namespace lumora
