// The shell's "open" for addresses the user clicks (web sites, mail addresses), so
// that the user's own browser or mail program handles them.
#pragma once

#include <string_view>

namespace lumora::platform {

class IShell {
 public:
  virtual ~IShell() = default;
  // Asks the shell to open address (ANSI text from the payload). Returns at once;
  // whether anything opened is not reported. Never throws.
  virtual void OpenAddress(std::string_view address) = 0;
};

}  // namespace lumora::platform
