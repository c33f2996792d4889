// Start-up of a 2,000-item show to its first picture on screen, against loading its
// configuration plus decoding its first picture alone; and the exit latency while a
// 24-megapixel JPEG is being loaded (from the key to the form's close), against
// decoding that JPEG alone.
#include "app/payload.h"
#include "bench_support.h"
#include "imaging/codecs/codec_table.h"
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

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace {

using namespace lumora;
namespace fs = std::filesystem;

constexpr int kItems = 2000;

std::vector<char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// Appends one entry (inflated size, zlib stream) and returns its reference.
std::pair<std::int32_t, std::int32_t> AddEntry(std::vector<char>& file, const std::vector<char>& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<unsigned char> stream(size);
  compress2(stream.data(), &size, reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 6);
  const auto position = static_cast<std::int32_t>(file.size());
  const auto n = static_cast<std::uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>(n >> (8 * i)));
  file.insert(file.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size));
  return {position, static_cast<std::int32_t>(4 + size)};
}

void Finish(std::vector<char>& file, const std::string& config, const fs::path& path) {
  const auto [position, stored] = AddEntry(file, std::vector<char>(config.begin(), config.end()));
  const std::uint32_t words[4] = {1, 0, static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(stored)};
  for (std::uint32_t w : words)
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>(w >> (8 * i)));
  std::ofstream(path, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
}

std::string ShowConfig(int items, std::string_view extension, std::pair<std::int32_t, std::int32_t> ref) {
  std::string text = "[AppInfo]\r\nPicCount=" + std::to_string(items) + "\r\nSndCount=0\r\n[Settings]\r\nIsUseSplash=0\r\n";
  text += "[Background]\r\nBgStyle=0\r\nBgSolidColor=00000000\r\n";
  for (int i = 1; i <= items; ++i)
    text += "[Pic" + std::to_string(i) + "]\r\nPicFileName=" + std::string(extension) + "\r\nFilePos=" +
            std::to_string(ref.first) + "\r\nFileSize=" + std::to_string(ref.second) +
            "\r\nPicPos=1\r\nShowInStyle=0\r\nIsPicFloat=0\r\n[Pic" + std::to_string(i) + "Caption]\r\nPicture " +
            std::to_string(i) + "\r\n";
  return text;
}

struct TFixture {
  fs::path dir = fs::temp_directory_path() / ("lumora-bench-show-" + std::to_string(::getpid()));
  fs::path bigShow = dir / "big.scr";
  fs::path photoShow = dir / "photo.scr";
  fs::path photosFullWindow = dir / "photos.scr";
  std::int32_t configPos = 0, configSize = 0, picturePos = 0, pictureSize = 0;
  std::vector<char> photo;
  bool havePhoto = false;

