// Frames per second through `nivexasrc ! fakesink` against the library's own callback preview,
// in one run, full frames at 8 and 16 bits, with the virtual camera handing out frames at once
// (device 0: the library's cost per frame decides the rate) and at its own frame timing
// (device 1: whether every frame the camera sends gets through). Uses the public interface and
// the shared library only, as the element does.
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "NivexaSrc.h"

namespace {

constexpr int64_t kPixels = 2048 * 1536;
constexpr int kBitsPerByte = 8;
constexpr NivexaLong kFrameWaitMs = 5000;
constexpr gint64 kBufferWaitUs = 5 * G_TIME_SPAN_SECOND;
// Opening the camera and starting its stream, on two busy cores.
constexpr gint64 kFirstBufferWaitUs = 30 * G_TIME_SPAN_SECOND;
enum Device { kFast = 0, kReal = 1 };
constexpr const char* kCameras = "pacing=fast;pacing=real";

void BM_CallbackPreview(benchmark::State& state) {
  const auto bits = static_cast<NivexaLong>(state.range(0));
  const NivexaLong h = Nivexa_Initialize(nullptr);
  NivexaWindow sink = NivexaMsg_CreateSink();
  std::vector<NivexaByte> buffer(static_cast<size_t>(kPixels * (bits / kBitsPerByte)));
  if (!Nivexa_SetDeviceNumber(h, static_cast<NivexaLong>(state.range(1))) ||
      !Nivexa_SetColorMode(h, bits) || !Nivexa_SetWaitTime(h, 0) ||
      !Nivexa_CallBackPreview(h, sink, buffer.data(), static_cast<NivexaLong>(buffer.size()), 1)) {
    state.SkipWithError("preview did not start");
  } else {
    int64_t frames = 0;
    for (auto _ : state) {
      NivexaMsg message{};
      if (!NivexaMsg_Get(sink, &message, kFrameWaitMs) || message.lParam != 0) {
        state.SkipWithError("frame lost");
        break;
      }
      ++frames;
      benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  }
  Nivexa_Release(h);
  NivexaMsg_DestroySink(sink);
}
BENCHMARK(BM_CallbackPreview)
    ->ArgsProduct({{8, 16}, {kFast, kReal}})
    ->ArgNames({"bits", "real_pacing"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// Buffers reaching fakesink, counted by a probe the benchmark loop waits on.
struct Arrivals {
  GMutex lock;
  GCond arrived;
  int64_t count = 0;
};

GstPadProbeReturn countArrival(GstPad*, GstPadProbeInfo*, gpointer data) {
  auto* arrivals = static_cast<Arrivals*>(data);
  g_mutex_lock(&arrivals->lock);
  ++arrivals->count;
  g_cond_signal(&arrivals->arrived);
  g_mutex_unlock(&arrivals->lock);
  return GST_PAD_PROBE_OK;
}

// Why no buffer came: the pipeline's error, if it posted one.
std::string pipelineError(GstElement* pipeline) {
  std::string why = "no buffer reached the sink";
  GstBus* bus = gst_element_get_bus(pipeline);
  if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    why += std::string(": ") + error->message + " (" + (debug != nullptr ? debug : "") + ")";
    g_error_free(error);
    g_free(debug);
    gst_message_unref(message);
  }
  gst_object_unref(bus);
  return why;
}

void BM_GstSource(benchmark::State& state) {
  const char* format = state.range(0) == 16 ? "GRAY16_LE" : "GRAY8";
  const std::string description = "nivexasrc name=src device=" + std::to_string(state.range(1)) +
                                  " ! video/x-raw,format=" + format +
                                  " ! fakesink name=sink sync=false";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstPad* pad = gst_element_get_static_pad(sink, "sink");
  Arrivals arrivals;
  g_mutex_init(&arrivals.lock);
  g_cond_init(&arrivals.arrived);
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, countArrival, &arrivals, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);

  // The rate starts at the first frame: opening the camera and starting its stream take about
  // a second, which the callback preview spends in Nivexa_CallBackPreview, before its loop.
  bool failed = false;
  g_mutex_lock(&arrivals.lock);
  const gint64 firstDeadline = g_get_monotonic_time() + kFirstBufferWaitUs;
  while (arrivals.count == 0 && !failed) {
    failed = !g_cond_wait_until(&arrivals.arrived, &arrivals.lock, firstDeadline);
  }
  int64_t seen = arrivals.count;
  g_mutex_unlock(&arrivals.lock);
  int64_t frames = 0;
  for (auto _ : state) {
    if (failed) {
      state.SkipWithError(pipelineError(pipeline).c_str());
      break;
    }
    g_mutex_lock(&arrivals.lock);
    const gint64 deadline = g_get_monotonic_time() + kBufferWaitUs;
    while (arrivals.count == seen) {
      if (!g_cond_wait_until(&arrivals.arrived, &arrivals.lock, deadline)) {
        failed = true;
        break;
      }
    }
    // Every buffer counts, also when several came while this loop was away.
    frames += arrivals.count - seen;
    seen = arrivals.count;
    g_mutex_unlock(&arrivals.lock);
  }
  guint64 lost = 0;
  guint64 dropped = 0;
  GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  if (source != nullptr) {
    g_object_get(source, "frames-lost", &lost, "frames-dropped", &dropped, nullptr);
    gst_object_unref(source);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["lost"] = static_cast<double>(lost);
  state.counters["dropped"] = static_cast<double>(dropped);
  gst_object_unref(pad);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  g_cond_clear(&arrivals.arrived);
  g_mutex_clear(&arrivals.lock);
}
BENCHMARK(BM_GstSource)
    ->ArgsProduct({{8, 16}, {kFast, kReal}})
    ->ArgNames({"bits", "real_pacing"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto found = run.counters.find("fps");
      if (found != run.counters.end()) {
        rates_[run.run_name.function_name + "/" + run.run_name.args] = found->second.value;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* pacing : {"0", "1"}) {
      for (const char* bits : {"8", "16"}) {
        const std::string args = std::string("bits:") + bits + "/real_pacing:" + pacing;
        const double callback = rates_["BM_CallbackPreview/" + args];
        const double element = rates_["BM_GstSource/" + args];
        if (callback > 0 && element > 0) {
          std::printf(
              "%s bit, %s: nivexasrc %.1f fps, callback %.1f fps, nivexasrc / callback = "
              "%.3f\n",
              bits, *pacing == '1' ? "camera's frame timing" : "frames at once", element, callback,
              element / callback);
        }
      }
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  // The cameras of this run, unless the caller names others.
  g_setenv("NIVEXA_VIRTUAL_CAMERAS", kCameras, FALSE);
  g_setenv("NIVEXA_SHM_PREFIX", "nivexa-gst-bench-", FALSE);
  gst_init(&argc, &argv);
  if (!gst_nivexa_src_register(nullptr)) {
    std::fprintf(stderr, "gst_bench: nivexasrc did not register\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
