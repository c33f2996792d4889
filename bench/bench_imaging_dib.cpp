// The effect bitmap at 3840 x 2160: Draw with BlendAlphaOpacity (the masked-picture blend)
// and BuildRegion on a text-like bitmap, each against memcpy of the same pixel buffer.
#include "bench_support.h"
#include "imaging/dib.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr std::size_t kBytes = std::size_t(kWidth) * kHeight * 4;

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint8_t> src(kBytes, 1), dst(kBytes, 2);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), kBytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_DrawBlendAlphaOpacity(benchmark::State& state) {
  auto src = lumora::TWinDIB::CreateSize(kWidth, kHeight);
  auto dst = lumora::TWinDIB::CreateSize(kWidth, kHeight);
  std::mt19937 rng(1);
  for (std::size_t i = 0; i < std::size_t(kWidth) * kHeight; ++i) {
    src->Bits()[i] = rng();
    dst->Bits()[i] = rng();
  }
  src->SetMasked(true);
  src->SetOpacity(200);
  for (auto _ : state) {
    src->Draw(0, 0, kWidth, kHeight, *dst, 0, 0);
    benchmark::DoNotOptimize(dst->Bits());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

// Dark "glyphs" on white: lines of text-sized blocks with strokes and gaps, so that each
// row has many short runs, as a rendered caption has.
lumora::TBitmap32 TextLike() {
  lumora::TBitmap32 bmp(kWidth, kHeight, lumora::MakePixel(255, 255, 255));
  std::mt19937 rng(2);
  for (int line = 0; line + 40 < kHeight; line += 48) {
    for (int x = 8; x + 24 < kWidth; x += 24) {
      if (rng() % 6 == 0) continue;  // a space
      const std::uint32_t shape = rng();
      for (int y = 0; y < 36; ++y)
        for (int dx = 0; dx < 20; ++dx) {
          const bool stem = ((shape >> ((dx / 4) % 5)) & 1) && dx % 4 < 2;
          const bool bar = ((shape >> (5 + (y / 6) % 6)) & 1) && y % 6 < 2;
          if (stem || bar) bmp.At(x + dx, line + y) = lumora::MakePixel(20, 20, 20);
        }
    }
  }
  return bmp;
}

void BM_BuildRegionText(benchmark::State& state) {
  static const lumora::TBitmap32 text = TextLike();
  lumora::TWinDIB dib;
  dib.LoadFromBitmap(&text);
  std::size_t rects = 0;
  for (auto _ : state) {
    const lumora::TRegion region = dib.BuildRegion(0xFFFFFF);
    rects = region.RectCount();
    benchmark::DoNotOptimize(rects);
  }
  state.counters["rects"] = static_cast<double>(rects);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawBlendAlphaOpacity)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildRegionText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return lumora::bench::RunWithRatios(argc, argv,
                                      {{"BM_DrawBlendAlphaOpacity/real_time", "BM_Memcpy/real_time"},
                                       {"BM_BuildRegionText/real_time", "BM_Memcpy/real_time"}});
}
