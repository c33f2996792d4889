// Test helpers: a temporary folder per test, and writers for payload files and
// Windows bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::test {

using TBytes = std::vector<std::byte>;

TBytes BytesOf(std::string_view text);
TBytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const TBytes& data);

// zlib stream of data at the default level.
TBytes Deflate(const TBytes& data, int level = -1);

// A folder under the build tree's temporary area, removed with the object.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
  // Names of the files in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  std::filesystem::path path_;
};

// Writes a screen-saver file: template bytes, entries, and the 16-byte trailer.
class TPayloadWriter {
 public:
  struct TRef {
    std::int32_t Position;
    std::int32_t StoredSize;
  };

  explicit TPayloadWriter(TBytes templateBytes = BytesOf("MZ-template"));
  // An entry: the inflated-size word (recordedSize, default the data's size) and a zlib stream.
  TRef AddEntry(const TBytes& data, std::int64_t recordedSize = -1);
  // An entry whose stream bytes are given as they are.
  TRef AddRawEntry(std::uint32_t recordedSize, const TBytes& stream);
  // Appends the configuration entry and the trailer; returns the whole file.
  TBytes Finish(const TBytes& config, std::uint32_t flagWord = 1, std::uint32_t installGate = 1);
  // Appends only a trailer with the given words.
  TBytes FinishWithTrailer(std::uint32_t flagWord, std::uint32_t installGate, std::int32_t configPosition,
                           std::int32_t configStoredSize);
  const TBytes& Bytes() const { return bytes_; }

 private:
  TBytes bytes_;
};

// A 24-bit bottom-up Windows bitmap file of the given size; pixel (x, y) gets colour(x, y) as 0xRRGGBB.
TBytes MakeBmp24(int width, int height, std::uint32_t (*colour)(int x, int y));

}  // namespace lumora::test
