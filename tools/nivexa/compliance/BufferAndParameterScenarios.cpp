// The callback buffer swapped under a running preview, and the parameters: changed from several
// threads while frames flow, and each swept over its range with read-back.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "Support.h"

namespace nivexa::compliance {

namespace {

constexpr int kSwapRounds = 20;
constexpr uint8_t kOldBufferPattern = 0xA5;
constexpr uint8_t kSmallPattern = 0x5A;
constexpr uint8_t kLargePattern = 0x96;
// Announcements of the too-small buffer awaited after a swap: once two came, any copy that was
// under way at the swap has ended.
constexpr int kRefusalsAfterSwap = 2;
constexpr size_t kLargeFactor = 2;
constexpr size_t kSmallDivisor = 2;
constexpr size_t kStreamBuffers = 8;
constexpr auto kConcurrentTime = std::chrono::milliseconds(2000);
// Between two changes of one parameter thread: still hundreds of changes a second each, but the
// threads that change software parameters no longer spin on the CPU. On a virtual camera they
// would otherwise take the time the camera model needs to make frames, so that none came.
constexpr auto kChangePause = std::chrono::microseconds(500);

// Swaps the callback buffer from a thread of its own, as an application's UI thread might.
BOOL swapFromAnotherThread(LONG h, HWND window, GuardedBuffer& buffer) {
  std::atomic<BOOL> swapped{0};
  std::thread swapper(
      [&] { swapped = Nivexa_CallBackPreview(h, window, buffer.data(), buffer.size(), 1); });
  swapper.join();
  return swapped;
}

Result callbackSwap(const Context& context) {
  FrameSink sink;
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0 || !sink.valid()) {
    return fail(h == 0 ? camera.problem() : "no message sink");
  }
  Nivexa_SetWaitTime(h, 0);
  const size_t frame = processedFrameBytes(h);
  GuardedBuffer exact(frame);
  GuardedBuffer large(frame * kLargeFactor);
  GuardedBuffer small(frame / kSmallDivisor);
  PostedMessage message;
  if (!Nivexa_CallBackPreview(h, sink.window(), exact.data(), exact.size(), 1)) {
    return fail("the preview did not start (errors " + describeErrors(takeErrors(h)) + ")");
  }
  if (!nextFrame(sink, message)) {
    Nivexa_StopPreview(h);
    return fail(text("no first frame within %d ms", kFrameTimeoutMs));
  }
  std::string problem;
  for (int round = 0; round < kSwapRounds && problem.empty(); ++round) {
    small.fill(kSmallPattern);
    if (!swapFromAnotherThread(h, sink.window(), small)) {
      problem = text("round %d: the swap to a smaller buffer was not taken", round);
      break;
    }
    exact.fill(kOldBufferPattern);
    large.fill(kOldBufferPattern);
    for (int refused = 0; refused < kRefusalsAfterSwap && problem.empty();) {
      if (!nextFrame(sink, message)) {
        problem = text("round %d: no announcement after the swap to a smaller buffer", round);
      } else if (message.lParam == NIVEXA_ERR_MEMORY) {
        ++refused;
      } else if (message.lParam != 0) {
        problem = text("round %d: frame came with error %ld, not 5", round,
                       static_cast<long>(message.lParam));
      }
    }
    if (!problem.empty()) {
      break;
    }
    if (!small.untouched(kSmallPattern) || !small.guardsIntact()) {
      problem = text("round %d: the too-small buffer was written", round);
    } else if (!exact.untouched(kOldBufferPattern) || !large.untouched(kOldBufferPattern)) {
      problem = text("round %d: a buffer swapped out was written after the swap", round);
    }
    if (!problem.empty()) {
      break;
    }
    large.fill(kLargePattern);
    if (!swapFromAnotherThread(h, sink.window(), large)) {
      problem = text("round %d: the swap to a larger buffer was not taken", round);
      break;
    }
    bool delivered = false;
    while (!delivered && problem.empty()) {
      if (!nextFrame(sink, message)) {
        problem = text("round %d: no frame into the larger buffer", round);
      } else if (message.lParam == 0 && message.wParam != 0) {
        const auto* info = reinterpret_cast<const NivexaFrameInfo*>(message.wParam);
        delivered = info->buffer == large.data();
      }
    }
    if (problem.empty() && (!large.guardsIntact() || !large.untouchedFrom(frame, kLargePattern))) {
      problem = text("round %d: a frame was written past its size into the larger buffer", round);
    }
  }
  Nivexa_StopPreview(h);
  if (!problem.empty()) {
    return fail(problem);
  }
  if (!exact.guardsIntact() || !small.guardsIntact() || !large.guardsIntact()) {
    return fail("a write went past a callback buffer");
  }
  for (const LONG code : takeErrors(h)) {
    if (code != NIVEXA_ERR_MEMORY) {
      return fail(
          text("error %ld recorded; only 5 (buffer too small) was due", static_cast<long>(code)));
    }
  }
  return pass(text("%d rounds", kSwapRounds));
}

using Getter = LONG (*)(LONG, BOOL*);
using Setter = BOOL (*)(LONG, LONG);

// Puts back, when it goes, every value it was told of: a real camera keeps its settings across
// sessions, and the suite must not leave its sweep behind in them.
class Restorer {
 public:
  explicit Restorer(LONG h) : h_(h) {}
  ~Restorer() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      it->setter(h_, it->value);
    }
    takeErrors(h_);
  }
  Restorer(const Restorer&) = delete;
  Restorer& operator=(const Restorer&) = delete;
  void remember(Setter setter, LONG value) { saved_.push_back({setter, value}); }

 private:
  struct Saved {
    Setter setter;
    LONG value;
  };
  LONG h_;
  std::vector<Saved> saved_;
};

