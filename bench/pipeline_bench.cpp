// The pixel pipeline on 2048 x 1536 frames, one thread unless a name says "2threads": every
// step as processFrame runs it, each next to the closest OpenCV operation measured in the same
// run (names "<step>/ours" and "<step>/opencv"; scripts/bench.sh prints the median ratios).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/ProcessFrame.h"
#include "imaging/steps/Demosaic.h"
#include "imaging/steps/GrayFilter.h"
#include "imaging/steps/PointOps.h"
#include "imaging/steps/Sharpness.h"

#if defined(NIVEXA_BENCH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace nivexa::imaging;
using namespace nivexa::imaging::steps;

constexpr int32_t kWidth = 2048;
constexpr int32_t kHeight = 1536;
constexpr int32_t kGamma = 70, kContrast = 20, kSharpness = 10, kBrightness = 30;

// 12-bit samples for 16-bit data, as the camera delivers them.
void fillRaw(DibImage& image) {
  std::mt19937 rng(1);
  const uint32_t max = image.bitsPerPixel() % 16 == 0 ? 4095 : 255;
  std::uniform_int_distribution<uint32_t> value(0, max);
  for (int32_t y = 0; y < image.height(); ++y) {
    for (int32_t x = 0; x < image.width() * image.bytesPerPixel() / (max > 255 ? 2 : 1); ++x) {
      if (max > 255) {
        reinterpret_cast<uint16_t*>(image.row(y))[x] = static_cast<uint16_t>(value(rng));
      } else {
        image.row(y)[x] = static_cast<uint8_t>(value(rng));
      }
    }
  }
}

struct Images {
  DibImage mono, work, colour;
  explicit Images(bool wide) {
    mono.Create(kWidth, kHeight, wide ? 16 : 8);
    work.CopyFormat(mono);
    colour.Create(kWidth, kHeight, wide ? 48 : 24);
    fillRaw(mono);
  }
};

// CPU time: the machine is shared, and a time slice lost to another process is not ours.
void setup(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond);
}

// ---- ours ----

void oursTable(benchmark::State& state, bool wide, int32_t gamma, int32_t contrast,
               int32_t brightness) {
  Images im(wide);
  const ImageView v = viewOf(im.mono);
  for (auto _ : state) {
    applyTable(v, pointTable(gamma, contrast, brightness, wide));
    benchmark::ClobberMemory();
  }
}

void oursBrightness(benchmark::State& state, bool wide) {
  Images im(wide);
  const ImageView v = viewOf(im.mono);
  for (auto _ : state) {
    brightnessRows(v, kBrightness, 0, v.height);
    benchmark::ClobberMemory();
  }
}

void oursSharpness(benchmark::State& state, bool wide) {
  Images im(wide);
  const ImageView v = viewOf(im.mono);
  const ImageView w = viewOf(im.work);
  for (auto _ : state) {
    copyToWork(v, w, 0, v.height);
    sharpenRows(v, w, kSharpness, 0, 0, v.height);
    benchmark::ClobberMemory();
  }
}

void oursDemosaic(benchmark::State& state, bool wide) {
  Images im(wide);
  const ImageView raw = viewOf(im.mono);
  const ImageView out = viewOf(im.colour);
  for (auto _ : state) {
    demosaicRows(raw, out, 1, 100, 100, 0, raw.height);
    benchmark::ClobberMemory();
  }
}

GrayGains benchGrayGains() {
  GrayGains g;
  g.gain = {150, 128, 120, 170};
  g.offset = {-5, 0, 3, 10};
  return g;
}

void oursGray(benchmark::State& state) {
  Images im(false);
  const ImageView v = viewOf(im.mono);
  for (auto _ : state) {
    applyGrayRows(v, 0, benchGrayGains(), 0, v.height);
    benchmark::ClobberMemory();
  }
}

class NullHost : public PipelineHost {
 public:
  bool engineMirrorsHorizontally() override { return false; }
  bool engineMirrorsVertically() override { return false; }
  int32_t currentGain() override { return 0; }
  int32_t gainMinimum() override { return 0; }
  int32_t gainMaximum() override { return 0; }
  void setAutoGain(int32_t) override {}
  int32_t currentExposure() override { return 0; }
  int32_t exposureMinimum() override { return 0; }
  int32_t exposureMaximum() override { return 0; }
  void setAutoExposure(int32_t) override {}
  void applyMaskFilter(DibImage&) override {}
  void applyDotFilter(DibImage&, int32_t) override {}
  void processingValuesChanged() override {}
};

