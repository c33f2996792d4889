// Helpers for the decoder tests: reference pictures in the netpbm formats, reference
// decoders run as commands, and the cache of the libraries' own test pictures.
#pragma once

#include "imaging/bitmap32.h"
#include "support/test_files.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

namespace lumora::test {

// A grey 8-bit PNG of width x height with level y at row y; with the rows' data cut to
// dataBytes (for files whose header promises more than they hold).
inline TBytes MakeGreyPng(std::uint32_t width, std::uint32_t height, std::size_t dataBytes = SIZE_MAX) {
  TBytes out = {std::byte(0x89), std::byte('P'), std::byte('N'), std::byte('G'),
                std::byte(13),   std::byte(10),  std::byte(26),  std::byte(10)};
  const auto be32 = [](TBytes& to, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) to.push_back(std::byte((v >> shift) & 255));
  };
  const auto chunk = [&](const char* type, const TBytes& body) {
    be32(out, static_cast<std::uint32_t>(body.size()));
    TBytes typed(reinterpret_cast<const std::byte*>(type), reinterpret_cast<const std::byte*>(type) + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    be32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()))));
  };
  TBytes header;
  be32(header, width);
  be32(header, height);
  for (int v : {8, 0, 0, 0, 0}) header.push_back(std::byte(v));
  chunk("IHDR", header);
  TBytes rows;
  for (std::uint32_t y = 0; y < height && rows.size() < dataBytes; ++y) {
    rows.push_back(std::byte(0));  // no filter
    rows.insert(rows.end(), width, std::byte(y & 255));
  }
  TBytes data = Deflate(rows);
  if (data.size() > dataBytes) data.resize(dataBytes);
  chunk("IDAT", data);
  chunk("IEND", {});
  return out;
}

// Reads P4, P5, P6 and P7 (PAM with grey, grey+alpha, RGB or RGB+alpha tuples), any maxval.
inline std::optional<TBitmap32> ReadNetpbm(const TBytes& file) {
  std::size_t at = 0;
  const auto byte = [&](std::size_t i) { return static_cast<char>(file[i]); };
  const auto skipSpace = [&] {
    for (;;) {
      while (at < file.size() && std::isspace(static_cast<unsigned char>(byte(at)))) ++at;
      if (at < file.size() && byte(at) == '#') {
        while (at < file.size() && byte(at) != '\n') ++at;
      } else {
        return;
      }
    }
  };
  const auto word = [&] {
    skipSpace();
    std::string w;
    while (at < file.size() && !std::isspace(static_cast<unsigned char>(byte(at)))) w += byte(at++);
    return w;
  };
  const std::string magic = word();
  long width = 0, height = 0, maxval = 1, depth = 0;
  if (magic == "P7") {
    for (std::string key = word(); key != "ENDHDR" && !key.empty(); key = word()) {
      if (key == "WIDTH") width = std::stol(word());
      else if (key == "HEIGHT") height = std::stol(word());
      else if (key == "DEPTH") depth = std::stol(word());
      else if (key == "MAXVAL") maxval = std::stol(word());
      else if (key == "TUPLTYPE") word();
    }
  } else if (magic == "P4" || magic == "P5" || magic == "P6") {
    width = std::stol(word());
    height = std::stol(word());
    if (magic != "P4") maxval = std::stol(word());
    depth = magic == "P6" ? 3 : 1;
  } else {
    return std::nullopt;
  }
  ++at;  // the single white-space byte before the samples
  if (width <= 0 || height <= 0 || depth < 1 || depth > 4 || maxval < 1 || maxval > 65535) return std::nullopt;
  TBitmap32 bitmap(static_cast<int>(width), static_cast<int>(height));
  const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
  const auto sample = [&](std::size_t i) -> unsigned {
    const unsigned v = sampleBytes == 2 ? (std::to_integer<unsigned>(file[i]) << 8) | std::to_integer<unsigned>(file[i + 1])
                                        : std::to_integer<unsigned>(file[i]);
    return (v * 255 + static_cast<unsigned>(maxval) / 2) / static_cast<unsigned>(maxval);
  };
  const std::size_t rowBytes = magic == "P4" ? (static_cast<std::size_t>(width) + 7) / 8
                                             : static_cast<std::size_t>(width * depth) * sampleBytes;
  if (file.size() < at + rowBytes * static_cast<std::size_t>(height)) return std::nullopt;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = at + rowBytes * static_cast<std::size_t>(y);
    for (int x = 0; x < width; ++x) {
      if (magic == "P4") {
        const bool black = (std::to_integer<unsigned>(file[row + x / 8]) >> (7 - x % 8)) & 1;
        bitmap.At(x, y) = black ? MakePixel(0, 0, 0) : MakePixel(255, 255, 255);
        continue;
      }
      const std::size_t p = row + static_cast<std::size_t>(x * depth) * sampleBytes;
      const auto s = [&](long i) { return static_cast<std::uint8_t>(sample(p + static_cast<std::size_t>(i) * sampleBytes)); };
      if (depth <= 2) bitmap.At(x, y) = MakePixel(s(0), s(0), s(0), depth == 2 ? s(1) : 255);
      else bitmap.At(x, y) = MakePixel(s(0), s(1), s(2), depth == 4 ? s(3) : 255);
    }
  }
  return bitmap;
}

