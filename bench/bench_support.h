// Runs Google Benchmark and then prints, for each pair given, the measured benchmark's
// time as a ratio to its reference's time from the same run.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumora::bench {

struct TRatio {
  std::string Measured;   // benchmark name (as reported, e.g. "BM_Extract/iterations:3")
  std::string Reference;  // the benchmark it is compared with
};

int RunWithRatios(int argc, char** argv, const std::vector<TRatio>& ratios);

// Peak resident memory of the process so far, in bytes (Linux), and a way to restart it.
std::int64_t PeakResidentBytes();
std::int64_t CurrentResidentBytes();
void ResetPeakResident();

}  // namespace lumora::bench
