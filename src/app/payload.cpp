#include "app/payload.h"

#include "imaging/codecs/codec_table.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace lumora {
namespace {

std::atomic<int> gExtractionsInProgress{0};

// Counts one extraction for as long as it runs, whichever way it ends.
class TExtractionGuard {
 public:
  explicit TExtractionGuard(bool counted) : counted_(counted) {
    if (counted_) ++gExtractionsInProgress;
  }
  ~TExtractionGuard() {
    if (counted_) --gExtractionsInProgress;
  }
  TExtractionGuard(const TExtractionGuard&) = delete;
  TExtractionGuard& operator=(const TExtractionGuard&) = delete;

 private:
  bool counted_;
};

class TInflater {
 public:
  // raw: the deflate data alone, after a zlib header the caller has checked and skipped;
  // its checksum is then neither computed nor read.
  explicit TInflater(bool raw) { ok_ = inflateInit2(&z_, raw ? -MAX_WBITS : MAX_WBITS) == Z_OK; }
  ~TInflater() {
    if (ok_) inflateEnd(&z_);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  bool Ok() const { return ok_; }
  z_stream& Stream() { return z_; }

 private:
  z_stream z_{};
  bool ok_ = false;
};

// Chunk sizes bound the memory of one extraction whatever the entry's size.
constexpr std::size_t kInputChunk = 256 * 1024;
constexpr std::size_t kOutputChunk = 256 * 1024;
// Inflated bytes between two questions to the caller's check: a few milliseconds.
constexpr std::uint64_t kCheckBytes = 1u << 20;
// Deflate cannot expand data more than about 1032 to 1; a larger recorded size is forged.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

std::uint32_t LittleEndian32(const std::array<std::byte, 4>& b) {
  return std::to_integer<std::uint32_t>(b[0]) | (std::to_integer<std::uint32_t>(b[1]) << 8) |
         (std::to_integer<std::uint32_t>(b[2]) << 16) | (std::to_integer<std::uint32_t>(b[3]) << 24);
}

// Lets a picture's bytes through only while its decoder could still take them: the
// head is held back until the codec's header check has seen it; a refusal stops the
// inflation at once, and the inflation also stops after the bytes the decoder needs.
class TPictureGate {
 public:
  TPictureGate(const codecs::TCodecEntry& codec, std::uint64_t size, TEntrySink next)
      : codec_(codec),
        size_(size),
        next_(std::move(next)),
        headSize_(static_cast<std::size_t>(std::min<std::uint64_t>(size, codecs::TProbeSource::kHeadSize))) {
    head_.reserve(headSize_);
  }

