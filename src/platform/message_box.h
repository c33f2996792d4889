// A message box with a fixed text and one OK button, for the few failures the user
// is told about, and the installer's Yes/No questions. The caption of a plain message
// is the backend's business (the application title).
#pragma once

#include <string_view>

namespace lumora::platform {

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows text (ANSI) and returns when the user has dismissed it. Never throws.
  virtual void ShowMessage(std::string_view text) = 0;
  // Asks a question with Yes and No buttons under a caption of its own; true for Yes.
  // Never throws. The fallback shows nothing and answers No, which changes nothing.
  virtual bool AskYesNo(std::string_view text, std::string_view caption) {
    (void)text;
    (void)caption;
    return false;
  }
};

}  // namespace lumora::platform
