// TMainFrm, the one window of a running show, full-screen or inside the preview
// window. So far its window shell only: the designed form properties and FormCreate;
// the client area stays black until the show is played on it.
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

 private:
  platform::IApplicationShell& application_;
  std::unique_ptr<platform::IFormWindow> window_;
};

}  // namespace lumora