struct Parameter {
  const char* name;
  Getter get;
  Setter set;
  LONG min;
  LONG max;
  bool bounded;  // a value outside the range is refused with error 9
};

std::vector<Parameter> parameters(const NivexaCameraInfo& info) {
  constexpr LONG kBrightness = 255;
  constexpr LONG kContrast = 127;
  constexpr LONG kHue = 360;
  constexpr LONG kSharpness = 30;
  constexpr LONG kBayerGain = 400;
  constexpr LONG kGamma = 200;
  constexpr LONG kBayerModes = 3;
  constexpr LONG kGrayModes = 2;
  constexpr LONG kGrayGain = 255;
  constexpr LONG kGrayOffset = 255;
  return {
      {"brightness", Nivexa_GetBrightness, Nivexa_SetBrightness, -kBrightness, kBrightness, true},
      {"contrast", Nivexa_GetContrast, Nivexa_SetContrast, -kContrast, kContrast, true},
      {"hue", Nivexa_GetHue, Nivexa_SetHue, -kHue, kHue, true},
      {"saturation", Nivexa_GetSaturation, Nivexa_SetSaturation, -kBrightness, kBrightness, true},
      {"sharpness", Nivexa_GetSharpness, Nivexa_SetSharpness, 0, kSharpness, true},
      {"bayer gain red", Nivexa_GetBayerGainRed, Nivexa_SetBayerGainRed, 0, kBayerGain, true},
      {"bayer gain green", Nivexa_GetBayerGainGreen, Nivexa_SetBayerGainGreen, 0, kBayerGain, true},
      {"bayer gain blue", Nivexa_GetBayerGainBlue, Nivexa_SetBayerGainBlue, 0, kBayerGain, true},
      {"white balance", Nivexa_GetBayerGainAuto, Nivexa_SetBayerGainAuto, 0, 1, false},
      {"gamma", Nivexa_GetGamma, Nivexa_SetGamma, 0, kGamma, true},
      {"bayer mode", Nivexa_GetBayerMode, Nivexa_SetBayerMode, 0, kBayerModes, true},
      {"global gain", Nivexa_GetGlobalGain, Nivexa_SetGlobalGain, info.globalGainMin,
       info.globalGainMax, true},
      {"exposure", Nivexa_GetExposureTime, Nivexa_SetExposureTime, info.exposureMin,
       info.exposureMax, true},
      {"gray mode", Nivexa_GetGrayMode, Nivexa_SetGrayMode, 0, kGrayModes, true},
      {"gray gain R", Nivexa_GetGrayGainR, Nivexa_SetGrayGainR, 0, kGrayGain, true},
      {"gray gain G1", Nivexa_GetGrayGainG1, Nivexa_SetGrayGainG1, 0, kGrayGain, true},
      {"gray gain G2", Nivexa_GetGrayGainG2, Nivexa_SetGrayGainG2, 0, kGrayGain, true},
      {"gray gain B", Nivexa_GetGrayGainB, Nivexa_SetGrayGainB, 0, kGrayGain, true},
      {"gray offset R", Nivexa_GetGrayOffsetR, Nivexa_SetGrayOffsetR, -kGrayOffset, kGrayOffset,
       true},
      {"gray offset G1", Nivexa_GetGrayOffsetG1, Nivexa_SetGrayOffsetG1, -kGrayOffset, kGrayOffset,
       true},
      {"gray offset G2", Nivexa_GetGrayOffsetG2, Nivexa_SetGrayOffsetG2, -kGrayOffset, kGrayOffset,
       true},
      {"gray offset B", Nivexa_GetGrayOffsetB, Nivexa_SetGrayOffsetB, -kGrayOffset, kGrayOffset,
       true},
      {"dot filter", Nivexa_GetDotFilter, Nivexa_SetDotFilter, 0, 1, true},
      {"mask filter", Nivexa_GetMaskFilter, Nivexa_SetMaskFilter, 0, 1, true},
      {"cooler", Nivexa_GetPeltier, Nivexa_SetPeltier, 0, 1, false},
  };
}

