// A message box with a fixed text and one OK button, for the few failures the user
// is told about. The caption is the backend's business (the application title).
#pragma once

#include <string_view>

namespace lumora::platform {

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows text (ANSI) and returns when the user has dismissed it. Never throws.
  virtual void ShowMessage(std::string_view text) = 0;
};

}  // namespace lumora::platform
