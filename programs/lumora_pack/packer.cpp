#include "packer.h"

#include <zlib.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <array>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

namespace lumora::pack {
namespace {

std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::uint64_t kMaxPosition = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

// The output being written: a scratch file beside the target that takes the target's
// place only when everything is written; removed on every other way out.
class TOutput {
 public:
  TOutput(platform::IFileSystem& fs, const std::filesystem::path& target) : fs_(fs), target_(target) {
    std::filesystem::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const std::optional<std::filesystem::path> scratch = fs.CreateUniqueTempFile(dir, "pak");
    if (!scratch) throw EPackOutputError(Utf8(target) + ": cannot create a file in " + Utf8(dir));
    scratch_ = *scratch;
    file_ = fs.OpenExistingForWrite(scratch_);
    if (!file_) {
      fs.RemoveFile(scratch_);
      throw EPackOutputError(Utf8(target) + ": cannot write " + Utf8(scratch_));
    }
  }
  ~TOutput() {
    if (file_) file_->Close();
    if (!committed_) fs_.RemoveFile(scratch_);
  }
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  void Write(std::span<const std::byte> data) {
    if (!file_->Write(data)) throw EPackOutputError(Utf8(target_) + ": write failed (disk full?)");
    size_ += data.size();
  }
  void WriteU32(std::uint32_t v) {
    const std::array<std::byte, 4> b{std::byte(v & 0xFF), std::byte((v >> 8) & 0xFF), std::byte((v >> 16) & 0xFF),
                                     std::byte(v >> 24)};
    Write(b);
  }
  std::uint64_t Size() const { return size_; }
  void Commit() {
    const bool closed = file_->Close();
    file_.reset();
    if (!closed) throw EPackOutputError(Utf8(target_) + ": write failed (disk full?)");
#ifndef _WIN32
    // The scratch file is private while it is written; the finished file gets what a
    // new file normally gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::error_code ec;
    std::filesystem::permissions(scratch_, static_cast<std::filesystem::perms>(0666 & ~mask), ec);
#endif
    if (!fs_.MoveReplacing(scratch_, target_)) throw EPackOutputError(Utf8(target_) + ": cannot replace the file");
    committed_ = true;
  }

 private:
  platform::IFileSystem& fs_;
  std::filesystem::path target_;
  std::filesystem::path scratch_;
  std::unique_ptr<platform::IWritableFile> file_;
  std::uint64_t size_ = 0;
  bool committed_ = false;
};

class TDeflater {
 public:
  TDeflater() {
    if (deflateInit(&z_, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::bad_alloc();
  }
  ~TDeflater() { deflateEnd(&z_); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
  z_stream& Stream() { return z_; }

 private:
  z_stream z_{};
};

// Writes one entry (inflated size, then one zlib stream) from a source that fills the
// buffer it is given and returns how much it put there (0 at the end). Returns the
// stored size.
template <class TSource>
std::uint64_t WriteEntry(TOutput& out, std::uint32_t inflatedSize, TSource&& source) {
  out.WriteU32(inflatedSize);
  TDeflater deflater;
  z_stream& z = deflater.Stream();
  std::vector<std::byte> in(kChunk);
  std::vector<std::byte> buffer(kChunk);
  std::uint64_t compressed = 0;
  int flush = Z_NO_FLUSH;
  do {
    const std::size_t n = source(std::span<std::byte>(in));
    flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      const std::size_t produced = buffer.size() - z.avail_out;
      out.Write(std::span<const std::byte>(buffer.data(), produced));
      compressed += produced;
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  return 4 + compressed;
}

std::unique_ptr<platform::IReadableFile> OpenInput(platform::IFileSystem& fs, const std::filesystem::path& path,
                                                   const std::string& what) {
  std::unique_ptr<platform::IReadableFile> file = fs.OpenForReadDenyWrite(path);
  if (!file) throw EPackInputError(what + ", path \"" + Utf8(path) + "\": cannot open the file");
  return file;
}

// The output may replace an older screen saver, but never a device, a folder or one of
// the files it is made from (the same file under any name, through links too).
void CheckOutput(const TPackOptions& options, const TShowFolder& folder) {
  const std::string what = "output, path \"" + Utf8(options.Output) + "\": ";
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(options.Output, ec);
  if (!std::filesystem::exists(status)) return;
  if (!std::filesystem::is_regular_file(status))
    throw EPackInputError(what + "exists and is not a regular file; lumora-pack replaces only files");
  const auto same = [&](const std::filesystem::path& input) {
    std::error_code e;
    return std::filesystem::equivalent(options.Output, input, e) && !e;
  };
  if (same(options.Template)) throw EPackInputError(what + "is the template; choose another output");
  if (same(folder.IniPath)) throw EPackInputError(what + "is the show's show.ini; choose another output");
  for (const TFolderEntry& entry : folder.Entries)
    if (same(entry.Path))
      throw EPackInputError(what + "is \"" + entry.Written + "\", a file of the show; choose another output");
}

}  // namespace

TPackResult PackShow(platform::IFileSystem& fs, const TPackOptions& options) {
  const TShowFolder folder = ReadShowFolder(fs, options.ShowFolder);
  if (!fs.FileExists(options.Template))
    throw EPackInputError("template, path \"" + Utf8(options.Template) + "\": file not found");
  const std::unique_ptr<platform::IReadableFile> templ = OpenInput(fs, options.Template, "template");
  CheckOutput(options, folder);

  std::uint64_t total = 0;
  for (const TFolderEntry& e : folder.Entries) total += e.Size;
  const bool progress = options.Progress && total >= kProgressThreshold;

  TOutput out(fs, options.Output);
  // The template, copied as it is.
  {
    std::vector<std::byte> buffer(kChunk);
    for (std::uint64_t done = 0; done < templ->Size();) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), templ->Size() - done));
      if (!templ->ReadAt(done, std::span<std::byte>(buffer.data(), n)))
        throw EPackInputError("template, path \"" + Utf8(options.Template) + "\": cannot read the file");
      out.Write(std::span<const std::byte>(buffer.data(), n));
      done += n;
    }
  }

