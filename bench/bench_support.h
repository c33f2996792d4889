// Runs Google Benchmark and then prints, for each pair given, the measured benchmark's
// time as a ratio to its reference's time from the same run.
#pragma once

#include <filesystem>

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
// A 24-bit PPM with photo-like content (broad gradients, rings and a little noise), so
// that encoders reach about the compression they reach on photographs.
void WritePhotoLikePpm(const std::filesystem::path& path, int width, int height);

std::int64_t PeakResidentBytes();
std::int64_t CurrentResidentBytes();
void ResetPeakResident();
// Processor time the process has used so far, all its threads, in seconds.
double ProcessCpuSeconds();

}  // namespace lumora::bench
