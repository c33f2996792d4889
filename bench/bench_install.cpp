// The install worker ("O": copy in 32,769-byte chunks, trailer patch, uninstall entry)
// of a 64 MiB screen saver against the system's own copy of the same file.
#include "bench_support.h"
#include "dialogs/install_worker.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_processes.h"
#include "platform/headless/headless_registry.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace {

constexpr std::size_t kFileSize = 64u << 20;

struct TFixture {
  std::filesystem::path dir;
  std::filesystem::path source;
  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("lumora-bench-install-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "WINDOWS");
    source = dir / "Aurora.exe";
    std::vector<char> data(kFileSize);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 >> 7);
    data[kFileSize - 12] = 1;  // install gate open
    std::ofstream(source, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  ~TFixture() { std::filesystem::remove_all(dir); }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void BM_SystemCopy(benchmark::State& state) {
  TFixture& f = Fixture();
  for (auto _ : state) {
    std::filesystem::copy_file(f.source, f.dir / "WINDOWS" / "Aurora.scr",
                               std::filesystem::copy_options::overwrite_existing);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_InstallWorker(benchmark::State& state) {
  TFixture& f = Fixture();
  lumora::platform::THeadlessFileSystem files(f.source, f.dir);
  files.SetWindowsDirectory(f.dir / "WINDOWS");
  lumora::platform::THeadlessMachineRegistry registry;
  lumora::platform::THeadlessProcesses processes;
  lumora::platform::THeadlessMessageBox messages;
  for (auto _ : state) {
    if (!lumora::RunInstallWorker("O", {files, registry, processes, messages})) state.SkipWithError("install failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

BENCHMARK(BM_SystemCopy)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_InstallWorker)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Fixture();
  return lumora::bench::RunWithRatios(
      argc, argv, {{"BM_InstallWorker/iterations:5/real_time", "BM_SystemCopy/iterations:5/real_time"}});
}
