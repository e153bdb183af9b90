#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/CameraOptions.h"

// Shared by the camera benchmarks: the full frame, the two pacings of the virtual camera.
inline constexpr int64_t kPixels = 2048 * 1536;
enum PacingArg { kFast = 0, kReal = 1 };

nivexa::sim::CameraOptions benchCamera(int64_t pacing);
int64_t frameBytes(int bits);

// Prints the usual table and keeps each run's frames per second (the median of repetitions) for
// the ratios a program prints at the end.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;

 protected:
  // The rate of `benchmark` ("BM_CallbackPreview") at `bits` and `pacing`; 0 when it did not run.
  double rate(const std::string& benchmark, const char* bits, const char* pacing) const;

 private:
  std::map<std::string, double> rates_;
};
