// One frame of every transition style on a 1920 x 1080 picture (or the size given with
// --size WxH, such as 3840x2160), at the step where that style is slowest, against one
// memcpy of the whole picture in the same run.
//
// A scan first times every step of every style (the faster of two passes) (region styles every fifth step and
// the last ones) to find each style's slowest frame; Google Benchmark then measures that
// frame. Run with --scan-only to print the scan alone.
#include "bench_support.h"

#include "platform/headless/headless_random.h"
#include "trpic/effects.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace lumora;

int gW = 1920, gH = 1080;

TBitmap32 Photo() {
  TBitmap32 b(gW, gH);
  for (int y = 0; y < gH; ++y)
    for (int x = 0; x < gW; ++x)
      b.At(x, y) = MakePixel(static_cast<std::uint8_t>(x * 255 / gW), static_cast<std::uint8_t>(y * 255 / gH),
                             static_cast<std::uint8_t>((x + y) & 0xFF));
  return b;
}

const TBitmap32& Picture() {
  static const TBitmap32 picture = Photo();
  return picture;
}

TBitmap32& Frame() {
  static TBitmap32 frame(gW, gH, 0xFF000000u);  // made after the size is read
  return frame;
}

void BM_Memcpy(benchmark::State& state) {
  const std::size_t bytes = std::size_t(gW) * gH * 4;
  std::vector<std::uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

void PaintFrame(benchmark::State& state, int style, int k) {
  platform::THeadlessRandom random(1);
  const int n = effects::StepCount(style, gW, gH);
  for (auto _ : state) {
    const TRect changed = effects::PaintEffectStep(Frame(), 0, 0, Picture(), style, k, n, random);
    benchmark::DoNotOptimize(changed);
    benchmark::ClobberMemory();
  }
}

// The step of style whose frame took longest in one timed pass.
int SlowestStep(int style, double& seconds) {
  platform::THeadlessRandom random(1);
  const int n = effects::StepCount(style, gW, gH);
  int worst = 0;
  seconds = -1;
  const int stride = style >= 19 ? 5 : 1;
  std::vector<int> steps;
  for (int k = 0; k <= n + 1; k += stride) steps.push_back(k);
  for (int k : {n - 2, n - 1, n}) if (k > 0) steps.push_back(k);
  for (int k : steps) {
    // The faster of two passes, so that a stray pause does not pick the step.
    double s = 1e9;
    for (int pass = 0; pass < 2; ++pass) {
      const auto start = std::chrono::steady_clock::now();
      effects::PaintEffectStep(Frame(), 0, 0, Picture(), style, k, n, random);
      s = std::min(s, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (s > seconds) {
      seconds = s;
      worst = k;
    }
  }
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  bool scanOnly = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scan-only") == 0) scanOnly = true;
    else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &gW, &gH) == 2) ++i;
    else args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());

  std::printf("Picture and frame: %d x %d\n", gW, gH);
  benchmark::RegisterBenchmark("BM_MemcpyPicture", BM_Memcpy)->Unit(benchmark::kMicrosecond);
  std::vector<lumora::bench::TRatio> ratios;
  std::printf("Scan: slowest step of each style (one faster of two timed passes per step)\n");
  for (int style = 0; style < effects::kStyleCount; ++style) {
    double seconds = 0;
    const int k = SlowestStep(style, seconds);
    std::printf("  style %2d: k = %4d  %8.3f ms\n", style, k, seconds * 1e3);
    const std::string name = "BM_Style" + std::to_string(style) + "_k" + std::to_string(k);
    benchmark::RegisterBenchmark(name.c_str(), [style, k](benchmark::State& state) { PaintFrame(state, style, k); })
        ->Unit(benchmark::kMicrosecond);
    ratios.push_back({name, "BM_MemcpyPicture"});
  }
  if (scanOnly) return 0;
  return lumora::bench::RunWithRatios(count, args.data(), ratios);
}