// Sets one parameter to its ends and middle, reading each back, and past each end, which must be
// refused with error 9 and change nothing. Empty when all held.
std::string sweep(LONG h, const Parameter& parameter, Restorer& restorer, bool& unsupported) {
  BOOL ok = 0;
  const LONG original = parameter.get(h, &ok);
  if (!ok) {
    const auto codes = takeErrors(h);
    unsupported = !codes.empty() && codes.front() == NIVEXA_ERR_UNSUPPORTED;
    return unsupported ? std::string()
                       : text("%s could not be read (errors %s)", parameter.name,
                              describeErrors(codes).c_str());
  }
  restorer.remember(parameter.set, original);
  const LONG values[] = {parameter.min, parameter.max,
                         parameter.min + (parameter.max - parameter.min) / 2};
  for (const LONG value : values) {
    if (!parameter.set(h, value)) {
      return text("%s %ld refused (errors %s)", parameter.name, static_cast<long>(value),
                  describeErrors(takeErrors(h)).c_str());
    }
    const LONG back = parameter.get(h, &ok);
    if (!ok || back != value) {
      return text("%s set to %ld reads back %ld", parameter.name, static_cast<long>(value),
                  static_cast<long>(back));
    }
  }
  if (!parameter.bounded) {
    return {};
  }
  const LONG kept = values[std::size(values) - 1];
  for (const LONG outside : {parameter.min - 1, parameter.max + 1}) {
    const BOOL taken = parameter.set(h, outside);
    const auto codes = takeErrors(h);
    const LONG back = parameter.get(h, &ok);
    if (taken || codes.empty() || codes.front() != NIVEXA_ERR_ARGUMENT || back != kept) {
      return text("%s %ld outside its range: %s, errors %s, reads back %ld", parameter.name,
                  static_cast<long>(outside), taken ? "taken" : "refused",
                  describeErrors(codes).c_str(), static_cast<long>(back));
    }
  }
  return {};
}