  bool Take(std::span<const std::byte> chunk) {
    if (!needed_) {
      const std::size_t room = headSize_ - head_.size();
      const std::size_t n = std::min(room, chunk.size());
      head_.insert(head_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
      chunk = chunk.subspan(n);
      if (head_.size() < headSize_) return true;
      needed_ = codecs::ProbeFile(codec_, codecs::TProbeSource(head_, size_));
      if (!needed_) {
        refused_ = true;
        return false;
      }
      if (!Pass(head_)) return false;
      head_ = {};
    }
    return Pass(chunk);
  }
  bool Refused() const { return refused_; }
  bool Probed() const { return needed_.has_value(); }
  // All that the decoder needs has been passed on; the rest was not inflated.
  bool Complete() const { return needed_ && passed_ >= *needed_; }
  std::uint64_t Passed() const { return passed_; }

 private:
  bool Pass(std::span<const std::byte> bytes) {
    const std::uint64_t n = std::min<std::uint64_t>(bytes.size(), *needed_ - passed_);
    if (n > 0 && !next_(bytes.first(static_cast<std::size_t>(n)))) return false;
    passed_ += n;
    return passed_ < *needed_;
  }

  const codecs::TCodecEntry& codec_;
  std::uint64_t size_;
  TEntrySink next_;
  std::size_t headSize_;
  std::vector<std::byte> head_;
  std::optional<std::uint64_t> needed_;
  std::uint64_t passed_ = 0;
  bool refused_ = false;
};

// Inflates a picture entry through its codec's gate; Ok also when the gate stopped it
// after the bytes the decoder needs.
TEntryStatus InflatePicture(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                            std::uint32_t inflatedSize, const codecs::TCodecEntry& codec, const TEntrySink& sink,
                            const std::function<bool()>& proceed = {}) {
  TPictureGate gate(codec, inflatedSize, sink);
  const TEntryStatus status = InflateEntry(
      file, position, storedSize, [&](std::span<const std::byte> chunk) { return gate.Take(chunk); }, false, proceed);
  if (gate.Refused()) return TEntryStatus::NotAPicture;
  if (status == TEntryStatus::SinkFailed && gate.Complete()) return TEntryStatus::Ok;
  return status;
}

}  // namespace

int ExtractionsInProgress() { return gExtractionsInProgress.load(); }

std::optional<PayloadTrailer> ReadPayloadTrailer(platform::IReadableFile& file) {
  if (file.Size() < kPayloadTrailerSize) return std::nullopt;
  std::array<std::byte, kPayloadTrailerSize> raw{};
  if (!file.ReadAt(file.Size() - kPayloadTrailerSize, raw)) return std::nullopt;
  auto word = [&](std::size_t i) {
    std::array<std::byte, 4> b{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
    return LittleEndian32(b);
  };
  PayloadTrailer t;
  t.FlagWord = word(0);
  t.InstallGate = word(1);
  t.ConfigPosition = static_cast<std::int32_t>(word(2));
  t.ConfigStoredSize = static_cast<std::int32_t>(word(3));
  return t;
}

std::optional<PayloadTrailer> ReadPayloadTrailer(platform::IFileSystem& fs) {
  const std::unique_ptr<platform::IReadableFile> file = fs.OpenForReadDenyWrite(fs.ExecutablePath());
  if (!file) return std::nullopt;
  return ReadPayloadTrailer(*file);
}

std::string_view EntryStatusText(TEntryStatus status) {
  switch (status) {
    case TEntryStatus::Ok: return "ok";
    case TEntryStatus::NoEntry: return "no entry";
    case TEntryStatus::BadReference: return "reference outside the file";
    case TEntryStatus::ReadError: return "read error";
    case TEntryStatus::DamagedStream: return "damaged zlib data";
    case TEntryStatus::ShortStream: return "stream shorter than its recorded size";
    case TEntryStatus::TooLarge: return "too large to hold in memory";
    case TEntryStatus::SinkFailed: return "could not be written";
    case TEntryStatus::NotAPicture: return "not a picture of its format";
    case TEntryStatus::Stopped: return "stopped";
  }
  return "unknown";
}

TEntryStatus ReadEntryInflatedSize(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                                   std::uint32_t& inflatedSize) {
  if (position == -1 && storedSize == 0) return TEntryStatus::NoEntry;
  if (position < 0 || storedSize < 4) return TEntryStatus::BadReference;
  const std::uint64_t end = static_cast<std::uint64_t>(position) + static_cast<std::uint64_t>(storedSize);
  if (end > file.Size()) return TEntryStatus::BadReference;
  std::array<std::byte, 4> raw{};
  if (!file.ReadAt(static_cast<std::uint64_t>(position), raw)) return TEntryStatus::ReadError;
  inflatedSize = LittleEndian32(raw);
  return TEntryStatus::Ok;
}

TEntryStatus InflateEntry(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                          const TEntrySink& sink, bool strict, const std::function<bool()>& proceed) {
  std::uint32_t inflatedSize = 0;
  if (const TEntryStatus s = ReadEntryInflatedSize(file, position, storedSize, inflatedSize); s != TEntryStatus::Ok)
    return s;
  if (inflatedSize == 0 && !strict) return TEntryStatus::Ok;

  const std::uint64_t streamStart = static_cast<std::uint64_t>(position) + 4;
  const std::uint64_t streamSize = static_cast<std::uint64_t>(storedSize) - 4;
  // A plain reader stops at the recorded size, before the stream's checksum, so the
  // checksum need not be computed over every byte either: after a sound zlib header the
  // deflate data is inflated raw. Any other header goes to zlib, which judges it as before.
  bool raw = false;
  if (!strict && streamSize >= 2) {
    std::array<std::byte, 2> header{};
    if (!file.ReadAt(streamStart, header)) return TEntryStatus::ReadError;
    const unsigned cmf = std::to_integer<unsigned>(header[0]);
    const unsigned flg = std::to_integer<unsigned>(header[1]);
    raw = (cmf & 0x0F) == Z_DEFLATED && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0 && (flg & 0x20) == 0;
  }
  TInflater inflater(raw);
  if (!inflater.Ok()) return TEntryStatus::TooLarge;
  z_stream& z = inflater.Stream();

  std::uint64_t consumed = raw ? 2 : 0;
  std::uint64_t remaining = inflatedSize;
  // Buffers that zlib and the reads fill: not cleared first (clearing two of 256 KiB cost
  // more than inflating a small entry).
  const std::size_t inSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, std::max<std::uint64_t>(streamSize, 1)));
  const std::size_t outSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(kOutputChunk, std::max<std::uint64_t>(remaining, 1)));
  const std::unique_ptr<std::byte[]> in = std::make_unique_for_overwrite<std::byte[]>(inSize);
  const std::unique_ptr<std::byte[]> out = std::make_unique_for_overwrite<std::byte[]>(outSize);
  std::uint64_t sinceCheck = 0;

