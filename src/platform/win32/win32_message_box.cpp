#include "platform/win32/win32_message_box.h"

#include "platform/win32/win32_files.h"

namespace lumora::platform {

void TWin32MessageBox::ShowMessage(std::string_view text) {
  try {
    const std::wstring wide = WideFromAnsi(text);
    ::MessageBoxW(owner_, wide.c_str(), caption_.c_str(), MB_OK);
  } catch (...) {
    // Nothing may leave through the platform boundary; the message is simply not shown.
  }
}

}  // namespace lumora::platform
