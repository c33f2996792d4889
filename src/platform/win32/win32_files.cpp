#include "platform/win32/win32_files.h"

#include <windows.h>

#include <string>
#include <vector>

namespace lumora::platform {
namespace {

class THandle {
 public:
  explicit THandle(HANDLE h) : h_(h) {}
  ~THandle() {
    if (Valid()) ::CloseHandle(h_);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

// Reads or writes size bytes at offset, in pieces the system takes at once; false when
// a transfer fails or moves nothing.
template <typename TByte, typename TTransfer>
bool TransferAt(HANDLE h, std::uint64_t offset, TByte* data, std::size_t size, TTransfer transfer) {
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED ov{};
    const std::uint64_t at = offset + done;
    ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(at >> 32);
    const std::size_t want = size - done;
    const DWORD chunk = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
    DWORD moved = 0;
    if (!transfer(h, data + done, chunk, &moved, &ov) || moved == 0) return false;
    done += moved;
  }
  return true;
}

class TWin32ReadableFile final : public IReadableFile {
 public:
  TWin32ReadableFile(HANDLE h, std::uint64_t size) : h_(h), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> buffer) override {
    return TransferAt(h_.Get(), offset, buffer.data(), buffer.size(), ::ReadFile);
  }

 private:
  THandle h_;
  std::uint64_t size_;
};

class TWin32WritableFile final : public IWritableFile {
 public:
  explicit TWin32WritableFile(HANDLE h) : h_(h) {}
  bool Write(std::span<const std::byte> data) override {
    std::size_t done = 0;
    while (done < data.size()) {
      const std::size_t want = data.size() - done;
      const DWORD chunk = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
      DWORD written = 0;
      if (!::WriteFile(h_.Get(), data.data() + done, chunk, &written, nullptr) || written == 0) return false;
      done += written;
    }
    return true;
  }
  bool Close() override {
    if (!h_.Valid()) return false;
    return ::CloseHandle(h_.Release()) != 0;
  }

 private:
  THandle h_;
};

class TWin32PatchableFile final : public IPatchableFile {
 public:
  TWin32PatchableFile(HANDLE h, std::uint64_t size) : h_(h), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool WriteAt(std::uint64_t offset, std::span<const std::byte> data) override {
    return TransferAt(h_.Get(), offset, data.data(), data.size(), ::WriteFile);
  }
  bool Close() override {
    if (!h_.Valid()) return false;
    return ::CloseHandle(h_.Release()) != 0;
  }

 private:
  THandle h_;
  std::uint64_t size_;
};

}  // namespace

std::wstring WideFromAnsi(std::string_view text) { return WideFromCodePage(text, CP_ACP); }

std::wstring WideFromCodePage(std::string_view text, unsigned codePage) {
  if (text.empty()) return {};
  int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  // A code page this system lacks: the ANSI one, as before.
  if (n <= 0 && codePage != CP_ACP) return WideFromCodePage(text, CP_ACP);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return out;
}

std::filesystem::path TWin32FileSystem::ExecutablePath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::filesystem::path(std::wstring(buf.data(), n));
    buf.resize(buf.size() * 2);
  }
}

std::unique_ptr<IReadableFile> TWin32FileSystem::OpenForReadDenyWrite(const std::filesystem::path& path) {
  THandle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return nullptr;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h.Get(), &size) || size.QuadPart < 0) return nullptr;
  return std::make_unique<TWin32ReadableFile>(h.Release(), static_cast<std::uint64_t>(size.QuadPart));
}

std::optional<std::filesystem::path> TWin32FileSystem::TempDirectory() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  return std::filesystem::path(std::wstring(buf, n));
}

std::optional<std::filesystem::path> TWin32FileSystem::CreateUniqueTempFile(const std::filesystem::path& dir,
                                                                           std::string_view prefix) {
  wchar_t name[MAX_PATH];
  const std::wstring widePrefix = WideFromAnsi(prefix);
  if (::GetTempFileNameW(dir.c_str(), widePrefix.c_str(), 0, name) == 0) return std::nullopt;
  return std::filesystem::path(name);
}

bool TWin32FileSystem::RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::MoveFileW(from.c_str(), to.c_str()) != 0;
}

bool TWin32FileSystem::RemoveFile(const std::filesystem::path& path) { return ::DeleteFileW(path.c_str()) != 0; }

std::unique_ptr<IWritableFile> TWin32FileSystem::OpenExistingForWrite(const std::filesystem::path& path) {
  THandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
  if (!h.Valid()) return nullptr;
  return std::make_unique<TWin32WritableFile>(h.Release());
}

std::unique_ptr<IWritableFile> TWin32FileSystem::CreateForWrite(const std::filesystem::path& path) {
  THandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return nullptr;
  return std::make_unique<TWin32WritableFile>(h.Release());
}

std::filesystem::path TWin32FileSystem::PathFromPayloadText(std::string_view text) {
  return std::filesystem::path(WideFromAnsi(text));
}

bool TWin32FileSystem::FileExists(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::filesystem::path> TWin32FileSystem::StoredFileName(const std::filesystem::path& path) {
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  ::FindClose(find);
  return std::filesystem::path(std::wstring(data.cFileName));
}

bool TWin32FileSystem::MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::optional<std::filesystem::path> TWin32FileSystem::WindowsDirectory() {
  wchar_t buf[MAX_PATH + 1];
  const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  return std::filesystem::path(std::wstring(buf, n));
}

std::optional<std::filesystem::path> TWin32FileSystem::SystemDirectory() {
  wchar_t buf[MAX_PATH + 1];
  const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  return std::filesystem::path(std::wstring(buf, n));
}

bool TWin32FileSystem::CopyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

std::unique_ptr<IWritableFile> TWin32FileSystem::CreateForWriteChecked(const std::filesystem::path& path,
                                                                       TFileFailure& failure) {
  THandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) {
    const DWORD error = ::GetLastError();
    failure = error == ERROR_ACCESS_DENIED        ? TFileFailure::AccessDenied
              : error == ERROR_SHARING_VIOLATION  ? TFileFailure::SharingViolation
                                                  : TFileFailure::Other;
    return nullptr;
  }
  failure = TFileFailure::None;
  return std::make_unique<TWin32WritableFile>(h.Release());
}

namespace {

// A path in its long form, as complete as the system can make it.
std::wstring LongFullPath(const std::filesystem::path& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return path.wstring();
  full.resize(n);
  std::wstring longer(MAX_PATH, L'\0');
  n = ::GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
  if (n >= longer.size()) {
    longer.resize(n);
    n = ::GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
  }
  if (n == 0 || n >= longer.size()) return full;  // gone already: compare as given
  longer.resize(n);
  return longer;
}

}  // namespace

bool TWin32FileSystem::SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::wstring x = LongFullPath(a);
  const std::wstring y = LongFullPath(b);
  return ::CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(), static_cast<int>(y.size()), TRUE) ==
         CSTR_EQUAL;
}

std::unique_ptr<IPatchableFile> TWin32FileSystem::OpenForPatch(const std::filesystem::path& path) {
  THandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return nullptr;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h.Get(), &size) || size.QuadPart < 0) return nullptr;
  return std::make_unique<TWin32PatchableFile>(h.Release(), static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace lumora::platform
