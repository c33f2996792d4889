// Message boxes of the headless backend: nothing is shown, every text is recorded
// so that a test can see what the user would have been told, and questions take
// the answers a test scripted.
#pragma once

#include "platform/message_box.h"

#include <deque>
#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessMessageBox final : public IMessageBox {
 public:
  void ShowMessage(std::string_view text) override;
  // Records "caption: text" among the questions and gives the next scripted answer,
  // No when none is left.
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  const std::vector<std::string>& Shown() const { return shown_; }
  const std::vector<std::string>& Questions() const { return questions_; }
  void Clear() {
    shown_.clear();
    questions_.clear();
  }
  // The user's answers to the questions to come, in order.
  std::deque<bool> Answers;

 private:
  std::vector<std::string> shown_;
  std::vector<std::string> questions_;
};

}  // namespace lumora::platform