// The settings with no range of their own: switches and codes, and the colour gains this
// monochrome family lacks.
std::string sweepCodes(LONG h, Restorer& restorer) {
  constexpr LONG kBadSubsample = 2;
  constexpr LONG kBadColourMode = 12;
  constexpr LONG kColourModes[] = {8, 16};
  constexpr LONG kBadAutoIris = 3;
  constexpr LONG kAutoIrisModes = 3;
  constexpr LONG kRgb = 0x030201;  // red 1, green 2, blue 3
  constexpr LONG kByte = 0xFF;
  for (const BOOL on : {1, 0}) {
    if (!Nivexa_SetMirrorH(h, on) || Nivexa_GetMirrorH(h) != on || !Nivexa_SetMirrorV(h, on) ||
        Nivexa_GetMirrorV(h) != on) {
      return text("mirroring %d not kept", on);
    }
  }
  const LONG subsample = Nivexa_GetSubSample(h);
  for (const LONG code : {1, 0}) {
    if (!Nivexa_SetSubSample(h, code) || Nivexa_GetSubSample(h) != code) {
      return text("subsample %ld not kept", static_cast<long>(code));
    }
  }
  if (Nivexa_SetSubSample(h, kBadSubsample) || Nivexa_GetSubSample(h) != 0) {
    return "subsample code 2 was taken";
  }
  Nivexa_SetSubSample(h, subsample);
  const LONG colourMode = Nivexa_GetColorMode(h);
  for (const LONG bits : kColourModes) {
    if (!Nivexa_SetColorMode(h, bits) || Nivexa_GetColorMode(h) != bits) {
      return text("colour mode %ld not kept", static_cast<long>(bits));
    }
  }
  if (Nivexa_SetColorMode(h, kBadColourMode) || takeErrors(h).empty()) {
    return "colour mode 12 was taken or not reported";
  }
  Nivexa_SetColorMode(h, colourMode);
  BOOL ok = 0;
  const LONG autoIris = Nivexa_GetAutoIris(h, &ok);
  for (LONG mode = 0; mode < kAutoIrisModes; ++mode) {
    if (!Nivexa_SetAutoIris(h, mode) || Nivexa_GetAutoIris(h, &ok) != mode || !ok) {
      return text("automatic control mode %ld not kept", static_cast<long>(mode));
    }
  }
  if (Nivexa_SetAutoIris(h, kBadAutoIris)) {
    return "automatic control mode 3 was taken";
  }
  Nivexa_SetAutoIris(h, autoIris);
  restorer.remember(Nivexa_SetBayerGainRGB, Nivexa_GetBayerGainRGB(h, &ok));
  if (!Nivexa_SetBayerGainRGB(h, kRgb) || Nivexa_GetBayerGainRed(h, &ok) != (kRgb & kByte) ||
      Nivexa_GetBayerGainGreen(h, &ok) != ((kRgb >> 8) & kByte) ||
      Nivexa_GetBayerGainBlue(h, &ok) != ((kRgb >> 16) & kByte) ||
      Nivexa_GetBayerGainRGB(h, &ok) != kRgb) {
    return "the combined bayer gains do not match the single ones";
  }
  for (const Setter colourGain : {Nivexa_SetColorGainRed, Nivexa_SetColorGainGreen1,
                                  Nivexa_SetColorGainGreen2, Nivexa_SetColorGainBlue}) {
    const BOOL taken = colourGain(h, 1);
    const auto codes = takeErrors(h);
    if (!taken && (codes.empty() || codes.front() != NIVEXA_ERR_UNSUPPORTED)) {
      return "a refused colour gain gave errors " + describeErrors(codes) + ", not 11";
    }
  }
  takeErrors(h);
  return {};
}

Result parameterSweep(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  NivexaCameraInfo info{};
  info.size = sizeof info;
  if (!Nivexa_GetCameraInfo(h, &info)) {
    return fail("Nivexa_GetCameraInfo failed (errors " + describeErrors(takeErrors(h)) + ")");
  }
  Restorer restorer(h);
  std::string unsupported;
  for (const auto& parameter : parameters(info)) {
    bool lacking = false;
    if (const auto problem = sweep(h, parameter, restorer, lacking); !problem.empty()) {
      return fail(problem);
    }
    if (lacking) {
      unsupported +=
          (unsupported.empty() ? "not on this camera: " : ", ") + std::string(parameter.name);
    }
  }
  if (const auto problem = sweepCodes(h, restorer); !problem.empty()) {
    return fail(problem);
  }
  return pass(unsupported);
}

