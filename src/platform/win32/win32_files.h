// File system of the Windows backend, through the wide-character API so that
// folders whose names the ANSI code page cannot spell still work.
#pragma once

#include "platform/files.h"
#include "platform/win32/win32_unicode.h"

namespace lumora::platform {

class TWin32FileSystem final : public IFileSystem {
 public:
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
  std::optional<std::filesystem::path> WindowsDirectory() override;
  std::optional<std::filesystem::path> SystemDirectory() override;
  bool CopyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) override;
  std::unique_ptr<IWritableFile> CreateForWriteChecked(const std::filesystem::path& path,
                                                       TFileFailure& failure) override;
  std::unique_ptr<IPatchableFile> OpenForPatch(const std::filesystem::path& path) override;
};

// Converts text in the ANSI code page to UTF-16.
std::wstring WideFromAnsi(std::string_view text);
// Converts text in a code page (0 the ANSI one, 1 the OEM one, see CodePageOfCharset)
// to UTF-16; a code page the system lacks is taken as the ANSI one.
std::wstring WideFromCodePage(std::string_view text, unsigned codePage);

}  // namespace lumora::platform
