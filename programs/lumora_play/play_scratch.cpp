#include "play_scratch.h"

#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora::tools {
namespace fs = std::filesystem;

namespace {

// The process id of a name "<prefix><digits>", or 0.
pid_t OwnerOf(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return 0;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos) return 0;
  return static_cast<pid_t>(std::stol(std::string(digits)));
}

}  // namespace

void RemoveDeadScratchFolders(const fs::path& base, std::string_view prefix) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(base, ec)) {
    const pid_t pid = OwnerOf(e.path().filename().string(), prefix);
    if (pid <= 0 || pid == ::getpid()) continue;
    // The process is there (or is somebody else's, which we may not ask about).
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    const int fd = ::open(e.path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    // A lock held means a live owner of another process namespace sharing this folder.
    if (::fstat(fd, &info) == 0 && info.st_uid == ::getuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code ignored;
      fs::remove_all(e.path(), ignored);
    }
    ::close(fd);
  }
}

TPlayScratch::TPlayScratch(fs::path base) {
  if (base.empty()) base = fs::temp_directory_path();
  RemoveDeadScratchFolders(base);
  path_ = base / (std::string(kPlayScratchPrefix) + std::to_string(::getpid()));
  // A folder of our own process id is a dead process's: its id is ours now.
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  fs::create_directory(path_);
  lock_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (lock_ >= 0) ::flock(lock_, LOCK_EX | LOCK_NB);
}

TPlayScratch::~TPlayScratch() { Remove(); }

void TPlayScratch::Remove() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
  if (lock_ >= 0) ::close(lock_);
  lock_ = -1;
}

}  // namespace lumora::tools