void oursChain(benchmark::State& state, bool wide) {
  const ColorMode mode = wide ? ColorMode::Mono16 : ColorMode::Mono8;
  FrameBitmaps b;
  createFrameBitmaps(b, mode, kWidth, kHeight);
  fillRaw(b.rawFor(mode));
  ProcessingParameters p;
  p.grayMode = 1;
  const GrayGains g = benchGrayGains();
  for (size_t c = 0; c < 4; ++c) {
    p.grayGain[c] = g.gain[c];
    p.grayOffset[c] = g.offset[c];
  }
  p.gamma = kGamma;
  p.contrast = kContrast;
  p.sharpness = kSharpness;
  p.brightness = kBrightness;
  NullHost host;
  for (auto _ : state) {
    processFrame(mode, b, p, host);
    benchmark::ClobberMemory();
  }
}

#if defined(NIVEXA_BENCH_OPENCV)

// ---- OpenCV peers ----

cv::Mat peerFrame(bool wide) {
  Images im(wide);
  cv::Mat m(kHeight, kWidth, wide ? CV_16UC1 : CV_8UC1);
  for (int32_t y = 0; y < kHeight; ++y) {
    std::memcpy(m.ptr(y), im.mono.row(y), static_cast<size_t>(kWidth) * (wide ? 2 : 1));
  }
  return m;
}

cv::Mat lut8(int32_t gamma, int32_t contrast) {
  cv::Mat lut(1, 256, CV_8UC1);
  for (int32_t v = 0; v < 256; ++v) {
    int32_t e = gamma != 100 ? gammaValue(v, gamma, false) : v;
    e = contrast != 0 ? contrastValue(e, contrast, false) : e;
    lut.at<uint8_t>(v) = static_cast<uint8_t>(e);
  }
  return lut;
}

std::vector<uint16_t> lut16(int32_t gamma, int32_t contrast) {
  std::vector<uint16_t> lut(65536);
  for (int32_t v = 0; v < 65536; ++v) {
    int32_t e = gamma != 100 ? gammaValue(v, gamma, true) : v;
    e = contrast != 0 ? contrastValue(e, contrast, true) : e;
    lut[static_cast<size_t>(v)] = static_cast<uint16_t>(e);
  }
  return lut;
}

// cv::LUT takes 8-bit input only; 16-bit data go through a plain 64 K-entry table loop.
void tableLoop16(cv::Mat& m, const std::vector<uint16_t>& lut) {
  for (int y = 0; y < m.rows; ++y) {
    uint16_t* p = m.ptr<uint16_t>(y);
    for (int x = 0; x < m.cols; ++x) {
      p[x] = lut[p[x]];
    }
  }
}

double brightnessScale() {
  return 1.0 + kBrightness * 10.0 / 255.0;
}

void peerSharpen(cv::Mat& m, cv::Mat& blurred) {
  cv::blur(m, blurred, cv::Size(4, 4));
  const double k = kSharpness / 10.0;
  cv::addWeighted(m, 1.0 + k, blurred, -k, 0.0, m);
}

void peerGray(cv::Mat& m, const cv::Mat& gains, const cv::Mat& offsets) {
  cv::multiply(m, gains, m, 1.0 / 128.0);
  cv::add(m, offsets, m);
}

// Per-site gain and offset images for cv::multiply / cv::add (built once, outside the timing).
void siteImages(bool wide, cv::Mat& gains, cv::Mat& offsets) {
  const GrayGains g = benchGrayGains();
  gains.create(kHeight, kWidth, wide ? CV_16UC1 : CV_8UC1);
  offsets.create(kHeight, kWidth, wide ? CV_16UC1 : CV_8UC1);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const auto c = static_cast<size_t>(graySiteClass(0, x, y));
      const int off = std::max(0, g.offset[c]);
      if (wide) {
        gains.at<uint16_t>(y, x) = static_cast<uint16_t>(g.gain[c]);
        offsets.at<uint16_t>(y, x) = static_cast<uint16_t>(off);
      } else {
        gains.at<uint8_t>(y, x) = static_cast<uint8_t>(g.gain[c]);
        offsets.at<uint8_t>(y, x) = static_cast<uint8_t>(off);
      }
    }
  }
}

void peerTable(benchmark::State& state, bool wide, int32_t gamma, int32_t contrast) {
  cv::Mat m = peerFrame(wide);
  const cv::Mat l8 = lut8(gamma, contrast);
  const std::vector<uint16_t> l16 = wide ? lut16(gamma, contrast) : std::vector<uint16_t>{};
  for (auto _ : state) {
    if (wide) {
      tableLoop16(m, l16);
    } else {
      cv::LUT(m, l8, m);
    }
    benchmark::ClobberMemory();
  }
}

void peerBrightness(benchmark::State& state, bool wide) {
  cv::Mat m = peerFrame(wide);
  cv::Mat out;
  for (auto _ : state) {
    m.convertTo(out, -1, brightnessScale());
    benchmark::ClobberMemory();
  }
}