// Three threads change camera and processing parameters while the scenario's own thread takes
// frames: every change is taken and every frame still comes whole.
Result concurrentParameters(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  NivexaCameraInfo info{};
  info.size = sizeof info;
  if (!Nivexa_GetCameraInfo(h, &info)) {
    return fail("Nivexa_GetCameraInfo failed");
  }
  Restorer restorer(h);
  BOOL ok = 0;
  restorer.remember(Nivexa_SetGlobalGain, Nivexa_GetGlobalGain(h, &ok));
  const LONG exposure = Nivexa_GetExposureTime(h, &ok);
  restorer.remember(Nivexa_SetExposureTime, exposure);
  restorer.remember(Nivexa_SetBrightness, Nivexa_GetBrightness(h, &ok));
  restorer.remember(Nivexa_SetGamma, Nivexa_GetGamma(h, &ok));
  BufferStream stream(h, kStreamBuffers, NIVEXA_STREAM_PROCESSED);
  if (!stream.started()) {
    return fail(stream.problem());
  }
  std::atomic<bool> done{false};
  std::mutex problemLock;
  std::string problem;
  const auto report = [&](std::string what) {
    std::lock_guard<std::mutex> lock(problemLock);
    if (problem.empty()) {
      problem = std::move(what);
    }
  };
  // Each thread alternates its parameter between two values in range, reading each back.
  const auto changer = [&](const char* name, Setter set, Getter get, LONG a, LONG b) {
    return std::thread([&, name, set, get, a, b] {
      for (long i = 0; !done; ++i) {
        const LONG value = i % 2 == 0 ? a : b;
        BOOL read = 0;
        if (!set(h, value) || get(h, &read) != value || !read) {
          report(text("%s %ld not kept while streaming", name, static_cast<long>(value)));
          return;
        }
        std::this_thread::sleep_for(kChangePause);
      }
    });
  };
  constexpr LONG kBrightnessA = -50;
  constexpr LONG kBrightnessB = 50;
  constexpr LONG kGammaA = 50;
  constexpr LONG kGammaB = 150;
  // Short exposures only, so frames keep coming: at most the streaming scenarios' exposure,
  // whatever the camera was left at (a stored long exposure would let no frame through the
  // changes).
  const LONG exposureB =
      std::clamp(exposureTicks(context.streamExposureS),
                 std::min(info.exposureMin + 1, info.exposureMax), info.exposureMax);
  std::thread threads[] = {
      changer("global gain", Nivexa_SetGlobalGain, Nivexa_GetGlobalGain, info.globalGainMin,
              info.globalGainMax),
      changer("exposure", Nivexa_SetExposureTime, Nivexa_GetExposureTime, info.exposureMin,
              exposureB),
      changer("brightness", Nivexa_SetBrightness, Nivexa_GetBrightness, kBrightnessA, kBrightnessB),
      changer("gamma", Nivexa_SetGamma, Nivexa_GetGamma, kGammaA, kGammaB),
  };
  long frames = 0;
  const auto end = Clock::now() + kConcurrentTime;
  while (Clock::now() < end) {
    NivexaBuffer* buffer = stream.wait(kFrameTimeoutMs);
    if (buffer == nullptr || buffer->status != NIVEXA_BUFFER_COMPLETE) {
      report(buffer == nullptr ? std::string("no frame while the parameters changed")
                               : text("a buffer came back with status %u", buffer->status));
      break;
    }
    ++frames;
    stream.requeue(buffer);
  }
  done = true;
  for (auto& thread : threads) {
    thread.join();
  }
  if (!problem.empty()) {
    return fail(problem);
  }
  if (const auto codes = takeErrors(h); !codes.empty()) {
    return fail("errors recorded: " + describeErrors(codes));
  }
  return pass(text("%ld frames", frames));
}

}  // namespace

void addBufferAndParameterScenarios(std::vector<Scenario>& scenarios) {
  using std::chrono::seconds;
  scenarios.push_back({"buffers.callback-swap",
                       "callback buffer swapped while previewing: smaller refused with error 5, "
                       "no write past any buffer",
                       callbackSwap, seconds(60)});
  scenarios.push_back({"params.concurrent",
                       "gain, exposure, brightness and gamma changed from four threads while "
                       "streaming",
                       concurrentParameters, seconds(30)});
  scenarios.push_back({"params.sweep",
                       "every settable parameter over its range with read-back; outside refused",
                       parameterSweep, seconds(60)});
}

}  // namespace nivexa::compliance
