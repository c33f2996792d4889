// lumora-play's folder in the temporary folder: a packed show folder and every file the
// show extracts live there, so that one removal at the end leaves nothing behind. Its
// owner holds a lock on it while it lives; the next start removes the folders of owners
// that are gone (killed, or lost with their machine's power), and only those.
#pragma once

#include <filesystem>
#include <string_view>

namespace lumora::tools {

inline constexpr std::string_view kPlayScratchPrefix = "lumora-play-";

// Removes the folders "<prefix><pid>" in base that belong to this user, are no link,
// whose lock nobody holds and whose process is not alive. A folder a live process owns
// stays, and so does one whose process id a new process has taken (until that one ends).
void RemoveDeadScratchFolders(const std::filesystem::path& base, std::string_view prefix = kPlayScratchPrefix);

class TPlayScratch {
 public:
  // "<prefix><pid>" in base (the system's temporary folder when empty), locked.
  explicit TPlayScratch(std::filesystem::path base = {});
  ~TPlayScratch();
  TPlayScratch(const TPlayScratch&) = delete;
  TPlayScratch& operator=(const TPlayScratch&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Removes the folder now (also for an exit that runs no destructors).
  void Remove();

 private:
  std::filesystem::path path_;
  int lock_ = -1;
};

}  // namespace lumora::tools
