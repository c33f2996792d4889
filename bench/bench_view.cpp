// The picture view's paint, floating step and background rebuild, each against memcpy
// of the same number of bytes in the same run.
#include "bench_support.h"
#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "trpic/trpic.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace lumora;

struct TBenchView {
  TBenchView(platform::TSize client, platform::TSize screen) : surface(client, screen) {
    view = std::make_unique<TTrPic>(TTrPicPlatform{surface, text, desktop, random, messages});
  }
  platform::THeadlessSurface surface;
  platform::THeadlessTextRasterizer text;
  platform::THeadlessDesktopCapture desktop;
  platform::THeadlessRandom random;
  platform::THeadlessMessageBox messages;
  std::unique_ptr<TTrPic> view;
};

// A photo-like picture: smooth colour ramps.
TPicture Photo(int width, int height) {
  TPicture picture;
  picture.Bitmap() = TBitmap32(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.Bitmap().At(x, y) = MakePixel(static_cast<std::uint8_t>(x * 255 / width),
                                            static_cast<std::uint8_t>(y * 255 / height),
                                            static_cast<std::uint8_t>((x + y) & 0xFF));
  return picture;
}

void Memcpy(benchmark::State& state, std::size_t bytes) {
  std::vector<std::uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

constexpr std::size_t kBytes1080 = std::size_t(1920) * 1080 * 4;
constexpr std::size_t kBytesPreview = std::size_t(480) * 270 * 4;
constexpr std::size_t kBytes4K = std::size_t(3840) * 2160 * 4;

void BM_Memcpy1080(benchmark::State& state) { Memcpy(state, kBytes1080); }
void BM_MemcpyPreview(benchmark::State& state) { Memcpy(state, kBytesPreview); }
void BM_Memcpy4K(benchmark::State& state) { Memcpy(state, kBytes4K); }

// A 1920 x 1080 client, AsScreen off, gradient background, an 800 x 600 picture and a
// two-line caption.
void BM_Paint1080(benchmark::State& state) {
  TBenchView b({1920, 1080}, {1920, 1080});
  b.view->SetBgGradientToColor(0x00FF8040);
  b.view->SetBgStyle(TBgStyle::bsGradient);
  const TPicture photo = Photo(800, 600);
  b.view->SetPicture(&photo);
  b.view->SetCaption({"A caption line", "and a second one"});
  b.view->Relayout(true, true, false, false);
  b.view->ShowPic(1);
  for (auto _ : state) b.view->Paint();
}

// One step of the floating motion: an 800 x 600 picture over a 1920 x 1080 client,
// against one memcpy of the picture's bytes.
void BM_FloatStep1080(benchmark::State& state) {
  TBenchView b({1920, 1080}, {1920, 1080});
  b.view->SetBgGradientToColor(0x00FF8040);
  b.view->SetBgStyle(TBgStyle::bsGradient);
  const TPicture photo = Photo(800, 600);
  b.view->SetPicture(&photo);
  b.view->ShowPic(1);
  b.view->FloatStep();
  for (auto _ : state) b.view->FloatStep();
}
void BM_MemcpyPicture800x600(benchmark::State& state) { Memcpy(state, std::size_t(800) * 600 * 4); }

// What a full-screen view at 3840 x 2160 holds once a full-window picture is shown and
// a second one of the same size follows: resident memory beyond the picture itself
// (reported as counters, in screen-sized bitmaps of 33 MB).
void BM_ViewMemory4K(benchmark::State& state) {
  const TPicture photo = Photo(3840, 2160);
  const double screenBytes = 3840.0 * 2160 * 4;
  for (auto _ : state) {
    const std::int64_t before = bench::CurrentResidentBytes();
    bench::ResetPeakResident();
    {
      TBenchView b({3840, 2160}, {3840, 2160});
      b.view->SetAsScreen(true);
      b.view->SetBgSolidColor(0x00336699);
      b.view->SetPicSize(TPicSize::psFullWindow);
      for (int item = 0; item < 2; ++item) {
        b.view->SetPicture(&photo);
        b.view->SetShowOutStyle(0);
        b.view->ShowPic(1);
        if (item == 0) b.view->ShowPic(2);
      }
      state.counters["held_screens"] = double(bench::CurrentResidentBytes() - before) / screenBytes;
    }
    state.counters["peak_screens"] = double(bench::PeakResidentBytes() - before) / screenBytes;
  }
}

// The preview: 480 x 270 client standing for a 3840 x 2160 screen.
void PreviewPaint(benchmark::State& state, bool rescale) {
  TBenchView b({480, 270}, {3840, 2160});
  b.view->SetAsScreen(true);
  b.view->SetBgGradientToColor(0x00FF8040);
  b.view->SetBgStyle(TBgStyle::bsGradient);
  const TPicture photo = Photo(1600, 1200);
  b.view->SetPicture(&photo);
  b.view->ShowPic(1);
  for (auto _ : state) {
    if (rescale) b.view->InvalidateClientBg();
    b.view->Paint();
  }
}
void BM_PaintPreview(benchmark::State& state) { PreviewPaint(state, false); }
void BM_PaintPreviewRescaled(benchmark::State& state) { PreviewPaint(state, true); }

// RebuildBackground at 3840 x 2160 for each style but the pattern.
void Rebuild(benchmark::State& state, TBgStyle style, TBgMode mode) {
  TBenchView b({480, 270}, {3840, 2160});
  const TPicture photo = Photo(1920, 1080);
  const TPicture tile = Photo(300, 200);
  TBitmap32 desktop = Photo(3840, 2160).Bitmap();
  b.desktop.SetPicture(std::move(desktop));
  b.view->SetBgGradientToColor(0x00FF8040);
  b.view->SetBgSolidColor(0x00336699);
  b.view->SetBgPicture(mode == TBgMode::bmTiled || mode == TBgMode::bmSmartTiled ? &tile : &photo);
  b.view->SetBgPictureMode(mode);
  b.view->SetBgBgpStyle(TBgBgpStyle::bpGradient);
  b.view->SetBgStyle(style);
  for (auto _ : state) b.view->RebuildBackground();
}

void BM_RebuildSolid(benchmark::State& s) { Rebuild(s, TBgStyle::bsSolid, TBgMode::bmCentered); }
void BM_RebuildGradient(benchmark::State& s) { Rebuild(s, TBgStyle::bsGradient, TBgMode::bmCentered); }
void BM_RebuildPictureCentered(benchmark::State& s) { Rebuild(s, TBgStyle::bsPicture, TBgMode::bmCentered); }
void BM_RebuildPictureStretched(benchmark::State& s) { Rebuild(s, TBgStyle::bsPicture, TBgMode::bmStretched); }
void BM_RebuildPictureTiled(benchmark::State& s) { Rebuild(s, TBgStyle::bsPicture, TBgMode::bmTiled); }
void BM_RebuildPictureSmartTiled(benchmark::State& s) { Rebuild(s, TBgStyle::bsPicture, TBgMode::bmSmartTiled); }
void BM_RebuildScreen(benchmark::State& s) { Rebuild(s, TBgStyle::bsScreen, TBgMode::bmCentered); }

BENCHMARK(BM_Memcpy1080)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Paint1080)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyPicture800x600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloatStep1080)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewMemory4K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MemcpyPreview)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintPreview)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintPreviewRescaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildSolid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildGradient)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildPictureCentered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildPictureStretched)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildPictureTiled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildPictureSmartTiled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildScreen)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return lumora::bench::RunWithRatios(argc, argv,
                                      {{"BM_Paint1080", "BM_Memcpy1080"},
                                       {"BM_FloatStep1080", "BM_MemcpyPicture800x600"},
                                       {"BM_PaintPreview", "BM_MemcpyPreview"},
                                       {"BM_PaintPreviewRescaled", "BM_MemcpyPreview"},
                                       {"BM_RebuildSolid", "BM_Memcpy4K"},
                                       {"BM_RebuildGradient", "BM_Memcpy4K"},
                                       {"BM_RebuildPictureCentered", "BM_Memcpy4K"},
                                       {"BM_RebuildPictureStretched", "BM_Memcpy4K"},
                                       {"BM_RebuildPictureTiled", "BM_Memcpy4K"},
                                       {"BM_RebuildPictureSmartTiled", "BM_Memcpy4K"},
                                       {"BM_RebuildScreen", "BM_Memcpy4K"}});
}
