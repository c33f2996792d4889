#include "platform/headless/headless_message_box.h"

namespace lumora::platform {

void THeadlessMessageBox::ShowMessage(std::string_view text) {
  try {
    shown_.emplace_back(text);
  } catch (...) {
    // Out of memory while recording: the message is lost, the caller carries on.
  }
}

}  // namespace lumora::platform