  for (;;) {
    if (z.avail_in == 0 && consumed < streamSize) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(inSize, streamSize - consumed));
      if (!file.ReadAt(streamStart + consumed, std::span(in.get(), n))) return TEntryStatus::ReadError;
      consumed += n;
      z.next_in = reinterpret_cast<Bytef*>(in.get());
      z.avail_in = static_cast<uInt>(n);
    }
    // Once the recorded size is delivered, a strict reader still asks for one more byte
    // to see that the stream really ends there.
    const std::size_t want =
        remaining > 0 ? static_cast<std::size_t>(std::min<std::uint64_t>(outSize, remaining)) : 1;
    z.next_out = reinterpret_cast<Bytef*>(out.get());
    z.avail_out = static_cast<uInt>(want);
    const int rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = want - z.avail_out;
    const bool damaged = rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR;
    // What lies after the recorded size is not read, so a plain reader that has its bytes
    // does not care whether zlib found the checksum in the same call.
    if (damaged && (strict || remaining == 0 || produced < remaining)) return TEntryStatus::DamagedStream;
    if (remaining == 0) {
      // Strict check only: anything after the recorded size, or no proper end, is damage.
      if (produced > 0) return TEntryStatus::DamagedStream;
      if (rc == Z_STREAM_END) return TEntryStatus::Ok;
      if (z.avail_in == 0 && consumed >= streamSize) return TEntryStatus::DamagedStream;
      continue;
    }
    if (produced > 0) {
      if (!sink(std::span<const std::byte>(out.get(), produced))) return TEntryStatus::SinkFailed;
      remaining -= produced;
      sinceCheck += produced;
      if (proceed && sinceCheck >= kCheckBytes && remaining > 0) {
        sinceCheck = 0;
        if (!proceed()) return TEntryStatus::Stopped;
      }
    }
    if (remaining == 0) {
      if (!strict) return TEntryStatus::Ok;
      if (rc == Z_STREAM_END) return TEntryStatus::Ok;
      continue;
    }
    if (rc == Z_STREAM_END) return TEntryStatus::ShortStream;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && consumed >= streamSize) return TEntryStatus::ShortStream;
    if (produced == 0 && z.avail_in == 0 && consumed >= streamSize) return TEntryStatus::ShortStream;
  }
}

