// Flat-field and defect-pixel correction on full frames, next to the closest OpenCV operations:
// subtract and divide by a precomputed flat field, and a 3 x 3 median.

#include <benchmark/benchmark.h>

#include <random>

#include "imaging/DibImage.h"
#include "imaging/mask/DefectMask.h"
#include "imaging/mask/DotFilter.h"
#include "imaging/mask/MaskFilter.h"

#if NIVEXA_BENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using nivexa::imaging::DibImage;
namespace mask = nivexa::imaging::mask;

constexpr int32_t kW = 2048;
constexpr int32_t kH = 1536;

void fill(DibImage& image, std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> d(lo, hi);
  for (int32_t y = 0; y < image.height(); ++y) {
    uint8_t* row = image.row(y);
    for (int32_t x = 0; x < image.width(); ++x) {
      const int v = d(rng);
      if (image.bitsPerPixel() == 16) {
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      } else {
        row[x] = static_cast<uint8_t>(v);
      }
    }
  }
}

struct MaskFrames {
  DibImage raw, dark, white, frame;
  explicit MaskFrames(uint16_t bits) {
    std::mt19937 rng(5);
    const int top = bits == 8 ? 255 : 4095;
    raw.Create(kW, kH, bits);
    dark.Create(kW, kH, bits);
    white.Create(kW, kH, bits);
    frame.Create(kW, kH, bits);
    fill(dark, rng, 0, top / 8);
    fill(white, rng, top * 3 / 4, top);
    fill(frame, rng, 0, top);
  }
};

void BM_MaskFilter(benchmark::State& state) {
  MaskFrames f(static_cast<uint16_t>(state.range(0)));
  const mask::SensorWindow full{0, 0, kW, kH, kW, kH};
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(f.frame.pixels().begin(), f.frame.pixels().end(), f.raw.bits());
    state.ResumeTiming();
    mask::maskFilter(f.raw, f.dark, f.white, full);
    benchmark::DoNotOptimize(f.raw.bits());
  }
}
BENCHMARK(BM_MaskFilter)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

// Hot pixels marked in the map at the given density (per mille x 10), on a quiet field so that
// outliers add few more.
void BM_DotFilter(benchmark::State& state) {
  const uint16_t bits = static_cast<uint16_t>(state.range(0));
  const double density = state.range(1) / 10000.0;
  DibImage hot, dead, work, raw, frame;
  hot.Create(kW, kH, bits);
  dead.Create(kW, kH, bits);
  work.Create(kW, kH, bits);
  raw.Create(kW, kH, bits);
  frame.Create(kW, kH, bits);
  std::mt19937 rng(8);
  std::bernoulli_distribution marked(density);
  for (int32_t y = 0; y < kH; ++y) {
    for (int32_t x = 0; x < kW; ++x) {
      if (marked(rng)) {
        hot.row(y)[x * (bits / 8)] = 1;
      }
    }
  }
  fill(frame, rng, bits == 8 ? 100 : 1600, bits == 8 ? 110 : 1760);
  mask::DotFilter filter;
  const mask::SensorWindow full{0, 0, kW, kH, kW, kH};
  const int32_t threshold = bits == 8 ? mask::kDotThreshold8 : mask::kDotThreshold16;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(frame.pixels().begin(), frame.pixels().end(), raw.bits());
    state.ResumeTiming();
    filter.apply(raw, hot, dead, work, full, threshold);
    benchmark::DoNotOptimize(raw.bits());
  }
}
BENCHMARK(BM_DotFilter)
    ->Args({8, 10})
    ->Args({16, 10})
    ->Args({8, 1000})
    ->Args({16, 1000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#if NIVEXA_BENCH_HAVE_OPENCV
void BM_OpenCvFlatField(benchmark::State& state) {
  const int type = state.range(0) == 8 ? CV_8U : CV_16U;
  MaskFrames f(static_cast<uint16_t>(state.range(0)));
  cv::Mat raw(kH, kW, type, f.frame.bits(), f.frame.stride());
  cv::Mat dark(kH, kW, type, f.dark.bits(), f.dark.stride());
  cv::Mat white(kH, kW, type, f.white.bits(), f.white.stride());
  // The flat field changes only with the references, so it is prepared once, as a peer would.
  cv::Mat flat;
  cv::subtract(white, dark, flat, cv::noArray(), CV_32F);
  cv::Mat numerator, out;
  const double scale = state.range(0) == 8 ? 256.0 : 4096.0 * 16.0;
  for (auto _ : state) {
    cv::subtract(raw, dark, numerator, cv::noArray(), CV_32F);
    cv::divide(numerator, flat, out, scale, type);
    benchmark::DoNotOptimize(out.data);
  }
}
BENCHMARK(BM_OpenCvFlatField)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenCvMedian3x3(benchmark::State& state) {
  const int type = state.range(0) == 8 ? CV_8U : CV_16U;
  MaskFrames f(static_cast<uint16_t>(state.range(0)));
  cv::Mat raw(kH, kW, type, f.frame.bits(), f.frame.stride());
  cv::Mat out;
  for (auto _ : state) {
    cv::medianBlur(raw, out, 3);
    benchmark::DoNotOptimize(out.data);
  }
}
BENCHMARK(BM_OpenCvMedian3x3)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
