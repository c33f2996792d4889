#include "platform/headless/headless_message_box.h"

namespace lumora::platform {

void THeadlessMessageBox::ShowMessage(std::string_view text) {
  try {
    shown_.emplace_back(text);
  } catch (...) {
    // Out of memory while recording: the message is lost, the caller carries on.
  }
}

bool THeadlessMessageBox::AskYesNo(std::string_view text, std::string_view caption) {
  try {
    questions_.push_back(std::string(caption) + ": " + std::string(text));
  } catch (...) {
    // As above: the record is lost, the answer still comes.
  }
  if (Answers.empty()) return false;
  const bool yes = Answers.front();
  Answers.pop_front();
  return yes;
}

}  // namespace lumora::platform
