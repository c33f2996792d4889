// Decoding a 24-megapixel JPEG and a 24-megapixel PNG through TPicture (file read,
// decode, 32-bit picture), each against the library's own command-line decoder on the
// same file in the same run: djpeg (libjpeg-turbo) and pngtopnm (netpbm, on libpng),
// both writing their output to /dev/null; and showing the JPEG full-window at 1920 x 1080
// (decoded for that size and stretched to it) against djpeg of the whole picture.
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

struct TFixture {
  std::filesystem::path dir;
  std::filesystem::path jpeg;
  std::filesystem::path png;
  bool ready = false;

  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("lumora-bench-decode-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto ppm = dir / "source.ppm";
    jpeg = dir / "picture.jpg";
    png = dir / "picture.png";
    // Photo-like content: broad gradients and shapes with a little noise, so that both
    // encoders reach the compression they reach on photographs.
    lumora::bench::WritePhotoLikePpm(ppm, kWidth, kHeight);
    const std::string p = "'" + ppm.string() + "'";
    ready = std::system(("cjpeg -quality 90 -outfile '" + jpeg.string() + "' " + p).c_str()) == 0 &&
            std::system(("pnmtopng " + p + " > '" + png.string() + "' 2>/dev/null").c_str()) == 0;
    std::filesystem::remove(ppm);
    if (!ready) std::fprintf(stderr, "cjpeg or pnmtopng failed: the decoding benchmarks will not run\n");
  }
  ~TFixture() { std::filesystem::remove_all(dir); }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void Decode(benchmark::State& state, const std::filesystem::path& file) {
  if (!Fixture().ready) {
    state.SkipWithError("no test files");
    return;
  }
  for (auto _ : state) {
    lumora::TPicture picture;
    if (!picture.LoadFromFile(file)) state.SkipWithError("decoding failed");
    benchmark::DoNotOptimize(picture.Bitmap().Pixels().data());
  }
}

void Run(benchmark::State& state, const std::string& command) {
  if (!Fixture().ready) {
    state.SkipWithError("no test files");
    return;
  }
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError(command.c_str());
  }
}

// Only making the 32-bit frame that any decode fills: the floor under both decodes,
// which the command-line decoders (streaming rows to /dev/null) never pay.
void BM_NewFrame(benchmark::State& state) {
  for (auto _ : state) {
    lumora::TBitmap32 frame(kWidth, kHeight);
    benchmark::DoNotOptimize(frame.Pixels().data());
  }
}

void BM_DecodeJpeg(benchmark::State& state) { Decode(state, Fixture().jpeg); }

// Decodes the photo for a 1920 x 1080 screen (the library's 1/2 DCT scaling here): with
// held, at the one size it is drawn at, stretched row by row as it decodes; with
// stretch, then drawn onto a screen-sized bitmap (a copy when held, a stretch if not).
void DecodeFor1080(benchmark::State& state, bool held, bool stretch) {
  if (!Fixture().ready) {
    state.SkipWithError("no test files");
    return;
  }
  lumora::codecs::TDecodeRequest request;
  request.ShownSize = [](lumora::codecs::TPictureSize) { return lumora::codecs::TPictureSize{1920, 1080}; };
  if (held) request.DrawnSize = request.ShownSize;
  for (auto _ : state) {
    lumora::TPicture picture;
    if (!picture.LoadFromFile(Fixture().jpeg, request)) state.SkipWithError("decoding failed");
    if (!stretch) {
      benchmark::DoNotOptimize(picture.Bitmap().Pixels().data());
      continue;
    }
    lumora::TBitmap32 shown(1920, 1080);
    shown.StretchDraw(shown.Bounds(), picture.Bitmap());
    benchmark::DoNotOptimize(shown.Pixels().data());
  }
}

// Showing the picture full-window on a 1920 x 1080 screen, as the show does: decoded at
// the size it is drawn at, then copied into a bitmap of the screen's size.
void BM_ShowJpegAt1080(benchmark::State& state) { DecodeFor1080(state, true, true); }
// Decoding alone at 1/2 (3000 x 2000), against djpeg at the same scale.
void BM_DecodeJpegHalf(benchmark::State& state) { DecodeFor1080(state, false, false); }
// The same in two steps: the picture held at 3000 x 2000, then stretched to the screen.
void BM_ShowJpegAt1080InTwoSteps(benchmark::State& state) { DecodeFor1080(state, false, true); }
void BM_Djpeg(benchmark::State& state) { Run(state, "djpeg -outfile /dev/null '" + Fixture().jpeg.string() + "'"); }
// The library's own floor for that show: djpeg decoding at the same 1/2 scale.
void BM_DjpegHalf(benchmark::State& state) {
  Run(state, "djpeg -scale 1/2 -outfile /dev/null '" + Fixture().jpeg.string() + "'");
}
void BM_DecodePng(benchmark::State& state) { Decode(state, Fixture().png); }
void BM_Pngtopnm(benchmark::State& state) { Run(state, "pngtopnm '" + Fixture().png.string() + "' > /dev/null"); }

// Real time: the reference commands run in child processes.
BENCHMARK(BM_NewFrame)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ShowJpegAt1080)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DecodeJpegHalf)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ShowJpegAt1080InTwoSteps)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DjpegHalf)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Pngtopnm)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Fixture();
  return lumora::bench::RunWithRatios(argc, argv,
                                      {{"BM_DecodeJpeg/iterations:5/real_time", "BM_Djpeg/iterations:5/real_time"},
                                       {"BM_ShowJpegAt1080/iterations:5/real_time", "BM_Djpeg/iterations:5/real_time"},
                                       {"BM_ShowJpegAt1080/iterations:5/real_time", "BM_DjpegHalf/iterations:5/real_time"},
                                       {"BM_ShowJpegAt1080/iterations:5/real_time", "BM_ShowJpegAt1080InTwoSteps/iterations:5/real_time"},
                                       {"BM_DecodeJpegHalf/iterations:5/real_time", "BM_DjpegHalf/iterations:5/real_time"},
                                       {"BM_DjpegHalf/iterations:5/real_time", "BM_Djpeg/iterations:5/real_time"},
                                       {"BM_NewFrame/iterations:5/real_time", "BM_Djpeg/iterations:5/real_time"},
                                       {"BM_DecodePng/iterations:5/real_time", "BM_Pngtopnm/iterations:5/real_time"}});
}
