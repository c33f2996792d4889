// Named mutexes on Linux: a lock file per name, held with flock for as long as the
// handle is open and removed by its owner on release. The system drops the lock when
// the process ends, however it ends, so a crashed show never keeps the next one from
// starting (its file stays, unlocked, and is taken over).
#pragma once

#include "platform/named_mutex.h"

#include <filesystem>
#include <string>

namespace lumora::platform {

// The lock file's name for a mutex name: letters, digits, '-' and '.' as they are,
// every other byte as %XX, so that different names never share a file.
std::string LockFileName(std::string_view name);

class TX11NamedMutexes final : public INamedMutexes {
 public:
  // folder: where the lock files live; empty: $XDG_RUNTIME_DIR, else the temporary folder.
  explicit TX11NamedMutexes(std::filesystem::path folder = {});
  TNamedMutex CreateNamedMutex(std::string_view name) override;
  // The lock file of name, for an owner that must remove it on an exit that runs no
  // destructors.
  std::filesystem::path LockFilePath(std::string_view name) const { return folder_ / LockFileName(name); }

 private:
  std::filesystem::path folder_;
};

}  // namespace lumora::platform
