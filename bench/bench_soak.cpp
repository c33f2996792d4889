// Soak of the headless show: a screen saver of many items with random effects, floating,
// masks, opacity, captions and stamping, played under the virtual clock with the view's
// effects and floating on the headless worker threads. After each cycle through all
// items it prints the resident memory and the open file descriptors; both should stay
// flat after the first cycle. Not a test: it reports, it asserts nothing.
//
//   bench_soak [ITEMS] [CYCLES]     (default 10000 items, 3 cycles)
#include "bench_support.h"
#include "platform/headless/headless_clock.h"
#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_show_system.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "platform/headless/headless_threads.h"
#include "show/main_frm_show.h"

#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace lumora;

std::vector<unsigned char> Bmp24(int w, int h, std::uint32_t seed) {
  const int rowBytes = (w * 3 + 3) & ~3;
  std::vector<unsigned char> b(54 + std::size_t(rowBytes) * h);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, std::uint32_t(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, std::uint32_t(w));
  put32(22, std::uint32_t(h));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &b[54 + std::size_t(y) * rowBytes + std::size_t(x) * 3];
      p[0] = static_cast<unsigned char>(x * 7 + seed);
      p[1] = static_cast<unsigned char>(y * 5 + seed * 3);
      p[2] = static_cast<unsigned char>((x ^ y) + seed * 11);
    }
  return b;
}

// Appends an entry (inflated size, zlib stream) and returns "FilePos=..\r\nFileSize=..".
std::string AddEntry(std::vector<unsigned char>& file, const std::vector<unsigned char>& data, const char* prefix) {
  uLongf size = compressBound(uLong(data.size()));
  std::vector<unsigned char> z(size);
  compress2(z.data(), &size, data.data(), uLong(data.size()), Z_DEFAULT_COMPRESSION);
  const std::size_t position = file.size();
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<unsigned char>(data.size() >> (8 * i)));
  file.insert(file.end(), z.begin(), z.begin() + static_cast<std::ptrdiff_t>(size));
  return std::string(prefix) + "FilePos=" + std::to_string(position) + "\r\n" + prefix +
         "FileSize=" + std::to_string(4 + size) + "\r\n";
}

int OpenDescriptors() {
  int n = 0;
  std::error_code ec;
  for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); ++it) ++n;
  return n;
}

