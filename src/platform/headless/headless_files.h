// File system of the headless backend: real files in a folder of the caller's
// choosing, with the temporary-name rules of the Windows backend, so that tests
// and tools see the same names the product makes.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace lumora::platform {

class THeadlessFileSystem final : public IFileSystem {
 public:
  // executable: the file that plays the part of the running executable (default: this
  // process's own). tempDir: the temporary folder (default: TMPDIR, else /tmp).
  explicit THeadlessFileSystem(std::optional<std::filesystem::path> executable = std::nullopt,
                               std::optional<std::filesystem::path> tempDir = std::nullopt);

  void SetExecutablePath(std::filesystem::path path) { executable_ = std::move(path); }
  void SetTempDirectory(std::optional<std::filesystem::path> dir) { tempDir_ = std::move(dir); }
  void SetWindowsDirectory(std::optional<std::filesystem::path> dir) { windowsDir_ = std::move(dir); }
  void SetSystemDirectory(std::optional<std::filesystem::path> dir) { systemDir_ = std::move(dir); }
  // Plays a folder that the user may read but not change, as a standard user meets the
  // Windows folder: creating, patching and removing files in it are denied.
  void DenyWritesIn(std::filesystem::path dir) { denied_.push_back(std::move(dir)); }
  // Plays a file that a running process holds open: creating it fails with a sharing
  // violation.
  void HoldOpen(std::filesystem::path path) { held_.push_back(std::move(path)); }

  std::filesystem::path ExecutablePath() override;
  std::unique_ptr<IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& path) override;
  std::optional<std::filesystem::path> TempDirectory() override;
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& dir,
                                                            std::string_view prefix) override;
  bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool RemoveFile(const std::filesystem::path& path) override;
  std::unique_ptr<IWritableFile> OpenExistingForWrite(const std::filesystem::path& path) override;
  std::unique_ptr<IWritableFile> CreateForWrite(const std::filesystem::path& path) override;
  std::filesystem::path PathFromPayloadText(std::string_view text) override;
  bool FileExists(const std::filesystem::path& path) override;
  std::optional<std::filesystem::path> StoredFileName(const std::filesystem::path& path) override;
  bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::optional<std::filesystem::path> WindowsDirectory() override { return windowsDir_; }
  std::optional<std::filesystem::path> SystemDirectory() override { return systemDir_; }
  std::unique_ptr<IWritableFile> CreateForWriteChecked(const std::filesystem::path& path,
                                                       TFileFailure& failure) override;
  std::unique_ptr<IPatchableFile> OpenForPatch(const std::filesystem::path& path) override;

 private:
  bool Denied(const std::filesystem::path& path) const;

  std::filesystem::path executable_;
  std::optional<std::filesystem::path> tempDir_;
  std::optional<std::filesystem::path> windowsDir_;
  std::optional<std::filesystem::path> systemDir_;
  std::vector<std::filesystem::path> denied_;
  std::vector<std::filesystem::path> held_;
  std::uint32_t nextUnique_;
};

// Opens a file for positional reads (no sharing rules on this platform).
std::unique_ptr<IReadableFile> OpenPosixReadableFile(const std::filesystem::path& path);

}  // namespace lumora::platform
