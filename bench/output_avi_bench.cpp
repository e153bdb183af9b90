// Recording full 2048 x 1536 frames: one appended AVI frame against one fwrite of the same bytes,
// the conversions to 24-bit rows, and whether the recorder keeps up with a 30 fps preview.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/ApplyKernel.h"
#include "imaging/DibImage.h"
#include "imaging/kernels/ConvertKernels.h"
#include "output/AviRecorder.h"
#include "output/AviWriter.h"

namespace {

using namespace nivexa;

constexpr int32_t kWidth = 2048;
constexpr int32_t kHeight = 1536;
// Files are started afresh every so many frames so that a long run does not fill the disk; both
// sides flush, close and remove each file alike, outside the measured time.
constexpr int kFramesPerFile = 32;

std::string benchPath(const char* name) {
  const char* folder = getenv("TMPDIR");
  return std::string(folder != nullptr ? folder : "/tmp") + "/nivexa-bench-" +
         std::to_string(getpid()) + "-" + name;
}

void BM_AviAppendFrame(benchmark::State& state) {
  const std::string path = benchPath("append.avi");
  output::AviFormat format;
  format.width = kWidth;
  format.height = kHeight;
  format.maxFrames = kFramesPerFile;
  output::AviWriter writer;
  std::vector<uint8_t> rows(output::AviWriter::StrideOf(kWidth) * kHeight, 0x5A);
  int inFile = 0;
  writer.Open(path, format);
  for (auto _ : state) {
    if (inFile == kFramesPerFile) {
      state.PauseTiming();
      writer.Close(3000);
      unlink(path.c_str());
      writer.Open(path, format);
      inFile = 0;
      state.ResumeTiming();
    }
    if (writer.AppendFrame(rows) != output::AppendResult::Written) {
      state.SkipWithError("append failed");
      break;
    }
    ++inFile;
  }
  writer.Close(3000);
  unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(rows.size()));
}
BENCHMARK(BM_AviAppendFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FwriteFrame(benchmark::State& state) {
  const std::string path = benchPath("fwrite.raw");
  std::vector<uint8_t> rows(output::AviWriter::StrideOf(kWidth) * kHeight, 0x5A);
  FILE* file = fopen(path.c_str(), "wb");
  int inFile = 0;
  for (auto _ : state) {
    if (inFile == kFramesPerFile) {
      state.PauseTiming();
      // As the writer's close does: the file goes to disk before the next one starts.
      fflush(file);
      fsync(fileno(file));
      fclose(file);
      unlink(path.c_str());
      file = fopen(path.c_str(), "wb");
      inFile = 0;
      state.ResumeTiming();
    }
    if (fwrite(rows.data(), 1, rows.size(), file) != rows.size()) {
      state.SkipWithError("fwrite failed");
      break;
    }
    ++inFile;
  }
  fclose(file);
  unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(rows.size()));
}
BENCHMARK(BM_FwriteFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// One output bitmap of each depth turned into bottom-up 24-bit rows.
void BM_ConvertToBgr24(benchmark::State& state) {
  const auto bpp = static_cast<uint16_t>(state.range(0));
  imaging::DibImage source;
  imaging::DibImage rows;
  source.Create(kWidth, kHeight, bpp);
  rows.Create(kWidth, kHeight, 24);
  const imaging::Kernel kernel = imaging::kernels::bgr24FlippedKernelFor(bpp);
  for (auto _ : state) {
    imaging::ApplyKernel(rows, kernel, source, nullptr, 0, 0, nullptr);
    benchmark::DoNotOptimize(rows.bits());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(source.imageBytes()));
}
BENCHMARK(BM_ConvertToBgr24)
    ->Arg(8)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Arg(48)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond);

// A preview that processes 30 full 24-bit frames a second into the output bitmap under the image
// lock, and the recorder taking them for ten seconds.
class PacedPreview : public output::RecordingSource {
 public:
  PacedPreview() { image_.Create(kWidth, kHeight, 24); }
  std::optional<output::FrameGeometry> CurrentGeometry() override {
    return output::FrameGeometry{kWidth, kHeight, 24};
  }
  uint64_t UseNewerFrame(uint64_t after,
                         const std::function<void(const imaging::DibImage&)>& use) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (number_ <= after) {
      return after;
    }
    use(image_);
    return number_;
  }
  void process() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++number_;
    std::fill_n(image_.bits(), image_.stride(), static_cast<uint8_t>(number_));
  }

 private:
  std::mutex mutex_;
  imaging::DibImage image_;
  uint64_t number_ = 0;
};

void BM_RecorderKeepsUpWith30Fps(benchmark::State& state) {
  const std::string path = benchPath("paced.avi");
  for (auto _ : state) {
    PacedPreview preview;
    output::AviRecorder recorder;
    output::RecordingOptions options;
    options.durationMs = 10000;
    options.maxFramesPerSecond = 30;
    if (recorder.Start(path, options, preview, nullptr) != 0) {
      state.SkipWithError("recording did not start");
      break;
    }
    // Frames are processed for the recording's duration only: the time the file takes to reach
    // the disk afterwards is no preview time.
    uint64_t processed = 0;
    const auto begin = std::chrono::steady_clock::now();
    auto next = begin;
    while (recorder.IsRecording() && next - begin < std::chrono::milliseconds(options.durationMs)) {
      preview.process();
      ++processed;
      next += std::chrono::microseconds(33333);
      std::this_thread::sleep_until(next);
    }
    // One more frame ends the recording once its duration has passed.
    for (int extra = 0; extra < 3 && !recorder.WaitFinished(33); ++extra) {
      preview.process();
      ++processed;
    }
    recorder.Stop();
    const output::RecordingStats stats = recorder.LastStats();
    state.counters["processed"] = static_cast<double>(processed);
    state.counters["recorded"] = static_cast<double>(stats.frames);
    state.counters["recorded_per_processed"] =
        static_cast<double>(stats.frames) / static_cast<double>(processed);
    state.counters["rate_fps"] = stats.rate / 100.0;
    unlink(path.c_str());
  }
}
BENCHMARK(BM_RecorderKeepsUpWith30Fps)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
