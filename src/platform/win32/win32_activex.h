// Controls of the component registry on Windows. A control this process can make is
// activated in place here (win32_ole_control); any other (a 32-bit control, or the
// show's own control file, which is never registered) lives in a control host program
// of ours, started from lumora.scr's resources at low integrity, whose window is a
// child of our panel and which answers over pipes (control_protocol).
#pragma once

#include "platform/activex.h"

#include <map>
#include <string>
#include <vector>

namespace lumora::platform {

class TWin32ActiveXHost final : public IActiveXHost {
 public:
  // Initialises OLE on the calling thread (the UI thread) for as long as it lives.
  TWin32ActiveXHost();
  // Deletes the control files it was given and the host programs it wrote; the
  // controls are gone by then (their host programs ended with them).
  ~TWin32ActiveXHost() override;
  TWin32ActiveXHost(const TWin32ActiveXHost&) = delete;
  TWin32ActiveXHost& operator=(const TWin32ActiveXHost&) = delete;

  std::unique_ptr<IActiveXControl> CreateControl(std::string_view className, IMediaPanel* parent,
                                                 TActiveXFailure& failure) override;
  void UseControlFile(std::string_view className, std::string_view classId,
                      const std::filesystem::path& file) override;

 private:
  struct TControlFile {
    std::string ClassId;
    std::filesystem::path File;
  };
  // The host program for controls of the given processor kind, written to the
  // temporary folder at first use; empty when this lumora.scr carries none.
  std::filesystem::path HostProgram(unsigned short machine);

  bool initialised_ = false;
  std::map<std::string, TControlFile, std::less<>> files_;
  std::map<unsigned short, std::filesystem::path> programs_;
};

}  // namespace lumora::platform
