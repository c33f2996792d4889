#include "temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <system_error>

namespace lumora::tools {
namespace {

constexpr std::string_view kPrefix = "lumora-render-";
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The folder as the signal handler sees it: an open descriptor and its path, set up
// before the handlers are installed, so that the handler allocates nothing.
int gFolderFd = -1;
char gFolderPath[4096] = {};

// Removes the files of the folder and the folder with system calls only (the run's
// folder holds plain files, no subfolders), as a signal handler may.
void RemoveFolderFromHandler() {
  if (gFolderFd < 0) return;
  alignas(8) static char buffer[8192];
  for (;;) {
    const long n = ::syscall(SYS_getdents64, gFolderFd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      // struct linux_dirent64: inode, offset, record length, type, name.
      const unsigned short length = *reinterpret_cast<unsigned short*>(buffer + at + 16);
      const char* name = buffer + at + 19;
      if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))) ::unlinkat(gFolderFd, name, 0);
      at += length;
    }
  }
  ::rmdir(gFolderPath);
}

void OnSignal(int signal) {
  RemoveFolderFromHandler();
  // Then end as the signal would have ended the process.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

bool ProcessGone(std::string_view digits) {
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  const pid_t pid = static_cast<pid_t>(std::stol(std::string(digits)));
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

TRenderTempFolder::TRenderTempFolder() {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path();
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(base, ec)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with(kPrefix) && ProcessGone(std::string_view(name).substr(kPrefix.size())) &&
        e.is_directory(ec) && !e.is_symlink(ec)) {
      fs::remove_all(e.path(), ec);
    }
  }
  path_ = base / (std::string(kPrefix) + std::to_string(::getpid()));
  fs::create_directories(path_);
  const std::string text = path_.string();
  if (text.size() < sizeof gFolderPath) {
    text.copy(gFolderPath, text.size());
    gFolderPath[text.size()] = 0;
    gFolderFd = ::open(gFolderPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  for (const int s : kSignals) ::signal(s, OnSignal);
}

TRenderTempFolder::~TRenderTempFolder() {
  for (const int s : kSignals) ::signal(s, SIG_DFL);
  if (gFolderFd >= 0) ::close(gFolderFd);
  gFolderFd = -1;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace lumora::tools
#endif
