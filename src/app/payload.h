// The payload appended to the player: entries (a 32-bit inflated size and one zlib
// stream each), the configuration entry last, and a 16-byte trailer at the very end.
#pragma once

#include "imaging/picture.h"
#include "platform/files.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace lumora {

// The last 16 bytes of the executable, four little-endian 32-bit words.
struct PayloadTrailer {
  std::uint32_t FlagWord = 0;
  std::uint32_t InstallGate = 0;
  std::int32_t ConfigPosition = -1;
  std::int32_t ConfigStoredSize = 0;
};
constexpr std::size_t kPayloadTrailerSize = 16;

enum class TExtractMode { emMemoryBitmap = 0, emTempFile = 1, emPictureFile = 2 };

// Extractions that have started and not yet finished, process-wide. The exit logic
// defers closing the show while it is nonzero.
int ExtractionsInProgress();

// Reads the trailer of the running executable; nullopt when the file cannot be opened
// or is shorter than a trailer.
std::optional<PayloadTrailer> ReadPayloadTrailer(platform::IFileSystem& fs);
// The same for any readable file (the tools use it).
std::optional<PayloadTrailer> ReadPayloadTrailer(platform::IReadableFile& file);

// Why an entry could not be read, for the tools that report it.
enum class TEntryStatus {
  Ok,
  NoEntry,         // position -1 and stored size 0
  BadReference,    // negative position, stored size below 4, or past the end of the file
  ReadError,       // the file could not be read
  DamagedStream,   // the zlib data is damaged
  ShortStream,     // the stream ends before the recorded inflated size
  TooLarge,        // more than the caller allows in memory
  SinkFailed,      // the receiver of the data refused it (a write failed)
  NotAPicture,     // a picture whose header its format's decoder refuses
  Stopped,         // the caller's check asked to stop
};
std::string_view EntryStatusText(TEntryStatus status);

// Reads an entry's recorded inflated size.
TEntryStatus ReadEntryInflatedSize(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                                   std::uint32_t& inflatedSize);

// Inflates one entry in bounded chunks and hands the output to sink, exactly
// inflated-size bytes in all. Output beyond the recorded size is not read, unless
// strict is set: then the stream must end exactly there, with a valid checksum.
// proceed, when given, is asked every few milliseconds of inflating; false stops it.
using TEntrySink = std::function<bool(std::span<const std::byte>)>;
TEntryStatus InflateEntry(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                          const TEntrySink& sink, bool strict = false, const std::function<bool()>& proceed = {});

// Whether an extension may be appended to a temporary file name: no path separators,
// drive colons or control characters, which would lead the file out of the folder.
bool IsSafeExtension(std::string_view extension);

// Whether the first bytes of a picture entry (at most a decoder's header check's worth)
// pass the check of the decoder that its extension picks: Ok, NotAPicture, or why the
// entry could not be read. Ok also for extensions without a decoder or a check.
TEntryStatus CheckPictureHeader(platform::IReadableFile& file, std::int64_t position, std::int64_t storedSize,
                                std::string_view extension);

// Largest entry that is inflated into memory (mode 0, the configuration, pictures of mode 2).
constexpr std::uint32_t kMaxInMemoryEntrySize = 1u << 30;

// The one way every part of the player obtains payload content. Never throws.
//  Mode 0: the inflated bytes are a Windows bitmap loaded into picture.
//  Mode 1: the bytes go to a new temporary file named "tmp<hex>" + extension; tempPath
//          receives its path and the caller owns the file.
//  Mode 2: picture loads the bytes with the decoder its extension picks. Where that
//          decoder takes the bytes alone (and the entry fits kMaxInMemoryEntrySize) they
//          are decoded in memory, no file is made and tempPath is not touched; otherwise
//          as mode 1, then picture loads the file and the file is deleted (tempPath still
//          names it).
// picture: created when null; the caller owns it in every case.
// request: how large a picture of mode 2 will be drawn (its decoder may hold fewer pixels)
// and the check, asked every few milliseconds of inflating and decoding, whose false
// stops the extraction (a failure; no file is left).
// holdsExit: the extraction counts in ExtractionsInProgress. Work ahead on a worker
// thread does not: an exit meanwhile closes the show at once and stops it.
bool ExtractPayloadEntry(platform::IFileSystem& fs, TExtractMode mode, std::string_view extension,
                         std::int32_t position, std::filesystem::path& tempPath, std::unique_ptr<TPicture>& picture,
                         std::int32_t storedSize, const codecs::TDecodeRequest& request = {},
                         bool holdsExit = true);

}  // namespace lumora
