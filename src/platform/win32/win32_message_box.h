// Message boxes of the Windows backend: no icon, one OK button, the application
// title as caption; questions with Yes and No under their own caption.
#pragma once

#include "platform/message_box.h"

#include <windows.h>

#include <string>

namespace lumora::platform {

class TWin32MessageBox final : public IMessageBox {
 public:
  // caption: the application title of the running mode; owner may be null.
  explicit TWin32MessageBox(std::wstring caption, HWND owner = nullptr)
      : caption_(std::move(caption)), owner_(owner) {}

  void ShowMessage(std::string_view text) override;
  bool AskYesNo(std::string_view text, std::string_view caption) override;

 private:
  std::wstring caption_;
  HWND owner_;
};

}  // namespace lumora::platform