  TFixture() {
    fs::create_directories(dir / "temp");
    // A 1024 x 768 photo-like JPEG drawn by ImageMagick, the first (and every) picture.
    const fs::path jpeg = dir / "first.jpg";
    std::system(("/usr/bin/convert -size 1024x768 plasma:fractal -seed 7 -quality 85 " + jpeg.string() +
                 " 2>/dev/null").c_str());
    std::vector<char> file{'M', 'Z'};
    const auto ref = AddEntry(file, ReadAll(jpeg));
    picturePos = ref.first;
    pictureSize = ref.second;
    const std::string config = ShowConfig(kItems, ".jpg", ref);
    Finish(file, config, bigShow);
    // 24 megapixels (6000 x 4000).
    const fs::path big = dir / "photo.jpg";
    std::system(("/usr/bin/convert -size 6000x4000 gradient:navy-orange -attenuate 0.3 +noise Gaussian -quality 90 " +
                 big.string() + " 2>/dev/null").c_str());
    photo = ReadAll(big);
    havePhoto = !photo.empty();
    std::vector<char> file2{'M', 'Z'};
    Finish(file2, ShowConfig(1, ".jpg", AddEntry(file2, photo)), photoShow);
    // Three items of that photo shown full-window, one second each.
    std::vector<char> file3{'M', 'Z'};
    std::string photos = ShowConfig(3, ".jpg", AddEntry(file3, photo));
    for (std::size_t at = 0; (at = photos.find("PicPos=1\r\n", at)) != std::string::npos; at += 8)
      photos.replace(at, 10, "PicPos=1\r\nPicSize=1\r\nPicInterval=1\r\n");
    Finish(file3, photos, photosFullWindow);
  }
  ~TFixture() { fs::remove_all(dir); }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

class TBenchForm final : public platform::IFormWindow {
 public:
  platform::TWindowHandle Handle() const override { return 1; }
  void SetFormStyle(platform::TFormStyle) override {}
  bool EmbedIn(platform::TWindowHandle) override { return false; }
  void Close() override { closed = std::chrono::steady_clock::now(); }
  std::chrono::steady_clock::time_point closed;
};

struct TPlayer {
  // threaded: the view has worker threads (and the show works ahead on them).
  explicit TPlayer(const fs::path& scr, platform::TSize screen = {1024, 768}, bool threaded = false)
      : files(scr, Fixture().dir / "temp"),
        surface(screen, screen),
        view(TTrPicPlatform{surface, text, desktop, random, messages, threaded ? &threads : nullptr}),
        show(TShowPlatform{files, system, system, system, clock, messages, random}, form, view, "S") {}
  platform::THeadlessThreadHost threads;
  platform::THeadlessFileSystem files;
  platform::THeadlessSurface surface;
  platform::THeadlessTextRasterizer text;
  platform::THeadlessDesktopCapture desktop;
  platform::THeadlessRandom random;
  platform::THeadlessMessageBox messages;
  platform::THeadlessShowSystem system;
  platform::THeadlessClock clock;
  TBenchForm form;
  TTrPic view;
  TMainFrmShow show;
};

void BM_ShowToFirstPicture(benchmark::State& state) {
  for (auto _ : state) {
    TPlayer player(Fixture().bigShow);
    player.show.FormShow();
    player.clock.AdvanceToNextTimer();
    if (!player.view.PicShown()) state.SkipWithError("no picture on screen");
    benchmark::DoNotOptimize(player.surface.Screen().Pixels().data());
  }
}
BENCHMARK(BM_ShowToFirstPicture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The parts of the start-up: the form and its view, FormShow (loading), the first tick.
void BM_ShowStartParts(benchmark::State& state) {
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    TPlayer player(Fixture().bigShow);
    const auto t1 = std::chrono::steady_clock::now();
    player.show.FormShow();
    const auto t2 = std::chrono::steady_clock::now();
    player.clock.AdvanceToNextTimer();
    const auto t3 = std::chrono::steady_clock::now();
    state.counters["create_ms"] = std::chrono::duration<double, std::milli>(t1 - t0).count();
    state.counters["load_ms"] = std::chrono::duration<double, std::milli>(t2 - t1).count();
    state.counters["first_item_ms"] = std::chrono::duration<double, std::milli>(t3 - t2).count();
  }
}
BENCHMARK(BM_ShowStartParts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LoadConfigAndDecodeFirstPicture(benchmark::State& state) {
  TFixture& f = Fixture();
  for (auto _ : state) {
    platform::THeadlessFileSystem files(f.bigShow, f.dir / "temp");
    const std::optional<PayloadTrailer> trailer = ReadPayloadTrailer(files);
    std::filesystem::path path;
    std::unique_ptr<TPicture> none;
    ExtractPayloadEntry(files, TExtractMode::emTempFile, ".ini", trailer->ConfigPosition, path, none,
                        trailer->ConfigStoredSize);
    TShowConfig show;
    LoadShowConfigFile(files, path, false, {}, show);
    std::unique_ptr<TPicture> picture;
    if (!ExtractPayloadEntry(files, TExtractMode::emPictureFile, ".jpg", f.picturePos, path, picture, f.pictureSize))
      state.SkipWithError("first picture");
    benchmark::DoNotOptimize(picture.get());
  }
}
BENCHMARK(BM_LoadConfigAndDecodeFirstPicture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A file system that tells when an extraction starts writing its temporary file.
class TSpyFiles final : public platform::IFileSystem {
 public:
  explicit TSpyFiles(platform::IFileSystem& inner) : inner_(inner) {}
  std::function<void()> OnTempFile;
  fs::path ExecutablePath() override { return inner_.ExecutablePath(); }
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const fs::path& p) override {
    return inner_.OpenForReadDenyWrite(p);
  }
  std::optional<fs::path> TempDirectory() override { return inner_.TempDirectory(); }
  std::optional<fs::path> CreateUniqueTempFile(const fs::path& dir, std::string_view prefix) override {
    if (OnTempFile) OnTempFile();
    return inner_.CreateUniqueTempFile(dir, prefix);
  }
  bool RenameFile(const fs::path& a, const fs::path& b) override { return inner_.RenameFile(a, b); }
  bool RemoveFile(const fs::path& p) override { return inner_.RemoveFile(p); }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const fs::path& p) override {
    return inner_.OpenExistingForWrite(p);
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const fs::path& p) override { return inner_.CreateForWrite(p); }
  fs::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }

