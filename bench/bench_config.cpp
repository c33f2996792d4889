// Loading a show configuration of 2,000 items (about 80,000 lines) into PicList,
// against reading the same file and splitting it into lines.
#include "bench_support.h"
#include "platform/headless/headless_files.h"
#include "show/show_config.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kItems = 2000;

struct TFixture {
  std::filesystem::path dir;
  std::filesystem::path file;
  std::size_t lines = 0;

  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("lumora-bench-config-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    file = dir / "show.ini";
    std::string text;
    auto line = [&](const std::string& s) {
      text += s;
      text += "\r\n";
      ++lines;
    };
    line("[AppInfo]");
    line("PicCount=" + std::to_string(kItems));
    line("SndCount=0");
    line("[Settings]");
    line("IsUseSplash=0");
    line("[Background]");
    line("BgStyle=1");
    for (int n = 1; n <= kItems; ++n) {
      const std::string i = std::to_string(n);
      line("[Pic" + i + "]");
      line("PicFileName=.jpg");
      line("FilePos=" + std::to_string(1000 + n * 5000));
      line("FileSize=4999");
      line("MediaStyle=0");
      for (const char* key : {"Charset=1", "Color=00FFFFFF", "Height=-24", "Name=Verdana", "Pitch=0",
                              "PixelsPerInch=96", "Size=18", "Style=8"})
        line(std::string("CapFont_") + key);
      line("CapPos=6");
      line("CapPosHor=12.5");
      line("CapPosVer=80.25");
      line("PicPos=8");
      line("PicPosHor=100.76530456543");
      line("PicPosVer=33.3333320617676");
      line("PicSize=2");
      line("PicSizeHor=50");
      line("PicSizeVer=50");
      line("PicSizeRef=1");
      line("Masked=0");
      line("MaskedFileName=");
      line("MaskedFilePos=-1");
      line("MaskedFileSize=0");
      line("Opacity=255");
      line("ShowInStyle=" + std::to_string(n % 79));
      line("ShowOutStyle=-1");
      line("ShowSpeed=1");
      line("IsPicFloat=1");
      line("FloatSpeed=10");
      line("IsClsBeforeNext=1");
      line("PicInterval=5");
      line("Shaped=0");
      line("RepeatTimes=1");
      line("[Pic" + i + "Caption]");
      line("Picture number " + i);
      line("second caption line");
    }
    std::ofstream(file, std::ios::binary) << text;
  }
  ~TFixture() { std::filesystem::remove_all(dir); }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void BM_ReadAndSplitLines(benchmark::State& state) {
  TFixture& f = Fixture();
  for (auto _ : state) {
    std::ifstream in(f.file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\r') continue;
      lines.emplace_back(text, start, i - start);
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
    benchmark::DoNotOptimize(lines.data());
    if (lines.size() != f.lines) state.SkipWithError("line count");
  }
}

void BM_LoadPicList(benchmark::State& state) {
  TFixture& f = Fixture();
  lumora::platform::THeadlessFileSystem fs(f.dir / "Saver.scr", f.dir);
  for (auto _ : state) {
    lumora::TBiggerIniFile ini(fs, f.file);
    lumora::TShowConfig show;
    lumora::LoadShowConfig(ini, nullptr, false, {}, show);
    benchmark::DoNotOptimize(show.PicList.data());
    if (show.PicList.size() != kItems) state.SkipWithError("item count");
  }
}

BENCHMARK(BM_ReadAndSplitLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPicList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::printf("configuration: %d items, %zu lines\n", kItems, Fixture().lines);
  return lumora::bench::RunWithRatios(argc, argv, {{"BM_LoadPicList", "BM_ReadAndSplitLines"}});
}
