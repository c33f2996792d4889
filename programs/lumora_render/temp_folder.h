// The private temporary folder of one lumora-render run: removed when the run ends, when
// it is interrupted by a signal, and, should it outlive a killed run, by the next run.
#pragma once

#include <filesystem>

namespace lumora::tools {

class TRenderTempFolder {
 public:
  // Creates "lumora-render-<pid>" in the system's temporary folder, after removing the
  // folders of that name whose process is gone.
  TRenderTempFolder();
  ~TRenderTempFolder();
  TRenderTempFolder(const TRenderTempFolder&) = delete;
  TRenderTempFolder& operator=(const TRenderTempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace lumora::tools