void Finish(std::vector<unsigned char>& file, const std::string& config) {
  std::vector<unsigned char> text(config.begin(), config.end());
  const std::string ref = AddEntry(file, text, "");
  const std::uint32_t position = std::stoul(ref.substr(ref.find('=') + 1));
  const std::uint32_t stored = std::stoul(ref.substr(ref.rfind('=') + 1));
  for (const std::uint32_t v : {1u, 1u, position, stored})
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
  const int items = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int cycles = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path dir = fs::temp_directory_path() / ("lumora-bench-soak-" + std::to_string(::getpid()));
  fs::create_directories(dir / "temp");

  std::mt19937 random(2026);
  std::vector<unsigned char> file = {'M', 'Z'};
  std::vector<std::string> pictures, masks;
  for (int i = 0; i < 6; ++i)
    pictures.push_back("PicFileName=.bmp\r\n" + AddEntry(file, Bmp24(40 + 17 * i, 30 + 11 * i, i), ""));
  // Two JPEG pictures too (made by ImageMagick when it is there): a JPEG drawn at the size
  // it is held lends its pixels to the view instead of being copied.
  for (int i = 0; i < 2; ++i) {
    const fs::path bmp = dir / "p.bmp", jpg = dir / "p.jpg";
    const std::vector<unsigned char> image = Bmp24(64 + 40 * i, 48 + 30 * i, 7 + i);
    std::ofstream(bmp, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    if (std::system(("/usr/bin/convert '" + bmp.string() + "' '" + jpg.string() + "' 2>/dev/null").c_str()) != 0) continue;
    std::ifstream in(jpg, std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), {});
    if (!data.empty()) pictures.push_back("PicFileName=.jpg\r\n" + AddEntry(file, data, ""));
  }
  for (int i = 0; i < 2; ++i) masks.push_back(AddEntry(file, Bmp24(48, 36, 100 + i), "Masked"));
  std::string config = "[AppInfo]\r\nPicCount=" + std::to_string(items) +
                       "\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n[Background]\r\nBgStyle=1\r\n";
  for (int n = 1; n <= items; ++n) {
    const auto pick = [&](int count) { return static_cast<int>(random() % unsigned(count)); };
    std::string s = "[Pic" + std::to_string(n) + "]\r\n" + pictures[std::size_t(pick(int(pictures.size())))];
    s += "ShowInStyle=" + std::to_string(pick(80) - 1) + "\r\nShowOutStyle=" + std::to_string(pick(80) - 1) + "\r\n";
    s += "ShowSpeed=" + std::to_string(pick(3)) + "\r\nPicInterval=" + std::to_string(pick(2)) + "\r\n";
    s += "PicPos=" + std::to_string(pick(8)) + "\r\nIsPicFloat=" + std::to_string(pick(3) == 0) + "\r\n";
    s += "FloatSpeed=" + std::to_string(pick(10)) + "\r\nIsClsBeforeNext=" + std::to_string(pick(4) != 0) + "\r\n";
    if (pick(3) == 0) {
      s += "Masked=1\r\nMaskedFileName=.bmp\r\n" + masks[std::size_t(pick(2))] + "Opacity=" + std::to_string(pick(256)) +
           "\r\n";
    }
    if (pick(2) == 0) s += "CapPos=" + std::to_string(pick(8)) + "\r\n[Pic" + std::to_string(n) + "Caption]\r\nItem " +
                           std::to_string(n) + ", gently\r\n";
    config += s;
  }
  Finish(file, config);
  {
    std::ofstream out(dir / "soak.scr", std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  }

  struct TForm final : platform::IFormWindow {
    platform::TWindowHandle Handle() const override { return 1; }
    void SetFormStyle(platform::TFormStyle) override {}
    bool EmbedIn(platform::TWindowHandle) override { return false; }
    void Close() override { closed = true; }
    bool closed = false;
  } form;
  platform::THeadlessFileSystem files(dir / "soak.scr", dir / "temp");
  platform::THeadlessSurface surface({320, 240}, {320, 240});
  platform::THeadlessTextRasterizer text;
  platform::THeadlessDesktopCapture desktop;
  platform::THeadlessRandom rng(7);
  platform::THeadlessMessageBox messages;
  platform::THeadlessShowSystem system;
  platform::THeadlessClock clock;
  platform::THeadlessThreadHost threads;
  TTrPic view(TTrPicPlatform{surface, text, desktop, rng, messages, &threads});
  TMainFrmShow show(TShowPlatform{files, system, system, system, clock, messages, rng}, form, view, "S");

  std::printf("%d items, %d cycles, payload %zu bytes\n", items, cycles, file.size());
  std::printf("%-6s %10s %12s %14s %10s %8s\n", "cycle", "items", "RSS (KB)", "peak RSS (KB)", "open fds", "seconds");
  std::printf("%-6s %10d %12lld %14lld %10d %8s\n", "start", 0,
              static_cast<long long>(lumora::bench::CurrentResidentBytes() / 1024),
              static_cast<long long>(lumora::bench::PeakResidentBytes() / 1024), OpenDescriptors(), "-");
  const auto start = std::chrono::steady_clock::now();
  show.FormShow();
  long long shown = 0;
  for (int cycle = 1; cycle <= cycles && !form.closed; ++cycle) {
    for (int i = 0; i < items && !form.closed; ++i) {
      // One item: the tick, then the workers until the show-in is over and the timer runs.
      if (!clock.AdvanceToNextTimer()) break;
      threads.RunUntil([&] { return show.timScr().Enabled() || form.closed; });
      // The headless window records every rectangle presented; that record is the
      // stand-in's, not the show's, so it does not count.
      surface.ForgetPresentedRects();
      ++shown;
    }
    std::printf("%-6d %10lld %12lld %14lld %10d %8.1f\n", cycle, shown,
                static_cast<long long>(lumora::bench::CurrentResidentBytes() / 1024),
                static_cast<long long>(lumora::bench::PeakResidentBytes() / 1024), OpenDescriptors(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::fflush(stdout);
  }
  show.FormClose();
  std::size_t left = 0;
  for (const auto& e : fs::directory_iterator(dir / "temp")) left += e.is_regular_file();
  std::printf("temporary files left: %zu; messages shown: %zu\n", left, messages.Shown().size());
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
