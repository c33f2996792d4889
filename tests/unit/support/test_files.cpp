#include "support/test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace lumora::test {

TBytes BytesOf(std::string_view text) {
  TBytes out(text.size());
  std::transform(text.begin(), text.end(), out.begin(), [](char c) { return std::byte(c); });
  return out;
}

TBytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TBytes out(chars.size());
  std::transform(chars.begin(), chars.end(), out.begin(), [](char c) { return std::byte(c); });
  return out;
}

void WriteFileBytes(const std::filesystem::path& path, const TBytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

TBytes Deflate(const TBytes& data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  TBytes out(size);
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "lumora";
  std::replace(name.begin(), name.end(), '/', '_');
  path_ = std::filesystem::temp_directory_path() /
          ("lumora-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + name);
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TTempDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {
void PutU32(TBytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::byte((v >> (8 * i)) & 0xFF));
}
void PutU16(TBytes& out, std::uint16_t v) {
  out.push_back(std::byte(v & 0xFF));
  out.push_back(std::byte(v >> 8));
}
}  // namespace

TPayloadWriter::TPayloadWriter(TBytes templateBytes) : bytes_(std::move(templateBytes)) {}

TPayloadWriter::TRef TPayloadWriter::AddRawEntry(std::uint32_t recordedSize, const TBytes& stream) {
  const TRef ref{static_cast<std::int32_t>(bytes_.size()), static_cast<std::int32_t>(4 + stream.size())};
  PutU32(bytes_, recordedSize);
  bytes_.insert(bytes_.end(), stream.begin(), stream.end());
  return ref;
}

TPayloadWriter::TRef TPayloadWriter::AddEntry(const TBytes& data, std::int64_t recordedSize) {
  const std::uint32_t size = recordedSize < 0 ? static_cast<std::uint32_t>(data.size())
                                              : static_cast<std::uint32_t>(recordedSize);
  return AddRawEntry(size, Deflate(data));
}

TBytes TPayloadWriter::Finish(const TBytes& config, std::uint32_t flagWord, std::uint32_t installGate) {
  const TRef ref = AddEntry(config);
  return FinishWithTrailer(flagWord, installGate, ref.Position, ref.StoredSize);
}

TBytes TPayloadWriter::FinishWithTrailer(std::uint32_t flagWord, std::uint32_t installGate,
                                         std::int32_t configPosition, std::int32_t configStoredSize) {
  PutU32(bytes_, flagWord);
  PutU32(bytes_, installGate);
  PutU32(bytes_, static_cast<std::uint32_t>(configPosition));
  PutU32(bytes_, static_cast<std::uint32_t>(configStoredSize));
  return bytes_;
}

TBytes MakeBmp24(int width, int height, std::uint32_t (*colour)(int x, int y)) {
  const std::uint32_t rowBytes = static_cast<std::uint32_t>((width * 3 + 3) & ~3);
  const std::uint32_t imageSize = rowBytes * static_cast<std::uint32_t>(height);
  TBytes out;
  out.push_back(std::byte('B'));
  out.push_back(std::byte('M'));
  PutU32(out, 54 + imageSize);
  PutU32(out, 0);
  PutU32(out, 54);
  PutU32(out, 40);
  PutU32(out, static_cast<std::uint32_t>(width));
  PutU32(out, static_cast<std::uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, 0);
  PutU32(out, imageSize);
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      out.push_back(std::byte(c & 0xFF));
      out.push_back(std::byte((c >> 8) & 0xFF));
      out.push_back(std::byte((c >> 16) & 0xFF));
    }
    for (std::uint32_t pad = static_cast<std::uint32_t>(width) * 3; pad < rowBytes; ++pad) out.push_back(std::byte(0));
  }
  return out;
}

}  // namespace lumora::test