  std::vector<TEntryPlacement> placements;
  for (std::size_t i = 0; i < folder.Entries.size(); ++i) {
    const TFolderEntry& entry = folder.Entries[i];
    const std::string what = Utf8(folder.IniPath) + ", path \"" + entry.Written + "\"";
    if (progress) options.Progress(i + 1, folder.Entries.size(), entry.Written, entry.Size);
    const std::unique_ptr<platform::IReadableFile> file = fs.OpenForReadDenyWrite(entry.Path);
    if (!file) throw EPackInputError(what + ": cannot open the file");
    if (file->Size() != entry.Size) throw EPackInputError(what + ": the file changed while packing");
    const std::uint64_t position = out.Size();
    if (position > kMaxPosition) throw EPackInputError("the show is larger than 2 GiB, more than a screen saver can address");
    std::uint64_t done = 0;
    const std::uint64_t stored =
        WriteEntry(out, static_cast<std::uint32_t>(entry.Size), [&](std::span<std::byte> buffer) -> std::size_t {
          const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), entry.Size - done));
          if (n == 0) return 0;
          if (!file->ReadAt(done, buffer.first(n))) throw EPackInputError(what + ": cannot read the file");
          done += n;
          return n;
        });
    placements.push_back(TEntryPlacement{static_cast<std::int32_t>(position), static_cast<std::int32_t>(stored)});
  }

  const std::string config = BuildConfigText(folder, placements);
  const std::uint64_t configPosition = out.Size();
  std::size_t configDone = 0;
  const std::uint64_t configStored =
      WriteEntry(out, static_cast<std::uint32_t>(config.size()), [&](std::span<std::byte> buffer) -> std::size_t {
        const std::size_t n = std::min(buffer.size(), config.size() - configDone);
        std::memcpy(buffer.data(), config.data() + configDone, n);
        configDone += n;
        return n;
      });
  if (configPosition + configStored > kMaxPosition)
    throw EPackInputError("the show is larger than 2 GiB, more than a screen saver can address");

  TPackResult result;
  result.Warnings = folder.Warnings;
  result.EntryCount = folder.Entries.size();
  result.ConfigPosition = static_cast<std::int32_t>(configPosition);
  result.ConfigStoredSize = static_cast<std::int32_t>(configStored);
  out.WriteU32(1);
  out.WriteU32(options.InstallGate ? 1 : 0);
  out.WriteU32(static_cast<std::uint32_t>(result.ConfigPosition));
  out.WriteU32(static_cast<std::uint32_t>(result.ConfigStoredSize));
  result.FileSize = out.Size();
  out.Commit();
  return result;
}

std::filesystem::path PackFolderForPlaying(platform::IFileSystem& fs, const std::filesystem::path& folder,
                                           const std::filesystem::path& dir, std::vector<std::string>* warnings) {
  const std::filesystem::path stub = dir / "template.bin";
  std::ofstream(stub, std::ios::binary) << "MZ";
  TPackOptions options;
  options.ShowFolder = folder;
  options.Template = stub;
  options.Output = dir / "show.scr";
  TPackResult result = PackShow(fs, options);
  if (warnings != nullptr) *warnings = std::move(result.Warnings);
  return options.Output;
}

}  // namespace lumora::pack