void peerSharpness(benchmark::State& state, bool wide) {
  cv::Mat m = peerFrame(wide);
  cv::Mat blurred;
  for (auto _ : state) {
    peerSharpen(m, blurred);
    benchmark::ClobberMemory();
  }
}

void peerDemosaic(benchmark::State& state, bool wide) {
  cv::Mat m = peerFrame(wide);
  cv::Mat out;
  for (auto _ : state) {
    cv::cvtColor(m, out, cv::COLOR_BayerBG2BGR);
    benchmark::ClobberMemory();
  }
}

void peerGrayFilter(benchmark::State& state) {
  cv::Mat m = peerFrame(false);
  cv::Mat gains, offsets;
  siteImages(false, gains, offsets);
  for (auto _ : state) {
    peerGray(m, gains, offsets);
    benchmark::ClobberMemory();
  }
}

// The chain's peers one after another: gray filter, gamma, contrast, sharpness, brightness.
void peerChain(benchmark::State& state, bool wide) {
  cv::Mat m = peerFrame(wide);
  cv::Mat gains, offsets, blurred, out;
  siteImages(wide, gains, offsets);
  const cv::Mat g8 = lut8(kGamma, 0), c8 = lut8(100, kContrast);
  const std::vector<uint16_t> g16 = wide ? lut16(kGamma, 0) : std::vector<uint16_t>{};
  const std::vector<uint16_t> c16 = wide ? lut16(100, kContrast) : std::vector<uint16_t>{};
  for (auto _ : state) {
    peerGray(m, gains, offsets);
    if (wide) {
      tableLoop16(m, g16);
      tableLoop16(m, c16);
    } else {
      cv::LUT(m, g8, m);
      cv::LUT(m, c8, m);
    }
    peerSharpen(m, blurred);
    m.convertTo(out, -1, brightnessScale());
    benchmark::ClobberMemory();
  }
}

#endif

void registerAll() {
  setup(benchmark::RegisterBenchmark("gamma8/ours", oursTable, false, kGamma, 0, 0));
  setup(benchmark::RegisterBenchmark("gamma16/ours", oursTable, true, kGamma, 0, 0));
  setup(benchmark::RegisterBenchmark("contrast8/ours", oursTable, false, 100, kContrast, 0));
  setup(benchmark::RegisterBenchmark("contrast16/ours", oursTable, true, 100, kContrast, 0));
  setup(benchmark::RegisterBenchmark("brightness8/ours", oursBrightness, false));
  setup(benchmark::RegisterBenchmark("brightness16/ours", oursBrightness, true));
  setup(benchmark::RegisterBenchmark("sharpness8/ours", oursSharpness, false));
  setup(benchmark::RegisterBenchmark("sharpness16/ours", oursSharpness, true));
  setup(benchmark::RegisterBenchmark("demosaic8to24/ours", oursDemosaic, false));
  setup(benchmark::RegisterBenchmark("demosaic16to48/ours", oursDemosaic, true));
  setup(benchmark::RegisterBenchmark("grayfilter8/ours", oursGray));
  setup(benchmark::RegisterBenchmark("chain8/ours", oursChain, false));
  setup(benchmark::RegisterBenchmark("chain16/ours", oursChain, true));
#if defined(NIVEXA_BENCH_OPENCV)
  cv::setNumThreads(1);
  setup(benchmark::RegisterBenchmark("gamma8/opencv", peerTable, false, kGamma, 0));
  setup(benchmark::RegisterBenchmark("gamma16/opencv", peerTable, true, kGamma, 0));
  setup(benchmark::RegisterBenchmark("contrast8/opencv", peerTable, false, 100, kContrast));
  setup(benchmark::RegisterBenchmark("contrast16/opencv", peerTable, true, 100, kContrast));
  setup(benchmark::RegisterBenchmark("brightness8/opencv", peerBrightness, false));
  setup(benchmark::RegisterBenchmark("brightness16/opencv", peerBrightness, true));
  setup(benchmark::RegisterBenchmark("sharpness8/opencv", peerSharpness, false));
  setup(benchmark::RegisterBenchmark("sharpness16/opencv", peerSharpness, true));
  setup(benchmark::RegisterBenchmark("demosaic8to24/opencv", peerDemosaic, false));
  setup(benchmark::RegisterBenchmark("demosaic16to48/opencv", peerDemosaic, true));
  setup(benchmark::RegisterBenchmark("grayfilter8/opencv", peerGrayFilter));
  setup(benchmark::RegisterBenchmark("chain8/opencv", peerChain, false));
  setup(benchmark::RegisterBenchmark("chain16/opencv", peerChain, true));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
