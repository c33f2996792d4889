// One frame of every transition style on a 1920 x 1080 picture (or the size given with
// --size WxH, such as 3840x2160), at the step where that style is slowest, against one
// memcpy of the whole picture in the same run.
//
// Every frame is measured on what the transition really leaves before it, and drawn as
// the view draws it, with the memory of what the frames before it drew: a scan plays
// each style's show-in from a black frame, twice, timing every step (the faster of the
// two passes counts), to find each style's slowest frame; Google Benchmark then measures
// that frame, each time drawn over a copy of the frame the steps before it left, with a
// copy of the memory they left (the copies are not timed). --stateless draws every frame
// without the memory, as the frames were drawn before it. Run with --scan-only to print
// the scan alone.
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
bool gStateless = false;
constexpr int kFrameRuns = 300;

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

effects::TFrameMemory* Memory(effects::TFrameMemory& memory) { return gStateless ? nullptr : &memory; }

// Frame k of style, each time over the frame that steps 0 .. k - 1 leave on a black
// frame, with the random numbers where they are by then and the memory they leave. The
// steps are played on the frame itself: a memory belongs to one target.
void PaintFrame(benchmark::State& state, int style, int k) {
  const int n = effects::StepCount(style, gW, gH);
  TBitmap32& frame = Frame();
  frame.FillRect(frame.Bounds(), 0xFF000000u);
  platform::THeadlessRandom randomBefore(1);
  effects::TFrameMemory memoryBefore;
  for (int step = 0; step < k; ++step)
    effects::PaintEffectStep(frame, 0, 0, Picture(), style, step, n, randomBefore, Memory(memoryBefore));
  const TBitmap32 before = frame;
  effects::TFrameMemory memory;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(frame.Pixels().data(), before.Pixels().data(), before.Pixels().size_bytes());
    platform::THeadlessRandom random = randomBefore;
    memory = memoryBefore;
    state.ResumeTiming();
    const TRect changed = effects::PaintEffectStep(frame, 0, 0, Picture(), style, k, n, random, Memory(memory));
    benchmark::DoNotOptimize(changed);
    benchmark::ClobberMemory();
  }
}

// The step of style whose frame took longest in a show-in played twice.
int SlowestStep(int style, double& seconds) {
  const int n = effects::StepCount(style, gW, gH);
  std::vector<double> times(static_cast<std::size_t>(n) + 2, 1e9);
  for (int pass = 0; pass < 2; ++pass) {
    TBitmap32& frame = Frame();
    frame.FillRect(frame.Bounds(), 0xFF000000u);
    platform::THeadlessRandom random(1);
    effects::TFrameMemory memory;
    for (int k = 0; k <= n + 1; ++k) {
      const auto start = std::chrono::steady_clock::now();
      effects::PaintEffectStep(frame, 0, 0, Picture(), style, k, n, random, Memory(memory));
      const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      times[static_cast<std::size_t>(k)] = std::min(times[static_cast<std::size_t>(k)], s);
    }
  }
  const auto worst = std::max_element(times.begin(), times.end());
  seconds = *worst;
  return static_cast<int>(worst - times.begin());
}

}  // namespace

int main(int argc, char** argv) {
  bool scanOnly = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scan-only") == 0) scanOnly = true;
    else if (std::strcmp(argv[i], "--stateless") == 0) gStateless = true;
    else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &gW, &gH) == 2) ++i;
    else args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());

  std::printf("Picture and frame: %d x %d, frames drawn %s\n", gW, gH,
              gStateless ? "without a memory" : "with the memory of the frames before");
  benchmark::RegisterBenchmark("BM_MemcpyPicture", BM_Memcpy)->Unit(benchmark::kMicrosecond);
  std::vector<lumora::bench::TRatio> ratios;
  std::printf("Scan: slowest step of each style (the faster of two show-ins, step by step)\n");
  for (int style = 0; style < effects::kStyleCount; ++style) {
    double seconds = 0;
    const int k = SlowestStep(style, seconds);
    std::printf("  style %2d: k = %4d  %8.3f ms\n", style, k, seconds * 1e3);
    const std::string name = "BM_Style" + std::to_string(style) + "_k" + std::to_string(k);
    // A fixed count: a frame of a few microseconds would otherwise be run hundreds of
    // thousands of times, each behind an untimed copy of the whole frame.
    benchmark::RegisterBenchmark(name.c_str(), [style, k](benchmark::State& state) { PaintFrame(state, style, k); })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(kFrameRuns);
    ratios.push_back({name + "/iterations:" + std::to_string(kFrameRuns), "BM_MemcpyPicture"});
  }
  if (scanOnly) return 0;
  return lumora::bench::RunWithRatios(count, args.data(), ratios);
}