bool IsSafeExtension(std::string_view extension) {
  for (const char c : extension) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

TEntryStatus CheckPictureHeader(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                                std::string_view extension) {
  std::uint32_t inflatedSize = 0;
  if (const TEntryStatus s = ReadEntryInflatedSize(file, position, storedSize, inflatedSize); s != TEntryStatus::Ok)
    return s;
  const std::string name = "tmp" + std::string(extension);
  const codecs::TCodecEntry* codec = codecs::FindCodec(std::filesystem::path(name).extension().string());
  if (codec == nullptr || codec->Decode == nullptr || codec->Probe == nullptr || inflatedSize == 0)
    return TEntryStatus::Ok;
  // Nothing past the check's head is inflated.
  TPictureGate gate(*codec, inflatedSize, [](std::span<const std::byte>) { return false; });
  const TEntryStatus status =
      InflateEntry(file, position, storedSize, [&](std::span<const std::byte> chunk) { return gate.Take(chunk); });
  if (gate.Refused()) return TEntryStatus::NotAPicture;
  return gate.Probed() ? TEntryStatus::Ok : status;
}

bool ExtractPayloadEntry(platform::IFileSystem& fs, TExtractMode mode, std::string_view extension,
                         std::int32_t position, std::filesystem::path& tempPath, std::unique_ptr<TPicture>& picture,
                         std::int32_t storedSize, const codecs::TDecodeRequest& request, bool holdsExit) {
  if (position == -1 && storedSize == 0) return false;
  const TExtractionGuard guard(holdsExit);
  // The caller's check runs its own code (it pumps messages); a failure in it stops the
  // extraction like a "no", through the paths that clean up.
  std::function<bool()> proceed;
  if (request.Continue) {
    proceed = [&request] {
      try {
        return request.Continue();
      } catch (...) {
        return false;
      }
    };
  }
  // The temporary file, once there is one; whatever fails after that removes it.
  std::filesystem::path target;
  try {
    const std::unique_ptr<platform::IReadableFile> file = fs.OpenForReadDenyWrite(fs.ExecutablePath());
    if (!file) return false;
    std::uint32_t inflatedSize = 0;
    if (ReadEntryInflatedSize(*file, position, storedSize, inflatedSize) != TEntryStatus::Ok) return false;

    // A picture inflated into memory: no more than the stream can possibly produce is
    // reserved (a forged size allocates nothing), and only what its decoder takes is inflated.
    std::vector<std::byte> data;
    const auto inflateIntoMemory = [&](const codecs::TCodecEntry& codec) {
      data.reserve(static_cast<std::size_t>(
          std::min<std::uint64_t>(inflatedSize, (static_cast<std::uint64_t>(storedSize) - 4) * kMaxDeflateRatio + 64)));
      return InflatePicture(*file, position, storedSize, inflatedSize, codec,
                            [&](std::span<const std::byte> chunk) {
                              data.insert(data.end(), chunk.begin(), chunk.end());
                              return true;
                            },
                            proceed) == TEntryStatus::Ok;
    };

    if (mode == TExtractMode::emMemoryBitmap) {
      if (inflatedSize > kMaxInMemoryEntrySize || !inflateIntoMemory(*codecs::FindCodec("bmp"))) return false;
      if (!picture) picture = std::make_unique<TPicture>();
      return picture->LoadBitmapFromMemory(data);
    }

    // Modes 1 and 2 write a file; an extension that could lead it out of the temporary
    // folder is refused before anything is created.
    if (!IsSafeExtension(extension)) return false;
    // A picture that no decoder of this build reads fails before it costs anything.
    const codecs::TCodecEntry* codec = nullptr;
    if (mode == TExtractMode::emPictureFile) {
      // The extension as the temporary file's name would carry it.
      std::filesystem::path named = "tmp";
      named += fs.PathFromPayloadText(extension);
      const std::u8string ext = named.extension().u8string();
      const std::string_view codecExtension(reinterpret_cast<const char*>(ext.data()), ext.size());
      codec = codecs::FindCodec(codecExtension);
      if (codec == nullptr || codec->Decode == nullptr) return false;
      // A decoder that takes the bytes alone decodes them where they were inflated: the
      // file would only be written, read back and deleted. One that may look beside its
      // file, and an entry too large to hold, still go through a file.
      if (codec->DecodeBeside == nullptr && inflatedSize <= kMaxInMemoryEntrySize) {
        if (!inflateIntoMemory(*codec)) return false;
        if (!picture) picture = std::make_unique<TPicture>();
        return picture->LoadFromMemory(codecExtension, data, request);
      }
    }
    const std::optional<std::filesystem::path> dir = fs.TempDirectory();
    if (!dir) return false;

    // The system's name is unique; the name with our extension may still be taken by a
    // file left over from an earlier run, so try another name instead of writing into it.
    for (int attempt = 0; attempt < 16 && target.empty(); ++attempt) {
      const std::optional<std::filesystem::path> created = fs.CreateUniqueTempFile(*dir, "tmp");
      if (!created) return false;
      std::filesystem::path candidate = *created;
      candidate.replace_extension();
      candidate += fs.PathFromPayloadText(extension);
      if (candidate == *created || fs.RenameFile(*created, candidate)) {
        target = candidate;
      } else {
        fs.RemoveFile(*created);
      }
    }
    if (target.empty()) return false;

    std::unique_ptr<platform::IWritableFile> out = fs.OpenExistingForWrite(target);
    if (!out) {
      fs.RemoveFile(target);
      return false;
    }
    // A picture's file gets only what its decoder needs, and nothing once its header is refused.
    const TEntrySink write = [&](std::span<const std::byte> chunk) { return out->Write(chunk); };
    const TEntryStatus status =
        codec != nullptr ? InflatePicture(*file, position, storedSize, inflatedSize, *codec, write, proceed)
                         : InflateEntry(*file, position, storedSize, write, false, proceed);
    const bool closed = out->Close();
    out.reset();
    if (status != TEntryStatus::Ok || !closed) {
      fs.RemoveFile(target);
      return false;
    }
    tempPath = target;
    if (mode == TExtractMode::emTempFile) return true;

    if (!picture) picture = std::make_unique<TPicture>();
    const bool loaded = picture->LoadFromFile(target, request);
    fs.RemoveFile(target);
    return loaded;
  } catch (...) {
    // Out of memory or a failure inside a decoder: the caller only learns "no", and no
    // file is left behind (the writer closed it on the way out).
    if (!target.empty()) {
      try {
        fs.RemoveFile(target);
      } catch (...) {
      }
    }
    return false;
  }
}

}  // namespace lumora