 private:
  platform::IFileSystem& inner_;
};

// The key arrives as the 24-megapixel item's extraction starts (the filter runs inside
// a pump there); the time counted runs from the key to the form's close.
void BM_ExitWhileLoadingLargeJpeg(benchmark::State& state) {
  if (!Fixture().havePhoto) {
    state.SkipWithError("ImageMagick did not make the picture");
    return;
  }
  for (auto _ : state) {
    TPlayer player(Fixture().photoShow);
    TSpyFiles spy(player.files);
    TMainFrmShow show(TShowPlatform{spy, player.system, player.system, player.system, player.clock, player.messages,
                                    player.random},
                      player.form, player.view, "S");
    show.FormShow();
    std::chrono::steady_clock::time_point key{};
    spy.OnTempFile = [&] {
      if (key != std::chrono::steady_clock::time_point{}) return;
      key = std::chrono::steady_clock::now();
      show.ExitFilter({0, platform::kWmKeyDown, 'A', 0, 0, 0});
    };
    player.clock.AdvanceToNextTimer();
    if (!show.CloseRequested() || key == std::chrono::steady_clock::time_point{}) {
      state.SkipWithError("the show did not close");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(player.form.closed - key).count());
  }
}
BENCHMARK(BM_ExitWhileLoadingLargeJpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The key arrives in the middle of the decode (at the tenth time the show pumps its
// messages while the picture loads); the time runs from the key to the form's close.
void BM_ExitWhileDecodingLargeJpeg(benchmark::State& state) {
  if (!Fixture().havePhoto) {
    state.SkipWithError("ImageMagick did not make the picture");
    return;
  }
  for (auto _ : state) {
    TPlayer player(Fixture().photoShow);
    player.show.FormShow();
    std::chrono::steady_clock::time_point key{};
    int pumps = 0;
    player.system.OnProcessMessages = [&] {
      if (++pumps != 10) return;
      key = std::chrono::steady_clock::now();
      player.show.ExitFilter({0, platform::kWmKeyDown, 'A', 0, 0, 0});
    };
    player.clock.AdvanceToNextTimer();
    if (!player.show.CloseRequested() || key == std::chrono::steady_clock::time_point{}) {
      state.SkipWithError("the show did not close while decoding");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(player.form.closed - key).count());
  }
}
BENCHMARK(BM_ExitWhileDecodingLargeJpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Peak resident memory of a full-screen headless show of 24-megapixel photos shown
// full-window (three items and the first again) on a screen of the arguments' size, above
// what the process held before, with the work ahead (third argument 1) or without; counters
// in MB.
void BM_ShowPhotos(benchmark::State& state) {
  if (!Fixture().havePhoto) {
    state.SkipWithError("ImageMagick did not make the picture");
    return;
  }
  for (auto _ : state) {
    const std::int64_t before = bench::CurrentResidentBytes();
    bench::ResetPeakResident();
    {
      TPlayer player(Fixture().photosFullWindow, {int(state.range(0)), int(state.range(1))}, true);
      player.show.SetWorkAhead(state.range(2) != 0);
      player.show.FormShow();
      for (int i = 0; i < 4; ++i) {
        // The next picture decodes ahead while this one is on screen.
        player.threads.RunUntilIdle();
        player.clock.AdvanceToNextTimer();
      }
      state.counters["peak_MB"] = double(bench::PeakResidentBytes() - before) / 1e6;
    }
  }
}
BENCHMARK(BM_ShowPhotos)->Args({3840, 2160, 1})->Args({3840, 2160, 0})->Args({1920, 1080, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// From the tick of the second item of the 24-megapixel full-window show at 1920 x 1080
// until the first frame of the transition (the first item's show-out) is presented, with the work ahead done while the first
// item was shown (argument 1) or without work ahead (0).
void BM_NextItemAfterTick(benchmark::State& state) {
  if (!Fixture().havePhoto) {
    state.SkipWithError("ImageMagick did not make the picture");
    return;
  }
  double cpuMs = 0;
  for (auto _ : state) {
    TPlayer player(Fixture().photosFullWindow, {1920, 1080}, true);
    player.show.SetWorkAhead(state.range(0) != 0);
    player.show.FormShow();
    player.clock.AdvanceToNextTimer();
    player.threads.RunUntilIdle();
    player.surface.ForgetPresentedRects();
    const auto tick = std::chrono::steady_clock::now();
    const double cpu = bench::ProcessCpuSeconds();
    player.clock.AdvanceToNextTimer();
    // Up to the first frame presented: the first of the first item's show-out.
    player.threads.RunUntil([&] { return !player.surface.PresentedRects().empty(); });
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - tick).count());
    // The processor time of that stretch, all threads: what the load of the machine leaves alone.
    cpuMs += (bench::ProcessCpuSeconds() - cpu) * 1e3;
    if (player.show.CurrentIndex() != 1 || player.surface.PresentedRects().empty())
      state.SkipWithError("the second item's turn presented nothing");
    benchmark::DoNotOptimize(player.surface.Screen().Pixels().data());
  }
  state.counters["cpu_ms"] = cpuMs / double(state.iterations());
}
BENCHMARK(BM_NextItemAfterTick)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_DecodeLargeJpeg(benchmark::State& state) {
  if (!Fixture().havePhoto) {
    state.SkipWithError("ImageMagick did not make the picture");
    return;
  }
  const std::span<const std::byte> data(reinterpret_cast<const std::byte*>(Fixture().photo.data()),
                                        Fixture().photo.size());
  for (auto _ : state) {
    TBitmap32 bitmap;
    codecs::DecodeJpeg(data, bitmap);
    benchmark::DoNotOptimize(bitmap.Pixels().data());
  }
}
BENCHMARK(BM_DecodeLargeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  Fixture();
  // Once each, untimed: the benchmark that runs first would otherwise also pay for the
  // process's first use of its heap, which the reference run after it does not.
  {
    TPlayer player(Fixture().bigShow);
    player.show.FormShow();
    player.clock.AdvanceToNextTimer();
    platform::THeadlessFileSystem files(Fixture().bigShow, Fixture().dir / "temp");
    std::filesystem::path path;
    std::unique_ptr<TPicture> picture;
    ExtractPayloadEntry(files, TExtractMode::emPictureFile, ".jpg", Fixture().picturePos, path, picture,
                        Fixture().pictureSize);
  }
  return lumora::bench::RunWithRatios(
      argc, argv,
      {{"BM_ShowToFirstPicture/iterations:5/real_time", "BM_LoadConfigAndDecodeFirstPicture/iterations:5/real_time"},
       {"BM_ExitWhileLoadingLargeJpeg/iterations:3/manual_time", "BM_DecodeLargeJpeg/iterations:3/real_time"},
       {"BM_ExitWhileDecodingLargeJpeg/iterations:3/manual_time", "BM_DecodeLargeJpeg/iterations:3/real_time"},
       {"BM_NextItemAfterTick/1/iterations:5/manual_time", "BM_NextItemAfterTick/0/iterations:5/manual_time"}});
}
