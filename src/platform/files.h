// What the core needs of the machine's file system: the running executable,
// the temporary folder and its unique names, and plain file handles.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lumora::platform {

// A file opened for reading at arbitrary offsets.
class IReadableFile {
 public:
  virtual ~IReadableFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly buffer.size() bytes at offset; false on a short read or an error.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::byte> buffer) = 0;
};

// A file opened for sequential writing.
class IWritableFile {
 public:
  virtual ~IWritableFile() = default;
  virtual bool Write(std::span<const std::byte> data) = 0;
  // Flushes and closes; false when the data did not reach the file.
  virtual bool Close() = 0;
};

// Why a file could not be created, where the caller acts on the reason.
// SharingViolation: another process has the file open (a running screen saver).
enum class TFileFailure { None, AccessDenied, SharingViolation, Other };

// A file opened for writing in place: its content stays, each write lands at an offset.
class IPatchableFile {
 public:
  virtual ~IPatchableFile() = default;
  virtual std::uint64_t Size() const = 0;
  virtual bool WriteAt(std::uint64_t offset, std::span<const std::byte> data) = 0;
  // Flushes and closes; false when the data did not reach the file.
  virtual bool Close() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Full path of the running executable, as the process was started.
  virtual std::filesystem::path ExecutablePath() = 0;

  // Opens for reading, sharing read access and denying write access to others.
  virtual std::unique_ptr<IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& path) = 0;

  // The system's temporary folder, with a trailing separator where the system gives one.
  virtual std::optional<std::filesystem::path> TempDirectory() = 0;

  // Creates a new empty file "<prefix><hex>.tmp" in dir under a name nobody else holds,
  // and returns its full path.
  virtual std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& dir,
                                                                    std::string_view prefix) = 0;

  virtual bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual bool RemoveFile(const std::filesystem::path& path) = 0;

  // Opens an existing file for writing, truncating it; null when it does not exist.
  virtual std::unique_ptr<IWritableFile> OpenExistingForWrite(const std::filesystem::path& path) = 0;

  // Creates or truncates a file for writing.
  virtual std::unique_ptr<IWritableFile> CreateForWrite(const std::filesystem::path& path) = 0;

  // Turns text from the payload (the author's ANSI code page) into a path fragment.
  virtual std::filesystem::path PathFromPayloadText(std::string_view text) = 0;

  // The operations below have portable fallbacks built on the ones above; the backends
  // override them with the system's own calls.

  // Whether a regular file exists at path.
  virtual bool FileExists(const std::filesystem::path& path) { return OpenForReadDenyWrite(path) != nullptr; }

  // The name part of an existing file as the file system stores it (its letter case may
  // differ from the one asked for); nullopt when there is no such file.
  virtual std::optional<std::filesystem::path> StoredFileName(const std::filesystem::path& path) {
    if (!FileExists(path)) return std::nullopt;
    return path.filename();
  }

  // Moves from over to, replacing to if it exists. The backends do it in one step, so
  // that to is always either the old or the new file. The fallback removes to first.
  virtual bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (FileExists(to) && !RemoveFile(to)) return false;
    return RenameFile(from, to);
  }

  // Installing: the Windows folder, creation with the reason of a failure, and writes
  // in place. The fallbacks know no Windows folder and cannot patch.

  // The Windows folder as the system gives it; nullopt where there is none.
  virtual std::optional<std::filesystem::path> WindowsDirectory() { return std::nullopt; }
  // Whether two paths name the same file by the system's rules (Windows: without regard
  // to case, short names as long ones).
  virtual bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.lexically_normal() == b.lexically_normal();
  }
  // The system folder (where shared components live); nullopt where there is none.
  virtual std::optional<std::filesystem::path> SystemDirectory() { return std::nullopt; }

  // Copies from to to, replacing a file there. The fallback streams it through the
  // operations above.
  virtual bool CopyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::unique_ptr<IReadableFile> in = OpenForReadDenyWrite(from);
    if (!in) return false;
    std::unique_ptr<IWritableFile> out = CreateForWrite(to);
    if (!out) return false;
    std::vector<std::byte> buffer(64 * 1024);
    for (std::uint64_t at = 0, size = in->Size(); at < size;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
      if (!in->ReadAt(at, std::span(buffer.data(), n)) || !out->Write(std::span(buffer.data(), n))) {
        out->Close();
        RemoveFile(to);
        return false;
      }
      at += n;
    }
    return out->Close();
  }

  // As CreateForWrite; on failure, failure tells whether the user lacks the rights.
  virtual std::unique_ptr<IWritableFile> CreateForWriteChecked(const std::filesystem::path& path,
                                                               TFileFailure& failure) {
    std::unique_ptr<IWritableFile> file = CreateForWrite(path);
    failure = file ? TFileFailure::None : TFileFailure::Other;
    return file;
  }

  // Opens an existing file for writing in place; null when it cannot be opened.
  virtual std::unique_ptr<IPatchableFile> OpenForPatch(const std::filesystem::path& path) {
    (void)path;
    return nullptr;
  }
};

}  // namespace lumora::platform
