// Mode-1 extraction of a 256 MiB entry against plain zlib inflate of the same stream,
// and the extraction's peak memory above the process's baseline.
#include "app/payload.h"
#include "bench_support.h"
#include "platform/headless/headless_files.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr std::size_t kEntrySize = 256u << 20;

struct TFixture {
  std::filesystem::path dir;
  std::filesystem::path exe;
  std::vector<unsigned char> stream;
  std::int32_t position = 0;
  std::int32_t storedSize = 0;

  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("lumora-bench-payload-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "temp");
    exe = dir / "big.scr";
    // Photo-like data: a slowly drifting signal with noise in the low bits, so that it
    // compresses to about half, as real media entries do.
    std::vector<unsigned char> data(kEntrySize);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < data.size(); ++i) {
      seed = seed * 1103515245u + 12345u;
      data[i] = static_cast<unsigned char>(((i >> 9) & 0xF0) | ((seed >> 16) & 0x0F));
    }
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    stream.resize(size);
    compress2(stream.data(), &size, data.data(), static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
    stream.resize(size);
    std::ofstream out(exe, std::ios::binary);
    out.write("MZ", 2);
    position = 2;
    const std::uint32_t inflated = static_cast<std::uint32_t>(kEntrySize);
    unsigned char word[4] = {static_cast<unsigned char>(inflated), static_cast<unsigned char>(inflated >> 8),
                             static_cast<unsigned char>(inflated >> 16), static_cast<unsigned char>(inflated >> 24)};
    out.write(reinterpret_cast<const char*>(word), 4);
    out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    storedSize = static_cast<std::int32_t>(4 + stream.size());
  }
  ~TFixture() { std::filesystem::remove_all(dir); }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void BM_ZlibInflate(benchmark::State& state) {
  TFixture& f = Fixture();
  std::vector<unsigned char> out(256 * 1024);
  for (auto _ : state) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = f.stream.data();
    z.avail_in = static_cast<uInt>(f.stream.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      rc = inflate(&z, Z_NO_FLUSH);
      benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) state.SkipWithError("inflate failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntrySize));
}

void BM_ExtractTempFile(benchmark::State& state) {
  TFixture& f = Fixture();
  lumora::platform::THeadlessFileSystem fs(f.exe, f.dir / "temp");
  for (auto _ : state) {
    std::filesystem::path path;
    std::unique_ptr<lumora::TPicture> picture;
    if (!lumora::ExtractPayloadEntry(fs, lumora::TExtractMode::emTempFile, ".bin", f.position, path, picture,
                                     f.storedSize))
      state.SkipWithError("extraction failed");
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntrySize));
}

BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExtractTempFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Fixture();
  const int rc = lumora::bench::RunWithRatios(argc, argv,
                                              {{"BM_ExtractTempFile/iterations:3/real_time",
                                                "BM_ZlibInflate/iterations:3/real_time"}});
  // Peak memory of one extraction, above what the process holds already.
  TFixture& f = Fixture();
  std::vector<unsigned char>().swap(f.stream);
  lumora::bench::ResetPeakResident();
  const std::int64_t baseline = lumora::bench::CurrentResidentBytes();
  lumora::platform::THeadlessFileSystem fs(f.exe, f.dir / "temp");
  std::filesystem::path path;
  std::unique_ptr<lumora::TPicture> picture;
  const bool ok = lumora::ExtractPayloadEntry(fs, lumora::TExtractMode::emTempFile, ".bin", f.position, path, picture,
                                              f.storedSize);
  const std::int64_t peak = lumora::bench::PeakResidentBytes();
  std::printf("Mode-1 extraction of %zu MiB: %s, peak memory above baseline %.2f MiB\n", kEntrySize >> 20,
              ok ? "ok" : "FAILED", static_cast<double>(peak - baseline) / (1024.0 * 1024.0));
  if (ok) std::filesystem::remove(path);
  return rc;
}
