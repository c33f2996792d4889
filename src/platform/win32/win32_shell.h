// The shell of the Windows backend: ShellExecute with the verb "open".
#pragma once

#include "platform/shell.h"

namespace lumora::platform {

class TWin32Shell final : public IShell {
 public:
  void OpenAddress(std::string_view address) override;
};

}  // namespace lumora::platform
