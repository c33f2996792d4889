#include "platform/headless/headless_files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora::platform {
namespace {

// Writes all of data through write(pointer, count, bytes done so far), again after an
// interruption; false when a write fails or writes nothing.
template <typename TWrite>
bool WriteAll(std::span<const std::byte> data, TWrite write) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(data.data() + done, data.size() - done, done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Closes fd once; a second close, or a failed one, is false.
bool CloseFd(int& fd) {
  if (fd < 0) return false;
  const int rc = ::close(fd);
  fd = -1;
  return rc == 0;
}

class TPosixReadableFile final : public IReadableFile {
 public:
  TPosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~TPosixReadableFile() override { ::close(fd_); }
  TPosixReadableFile(const TPosixReadableFile&) = delete;
  TPosixReadableFile& operator=(const TPosixReadableFile&) = delete;

  std::uint64_t Size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, std::span<std::byte> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

class TPosixWritableFile final : public IWritableFile {
 public:
  explicit TPosixWritableFile(int fd) : fd_(fd) {}
  ~TPosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  TPosixWritableFile(const TPosixWritableFile&) = delete;
  TPosixWritableFile& operator=(const TPosixWritableFile&) = delete;

  bool Write(std::span<const std::byte> data) override {
    return WriteAll(data, [this](const std::byte* p, std::size_t n, std::size_t) { return ::write(fd_, p, n); });
  }

  bool Close() override { return CloseFd(fd_); }

 private:
  int fd_;
};

class TPosixPatchableFile final : public IPatchableFile {
 public:
  TPosixPatchableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~TPosixPatchableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  TPosixPatchableFile(const TPosixPatchableFile&) = delete;
  TPosixPatchableFile& operator=(const TPosixPatchableFile&) = delete;

  std::uint64_t Size() const override { return size_; }

  bool WriteAt(std::uint64_t offset, std::span<const std::byte> data) override {
    return WriteAll(data, [this, offset](const std::byte* p, std::size_t n, std::size_t done) {
      return ::pwrite(fd_, p, n, static_cast<off_t>(offset + done));
    });
  }

  bool Close() override { return CloseFd(fd_); }

 private:
  int fd_;
  std::uint64_t size_;
};

std::filesystem::path DefaultTempDir() {
  const char* env = std::getenv("TMPDIR");
  if (env != nullptr && *env != '\0') return env;
  return "/tmp";
}

}  // namespace

std::unique_ptr<IReadableFile> OpenPosixReadableFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixReadableFile>(fd, static_cast<std::uint64_t>(st.st_size));
}

THeadlessFileSystem::THeadlessFileSystem(std::optional<std::filesystem::path> executable,
                                         std::optional<std::filesystem::path> tempDir)
    : executable_(executable ? *executable : std::filesystem::path("/proc/self/exe")),
      tempDir_(tempDir ? tempDir : std::optional<std::filesystem::path>(DefaultTempDir())),
      // Deterministic start, unlike the system's tick-based one; collisions are skipped.
      nextUnique_(1) {}

std::filesystem::path THeadlessFileSystem::ExecutablePath() { return executable_; }

std::unique_ptr<IReadableFile> THeadlessFileSystem::OpenForReadDenyWrite(const std::filesystem::path& path) {
  return OpenPosixReadableFile(path);
}

std::optional<std::filesystem::path> THeadlessFileSystem::TempDirectory() { return tempDir_; }

std::optional<std::filesystem::path> THeadlessFileSystem::CreateUniqueTempFile(const std::filesystem::path& dir,
                                                                              std::string_view prefix) {
  // As the system does it: up to four hex digits after the prefix, extension "tmp",
  // trying the next number while the name is taken.
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    // The show's work ahead takes names from a worker thread too.
    const std::uint32_t unique = std::atomic_ref<std::uint32_t>(nextUnique_).fetch_add(1) & 0xFFFF;
    if (unique == 0) continue;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", unique);
    std::filesystem::path candidate = dir / (std::string(prefix) + hex + ".tmp");
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return candidate;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

bool THeadlessFileSystem::RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  // The system's move refuses to replace an existing file; so do we.
  if (::access(to.c_str(), F_OK) == 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool THeadlessFileSystem::RemoveFile(const std::filesystem::path& path) {
  if (Denied(path)) return false;
  return ::unlink(path.c_str()) == 0;
}

std::unique_ptr<IWritableFile> THeadlessFileSystem::OpenExistingForWrite(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<TPosixWritableFile>(fd);
}

std::unique_ptr<IWritableFile> THeadlessFileSystem::CreateForWrite(const std::filesystem::path& path) {
  if (Denied(path)) return nullptr;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  return std::make_unique<TPosixWritableFile>(fd);
}

std::filesystem::path THeadlessFileSystem::PathFromPayloadText(std::string_view text) {
  return std::filesystem::path(std::string(text));
}

bool THeadlessFileSystem::FileExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::filesystem::path> THeadlessFileSystem::StoredFileName(const std::filesystem::path& path) {
  // Names here are taken exactly as stored; there is no letter case to correct.
  if (!FileExists(path)) return std::nullopt;
  return path.filename();
}

bool THeadlessFileSystem::MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  // rename() replaces the target in one step.
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::unique_ptr<IWritableFile> THeadlessFileSystem::CreateForWriteChecked(const std::filesystem::path& path,
                                                                            TFileFailure& failure) {
  failure = TFileFailure::None;
  if (Denied(path)) {
    failure = TFileFailure::AccessDenied;
    return nullptr;
  }
  for (const std::filesystem::path& held : held_) {
    if (held.lexically_normal() == path.lexically_normal()) {
      failure = TFileFailure::SharingViolation;
      return nullptr;
    }
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    failure = errno == EACCES || errno == EPERM ? TFileFailure::AccessDenied : TFileFailure::Other;
    return nullptr;
  }
  return std::make_unique<TPosixWritableFile>(fd);
}

std::unique_ptr<IPatchableFile> THeadlessFileSystem::OpenForPatch(const std::filesystem::path& path) {
  if (Denied(path)) return nullptr;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixPatchableFile>(fd, static_cast<std::uint64_t>(st.st_size));
}

bool THeadlessFileSystem::Denied(const std::filesystem::path& path) const {
  for (const std::filesystem::path& dir : denied_) {
    if (path.parent_path().lexically_normal() == dir.lexically_normal()) return true;
  }
  return false;
}

}  // namespace lumora::platform
