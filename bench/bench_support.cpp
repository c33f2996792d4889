#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace lumora::bench {
namespace {

class TCollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean") {
        std::string name = run.benchmark_name();
        if (run.aggregate_name == "mean") name = name.substr(0, name.rfind("_mean"));
        times[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

std::int64_t StatusField(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) {
      std::istringstream fields(line.substr(std::string(key).size()));
      std::int64_t kib = 0;
      fields >> kib;
      return kib * 1024;
    }
  }
  return -1;
}

}  // namespace

std::int64_t PeakResidentBytes() { return StatusField("VmHWM:"); }
std::int64_t CurrentResidentBytes() { return StatusField("VmRSS:"); }
double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
void ResetPeakResident() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
}

int RunWithRatios(int argc, char** argv, const std::vector<TRatio>& ratios) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (measured time / reference time, same run):\n");
  for (const TRatio& r : ratios) {
    const auto m = reporter.times.find(r.Measured);
    const auto ref = reporter.times.find(r.Reference);
    if (m == reporter.times.end() || ref == reporter.times.end() || ref->second <= 0) {
      std::printf("  %-48s (not run)\n", r.Measured.c_str());
      continue;
    }
    std::printf("  %-48s %6.3f x %s\n", r.Measured.c_str(), m->second / ref->second, r.Reference.c_str());
  }
  benchmark::Shutdown();
  return 0;
}

void WritePhotoLikePpm(const std::filesystem::path& path, int width, int height) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << width << " " << height << "\n255\n";
  std::vector<unsigned char> row(std::size_t(width) * 3);
  std::uint32_t seed = 2024;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = int((seed >> 16) & 7) - 4;
      const int ring = ((x - width / 2) * (x - width / 2) + (y - height / 2) * (y - height / 2)) / 40000 % 64;
      row[std::size_t(x) * 3] = static_cast<unsigned char>(std::clamp(x * 255 / width + noise, 0, 255));
      row[std::size_t(x) * 3 + 1] = static_cast<unsigned char>(std::clamp(y * 255 / height + ring + noise, 0, 255));
      row[std::size_t(x) * 3 + 2] = static_cast<unsigned char>(std::clamp(128 + ring * 2 - noise, 0, 255));
    }
    out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
  }
}

}  // namespace lumora::bench
