// Peak memory and time of TPicture::LoadFromFile on pictures whose size and content
// disagree: files far larger than their picture, headers that promise far more pixels
// than the data holds, and ordinary large pictures for reference. Each case runs in a
// child process of its own; the figure is the child's peak resident memory above what
// it held before the load, also as bytes per pixel of the picture the header declares
// (the reference: a decoded picture holds 4).
#include "bench_support.h"
#include "imaging/picture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void Le16(std::vector<unsigned char>& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Le32(std::vector<unsigned char>& b, unsigned v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}

// A file of zeros, sparse on disk.
void Zeros(const fs::path& path, std::uintmax_t size) {
  std::ofstream(path, std::ios::binary).close();
  fs::resize_file(path, size);
}

// A GIF whose screen and frame claim side x side and whose data ends after the frame's
// descriptor.
void TinyGif(const fs::path& path, unsigned side) {
  std::vector<unsigned char> b = {'G', 'I', 'F', '8', '9', 'a'};
  Le16(b, side);
  Le16(b, side);
  b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // 2-colour global palette
  b.push_back(0x2C);
  Le16(b, 0);
  Le16(b, 0);
  Le16(b, side);
  Le16(b, side);
  b.push_back(0);
  b.push_back(2);  // LZW minimum code size, then nothing
  WriteBytes(path, b);
}

// An RLE8 bitmap of side x side whose runs paint one short line and end.
void TinyRle8(const fs::path& path, unsigned side) {
  std::vector<unsigned char> b = {'B', 'M'};
  const unsigned offset = 14 + 40 + 8;
  std::vector<unsigned char> runs;
  for (int i = 0; i < 400; ++i) runs.insert(runs.end(), {2, 1});
  runs.insert(runs.end(), {0, 1});
  Le32(b, offset + unsigned(runs.size()));
  Le32(b, 0);
  Le32(b, offset);
  Le32(b, 40);
  Le32(b, side);
  Le32(b, side);
  Le16(b, 1);
  Le16(b, 8);
  Le32(b, 1);  // RLE8
  Le32(b, unsigned(runs.size()));
  Le32(b, 2835);
  Le32(b, 2835);
  Le32(b, 2);
  Le32(b, 0);
  b.insert(b.end(), {0, 0, 0, 0, 255, 255, 255, 0});
  b.insert(b.end(), runs.begin(), runs.end());
  WriteBytes(path, b);
}

// A photo-like PPM through the command-line encoders.
bool Encoded(const fs::path& dir, int w, int h) {
  const fs::path ppm = dir / "source.ppm";
  {
    std::ofstream out(ppm, std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    std::vector<unsigned char> row(std::size_t(w) * 3);
    std::uint32_t seed = 7;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        seed = seed * 1103515245u + 12345u;
        row[std::size_t(x) * 3] = static_cast<unsigned char>(x * 255 / w);
        row[std::size_t(x) * 3 + 1] = static_cast<unsigned char>(y * 255 / h);
        row[std::size_t(x) * 3 + 2] = static_cast<unsigned char>((seed >> 16) & 63);
      }
      out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size()));
    }
  }
  const std::string p = ppm.string();
  const bool ok = std::system(("pnmtopng '" + p + "' > '" + (dir / "photo.png").string() + "' 2>/dev/null").c_str()) == 0 &&
                  std::system(("cjpeg -quality 90 '" + p + "' > '" + (dir / "photo.jpg").string() + "'").c_str()) == 0;
  fs::remove(ppm);
  return ok;
}

struct TCase {
  std::string Name;
  fs::path File;
  double DeclaredPixels;
};

void Run(const TCase& c) {
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    lumora::TPicture picture;
    lumora::bench::ResetPeakResident();
    const std::int64_t before = lumora::bench::CurrentResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = picture.LoadFromFile(c.File);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double peak = double(lumora::bench::PeakResidentBytes() - before);
    char perPixel[32] = "-";
    if (c.DeclaredPixels > 0) std::snprintf(perPixel, sizeof perPixel, "%.2f", peak / c.DeclaredPixels);
    std::printf("%-34s %-8s %10.1f MB %14s %8.3f s\n", c.Name.c_str(), ok ? "loaded" : "refused", peak / 1e6, perPixel,
                seconds);
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("lumora-bench-picture-memory-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Zeros(dir / "zeros.png", std::uintmax_t(1) << 30);
  Zeros(dir / "zeros.bmp", std::uintmax_t(1) << 30);
  TinyGif(dir / "tiny.gif", 16000);
  TinyGif(dir / "tiny8k.gif", 8000);
  TinyRle8(dir / "tiny.bmp", 16384);
  TinyRle8(dir / "tiny8k.bmp", 8192);
  const bool encoded = Encoded(dir, 6000, 4000);

  std::vector<TCase> cases = {
      {"1 GiB of zeros named .png", dir / "zeros.png", 0},
      {"1 GiB of zeros named .bmp", dir / "zeros.bmp", 0},
      {"35-byte GIF of 16000 x 16000", dir / "tiny.gif", 16000.0 * 16000},
      {"35-byte GIF of 8000 x 8000", dir / "tiny8k.gif", 8000.0 * 8000},
      {"1 KB RLE8 bitmap of 16384 x 16384", dir / "tiny.bmp", 16384.0 * 16384},
      {"1 KB RLE8 bitmap of 8192 x 8192", dir / "tiny8k.bmp", 8192.0 * 8192},
  };
  if (encoded) {
    cases.push_back({"PNG photo 6000 x 4000", dir / "photo.png", 6000.0 * 4000});
    cases.push_back({"JPEG photo 6000 x 4000", dir / "photo.jpg", 6000.0 * 4000});
  }
  std::printf("%-34s %-8s %13s %14s %10s\n", "case", "result", "peak", "bytes/px", "time");
  for (const TCase& c : cases) Run(c);
  // LUMORA_BENCH_KEEP=1 keeps the pictures (to play them in a show, for instance).
  if (const char* keep = std::getenv("LUMORA_BENCH_KEEP"); keep != nullptr && *keep == '1') {
    std::printf("pictures kept in %s\n", dir.c_str());
  } else {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  return 0;
}
