// Message boxes of the headless backend: nothing is shown, every text is recorded
// so that a test can see what the user would have been told.
#pragma once

#include "platform/message_box.h"

#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessMessageBox final : public IMessageBox {
 public:
  void ShowMessage(std::string_view text) override;
  const std::vector<std::string>& Shown() const { return shown_; }
  void Clear() { shown_.clear(); }

 private:
  std::vector<std::string> shown_;
};

}  // namespace lumora::platform
