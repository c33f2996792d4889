// Decoding a 24-megapixel Targa (run-length), PCX and Photoshop file through TPicture
// (file read, decode, 32-bit picture), each against ImageMagick's convert of the same
// file to PPM on /dev/null, in the same run. The files are written by convert from a
// generated photo-like picture.
#include "bench_support.h"
#include "imaging/picture.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr const char* kConvert = "/usr/bin/convert";

struct TFixture {
  std::filesystem::path dir;
  bool ready = false;

  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("lumora-bench-formats-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto ppm = dir / "source.ppm";
    lumora::bench::WritePhotoLikePpm(ppm, kWidth, kHeight);
    const std::string source = " '" + ppm.string() + "' ";
    ready = true;
    for (const char* target : {"-compress RLE tga:", "pcx:", "psd:"}) {
      const std::string name = std::string(target).find("tga") != std::string::npos ? "picture.tga"
                               : std::string(target) == "pcx:"                       ? "picture.pcx"
                                                                                      : "picture.psd";
      ready = ready && std::system((std::string(kConvert) + source + target + "'" + (dir / name).string() + "'").c_str()) == 0;
    }
    std::filesystem::remove(ppm);
    if (!ready) std::fprintf(stderr, "convert failed: the benchmarks will not run\n");
  }
  ~TFixture() { std::filesystem::remove_all(dir); }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void Decode(benchmark::State& state, const char* name) {
  if (!Fixture().ready) {
    state.SkipWithError("no test files");
    return;
  }
  for (auto _ : state) {
    lumora::TPicture picture;
    if (!picture.LoadFromFile(Fixture().dir / name)) state.SkipWithError("decoding failed");
    benchmark::DoNotOptimize(picture.Bitmap().Pixels().data());
  }
}

void Convert(benchmark::State& state, const char* name) {
  if (!Fixture().ready) {
    state.SkipWithError("no test files");
    return;
  }
  const std::string command = std::string(kConvert) + " '" + (Fixture().dir / name).string() + "' ppm:/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError(command.c_str());
  }
}

void BM_DecodeTarga(benchmark::State& state) { Decode(state, "picture.tga"); }
void BM_ConvertTarga(benchmark::State& state) { Convert(state, "picture.tga"); }
void BM_DecodePcx(benchmark::State& state) { Decode(state, "picture.pcx"); }
void BM_ConvertPcx(benchmark::State& state) { Convert(state, "picture.pcx"); }
void BM_DecodePhotoshop(benchmark::State& state) { Decode(state, "picture.psd"); }
void BM_ConvertPhotoshop(benchmark::State& state) { Convert(state, "picture.psd"); }

// Real time: the reference commands run in child processes.
BENCHMARK(BM_DecodeTarga)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ConvertTarga)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DecodePcx)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ConvertPcx)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DecodePhotoshop)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ConvertPhotoshop)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Fixture();
  return lumora::bench::RunWithRatios(
      argc, argv,
      {{"BM_DecodeTarga/iterations:3/real_time", "BM_ConvertTarga/iterations:3/real_time"},
       {"BM_DecodePcx/iterations:3/real_time", "BM_ConvertPcx/iterations:3/real_time"},
       {"BM_DecodePhotoshop/iterations:3/real_time", "BM_ConvertPhotoshop/iterations:3/real_time"}});
}
