#include "platform/x11/x11_named_mutex.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora::platform {
namespace {

class TLockFile final : public INamedMutex {
 public:
  // owner: the file is removed on release (nothing is left in the folder), before the
  // lock goes; a process that opened it meanwhile sees that it locked a removed file.
  TLockFile(int fd, std::filesystem::path owned) : fd_(fd), owned_(std::move(owned)) {}
  ~TLockFile() override {
    if (!owned_.empty()) ::unlink(owned_.c_str());
    ::close(fd_);
  }
  TLockFile(const TLockFile&) = delete;
  TLockFile& operator=(const TLockFile&) = delete;

 private:
  int fd_;
  std::filesystem::path owned_;
};

// The locked descriptor is still the file at path (no owner removed it in between).
bool StillThere(int fd, const std::filesystem::path& path) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

std::string LockFileName(std::string_view name) {
  std::string file = "lumora-";
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.') {
      file += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", u);
      file += escaped;
    }
  }
  return file + ".lock";
}

TX11NamedMutexes::TX11NamedMutexes(std::filesystem::path folder) : folder_(std::move(folder)) {
  if (!folder_.empty()) return;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code ec;
  folder_ = runtime != nullptr && *runtime != '\0' ? std::filesystem::path(runtime)
                                                   : std::filesystem::temp_directory_path(ec);
}

TNamedMutex TX11NamedMutexes::CreateNamedMutex(std::string_view name) {
  TNamedMutex result;
  const std::filesystem::path path = folder_ / LockFileName(name);
  // A few rounds: each lost one means an owner just left and removed its file.
  for (int round = 0; round < 8; ++round) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return result;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) {
        ::close(fd);
        return result;
      }
      result.Outcome = TMutexOutcome::AlreadyExisted;
      result.Handle = std::make_unique<TLockFile>(fd, std::filesystem::path());
      return result;
    }
    if (StillThere(fd, path)) {
      result.Outcome = TMutexOutcome::Created;
      result.Handle = std::make_unique<TLockFile>(fd, path);
      return result;
    }
    ::close(fd);
  }
  return result;
}

}  // namespace lumora::platform
