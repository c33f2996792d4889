// Full-screen (3840 x 2160) backgrounds: the pattern painter with the default string and
// with its slowest catalogue function, and the gradient, each against memset of a
// buffer of the same pixels measured in the same run.
#include "bench_support.h"
#include "imaging/gradient.h"
#include "imaging/pattern.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;

void Memset(benchmark::State& state, std::size_t bytes) {
  std::vector<unsigned char> buffer(bytes, 1);
  int value = 0;
  for (auto _ : state) {
    std::memset(buffer.data(), ++value & 0xFF, buffer.size());
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
}
void BM_Memset24(benchmark::State& state) { Memset(state, kPixels * 3); }
void BM_Memset32(benchmark::State& state) { Memset(state, kPixels * 4); }

void Pattern(benchmark::State& state, const std::string& patternString) {
  lumora::TBitmap32 bitmap(kWidth, kHeight);  // the view's background bitmap, already screen-sized
  for (auto _ : state) {
    if (lumora::PaintPattern(bitmap, kWidth, kHeight, patternString) != lumora::TPatternPaint::Painted) state.SkipWithError("not painted");
    benchmark::DoNotOptimize(bitmap.Pixels().data());
    benchmark::ClobberMemory();
  }
}
void BM_PatternDefault(benchmark::State& state) { Pattern(state, std::string(lumora::DefaultPatternString)); }
// One function for all three channels, as the slowest ones are used.
void BM_PatternFunction(benchmark::State& state) {
  const std::string f = std::to_string(state.range(0));
  Pattern(state, "bench|" + f + "," + f + "," + f + ",0,0,0,7");
}
// Three different functions, so that no channel shares work with another.
void BM_PatternMixed(benchmark::State& state) { Pattern(state, "bench|27,25,39,1,2,3,7"); }

void BM_MakeGradientBitmap(benchmark::State& state) {
  const auto direction = static_cast<lumora::TDirection>(state.range(0));
  int round = 0;
  for (auto _ : state) {
    // Alternate the colours so that every call really repaints.
    const lumora::TColor from = (++round & 1) ? 0x000000 : 0x102030;
    const lumora::TBitmap32& bitmap = lumora::MakeGradientBitmap(kWidth, kHeight, from, 0xFFFFFF, direction);
    benchmark::DoNotOptimize(bitmap.Pixels().data());
    benchmark::ClobberMemory();
  }
}

// The gradient of a new size: a fresh bitmap is allocated each time.
void BM_MakeGradientBitmapNewSize(benchmark::State& state) {
  int round = 0;
  for (auto _ : state) {
    const int height = kHeight - (++round & 1);
    const lumora::TBitmap32& bitmap = lumora::MakeGradientBitmap(kWidth, height, 0, 0xFFFFFF, lumora::TDirection::bdUp);
    benchmark::DoNotOptimize(bitmap.Pixels().data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_Memset24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Memset32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PatternDefault)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PatternFunction)->DenseRange(0, lumora::PatternFunctionCount - 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PatternMixed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MakeGradientBitmap)->Arg(0)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MakeGradientBitmapNewSize)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<lumora::bench::TRatio> ratios = {
      {"BM_PatternDefault/real_time", "BM_Memset24/real_time"},
      {"BM_PatternDefault/real_time", "BM_Memset32/real_time"},
      {"BM_PatternMixed/real_time", "BM_Memset24/real_time"},
      {"BM_MakeGradientBitmap/0/real_time", "BM_Memset32/real_time"},
      {"BM_MakeGradientBitmap/2/real_time", "BM_Memset32/real_time"},
      {"BM_MakeGradientBitmap/6/real_time", "BM_Memset32/real_time"},
      {"BM_MakeGradientBitmapNewSize/real_time", "BM_Memset32/real_time"},
  };
  for (int f = 0; f < lumora::PatternFunctionCount; ++f) {
    ratios.push_back({"BM_PatternFunction/" + std::to_string(f) + "/real_time", "BM_Memset24/real_time"});
  }
  return lumora::bench::RunWithRatios(argc, argv, ratios);
}
