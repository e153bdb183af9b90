// Drawing one 2048 x 1536 8-bit frame into a 1024 x 768 preview window (run under an X server,
// e.g. Xvfb). Three costs: the nearest-neighbour scaling alone; the drawing call the acquisition
// thread makes (scaling and conversion into the window's pixel format, handed to the window's
// thread); and the whole way to the screen, until the server has the pixels, with the
// shared-memory transfer and with plain XPutImage.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "imaging/ProcessFrame.h"
#include "output/PreviewPainter.h"
#include "platform/Window.h"

namespace {

using nivexa::imaging::ColorMode;
using nivexa::imaging::DibImage;
using nivexa::imaging::FrameBitmaps;

constexpr int32_t kFrameWidth = 2048;
constexpr int32_t kFrameHeight = 1536;
constexpr int32_t kClientWidth = 1024;
constexpr int32_t kClientHeight = 768;

FrameBitmaps& frame() {
  static FrameBitmaps bitmaps;
  if (!bitmaps.raw8.valid()) {
    nivexa::imaging::createFrameBitmaps(bitmaps, ColorMode::Mono8, kFrameWidth, kFrameHeight);
    for (int32_t y = 0; y < kFrameHeight; ++y) {
      for (int32_t x = 0; x < kFrameWidth; ++x) {
        bitmaps.raw8.row(y)[x] = static_cast<uint8_t>(x ^ y);
      }
    }
  }
  return bitmaps;
}

std::unique_ptr<nivexa::platform::PreviewWindow> window(bool shm) {
  setenv("NIVEXA_X11_SHM", shm ? "1" : "0", 1);
  nivexa::platform::WindowRequest request;
  request.x = 1;
  request.clientWidth = kClientWidth;
  request.clientHeight = kClientHeight;
  request.className = "VideoRenderer_bench";
  return nivexa::platform::createPreviewWindow(request);
}

void BM_ScaleNearest8(benchmark::State& state) {
  DibImage display;
  display.Create(kClientWidth, kClientHeight, 8);
  const auto columns = nivexa::output::scaledColumns(kFrameWidth, kClientWidth);
  for (auto _ : state) {
    nivexa::output::scaleNearest(frame().raw8, display, columns);
    benchmark::DoNotOptimize(display.bits());
  }
}
BENCHMARK(BM_ScaleNearest8)->Unit(benchmark::kMillisecond);

void BM_DrawCall(benchmark::State& state) {
  auto preview = window(true);
  if (!preview) {
    state.SkipWithError("no X server (set DISPLAY, e.g. under Xvfb)");
    return;
  }
  DibImage display;
  nivexa::output::PreviewPainter painter;
  for (auto _ : state) {
    painter.paint(*preview, ColorMode::Mono8, frame(), display);
  }
  preview->waitShown(5000);
}
BENCHMARK(BM_DrawCall)->Unit(benchmark::kMillisecond);

void BM_DrawToScreen(benchmark::State& state) {
  const bool shm = state.range(0) != 0;
  auto preview = window(shm);
  if (!preview) {
    state.SkipWithError("no X server (set DISPLAY, e.g. under Xvfb)");
    return;
  }
  DibImage display;
  nivexa::output::PreviewPainter painter;
  for (auto _ : state) {
    painter.paint(*preview, ColorMode::Mono8, frame(), display);
    if (!preview->waitShown(5000)) {
      state.SkipWithError("the frame never reached the screen");
      return;
    }
  }
  state.SetLabel(shm ? "MIT-SHM" : "XPutImage");
}
BENCHMARK(BM_DrawToScreen)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
