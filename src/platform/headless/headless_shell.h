// The shell of the headless backend: nothing opens, every address is recorded.
#pragma once

#include "platform/shell.h"

#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessShell final : public IShell {
 public:
  void OpenAddress(std::string_view address) override { opened_.emplace_back(address); }
  const std::vector<std::string>& Opened() const { return opened_; }

 private:
  std::vector<std::string> opened_;
};

}  // namespace lumora::platform
