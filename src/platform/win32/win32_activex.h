// Controls of the component registry on Windows: an OLE container of our own (client
// site, in-place site and frame) around each control, dispatch calls by name, and the
// control's window subclassed so that its mouse messages pass our hook first.
#pragma once

#include "platform/activex.h"

namespace lumora::platform {

class TWin32ActiveXHost final : public IActiveXHost {
 public:
  // Initialises OLE on the calling thread (the UI thread) for as long as it lives.
  TWin32ActiveXHost();
  ~TWin32ActiveXHost() override;
  TWin32ActiveXHost(const TWin32ActiveXHost&) = delete;
  TWin32ActiveXHost& operator=(const TWin32ActiveXHost&) = delete;

  std::unique_ptr<IActiveXControl> CreateControl(std::string_view className, IMediaPanel* parent,
                                                 TActiveXFailure& failure) override;

 private:
  bool initialised_ = false;
};

}  // namespace lumora::platform
