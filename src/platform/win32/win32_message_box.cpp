#include "platform/win32/win32_message_box.h"

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_unicode.h"

namespace lumora::platform {

void TWin32MessageBox::ShowMessage(std::string_view text) {
  try {
    const std::wstring wide = WideFromAnsi(text);
    ::MessageBoxW(owner_, wide.c_str(), caption_.c_str(), MB_OK);
  } catch (...) {
    // Nothing may leave through the platform boundary; the message is simply not shown.
  }
}

bool TWin32MessageBox::AskYesNo(std::string_view text, std::string_view caption) {
  try {
    const std::wstring wideText = WideFromAnsi(text);
    const std::wstring wideCaption = WideFromUtf8(caption);
    return ::MessageBoxW(owner_, wideText.c_str(), wideCaption.c_str(), MB_YESNO) == IDYES;
  } catch (...) {
    return false;  // as if the user said No: nothing changes
  }
}

}  // namespace lumora::platform