inline std::optional<TBitmap32> ReadNetpbmFile(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  return ReadNetpbm(ReadFileBytes(path));
}

inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// Runs a command that writes a netpbm file to output; the picture, or nothing when it failed.
inline std::optional<TBitmap32> RunToNetpbm(const std::string& command, const std::filesystem::path& output) {
  std::filesystem::remove(output);
  if (std::system((command + " 2>/dev/null").c_str()) != 0) return std::nullopt;
  return ReadNetpbmFile(output);
}

// ImageMagick's own decoding of a file, with alpha when the file has some. Debian's convert, not whatever
// else may be first on the PATH.
constexpr const char* kImageMagick = "/usr/bin/convert";
inline bool HaveImageMagick() { return std::filesystem::exists(kImageMagick); }
inline std::optional<TBitmap32> DecodeWithImageMagick(const std::filesystem::path& file, const TTempDir& dir) {
  const auto out = dir / "reference.pam";
  return RunToNetpbm(std::string(kImageMagick) + " " + Quote(file) + " -depth 8 pam:" + Quote(out), out);
}

// Largest difference of any channel between two pictures of the same size (alpha only
// when asked); the first pixel with that difference in where.
inline int MaxDifference(const TBitmap32& a, const TBitmap32& b, bool withAlpha, std::string* where = nullptr) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    if (where) {
      std::ostringstream text;
      text << "sizes " << a.Width() << "x" << a.Height() << " and " << b.Width() << "x" << b.Height();
      *where = text.str();
    }
    return 256;
  }
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const TPixel p = a.At(x, y), q = b.At(x, y);
      int d = std::max({std::abs(PixelR(p) - PixelR(q)), std::abs(PixelG(p) - PixelG(q)), std::abs(PixelB(p) - PixelB(q))});
      if (withAlpha) d = std::max(d, std::abs(PixelA(p) - PixelA(q)));
      // Fully transparent pixels have no colour worth comparing.
      if (withAlpha && PixelA(p) == 0 && PixelA(q) == 0) d = 0;
      if (d > worst) {
        worst = d;
        if (where) {
          std::ostringstream text;
          text << "at (" << x << ", " << y << "): " << std::hex << p << " vs " << q;
          *where = text.str();
        }
      }
    }
  }
  return worst;
}

// The cache that scripts/fetch-test-images fills, or nothing when it has not run.
inline std::optional<std::filesystem::path> TestImagesDir() {
  std::filesystem::path root;
  if (const char* cache = std::getenv("LUMORA_CACHE_DIR"); cache != nullptr && *cache != '\0') {
    root = std::filesystem::path(cache) / "test-images";
  } else if (const char* home = std::getenv("HOME"); home != nullptr) {
    root = std::filesystem::path(home) / ".cache/lumora/test-images";
  }
  if (root.empty() || !std::filesystem::is_directory(root)) return std::nullopt;
  return root;
}

// One package's folder of the cache, or nothing when that package was not fetched.
inline std::optional<std::filesystem::path> PackageImages(const std::string& package) {
  const auto root = TestImagesDir();
  if (!root || !std::filesystem::exists(*root / package / ".complete")) return std::nullopt;
  return *root / package;
}

}  // namespace lumora::test
