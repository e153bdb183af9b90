// What the library holds from the OS after many sessions and streams, and a long stream with
// the sensor temperature read alongside.
#include <algorithm>
#include <string>

#include "Support.h"
#include "platform/ResourceUse.h"

namespace nivexa::compliance {

namespace {

constexpr int kWarmUpCycles = 5;
constexpr int kSessionCycles = 100;
constexpr int kStreamCycles = 100;
constexpr size_t kStreamBuffers = 4;
// The C library's allocator may map one more arena or keep a freed block resident; a leak of
// anything a session or a stream holds (a frame buffer alone is megabytes, a thread's stack
// a mapping of its own) shows far beyond these across a hundred cycles.
constexpr size_t kMappingSlack = 4;
constexpr uint64_t kMemorySlack = uint64_t{8} << 20;
constexpr int kEnduranceSeconds = 10;
// Even a quick pass reads the temperature more than once.
constexpr int kShortestEndurance = 2;
constexpr double kLowestTemperature = -80.0;
constexpr double kHighestTemperature = 120.0;
constexpr auto kSecond = std::chrono::seconds(1);

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer keeps freed memory in quarantine, in mappings of its own, so memory and mappings
// grow by design; it finds leaks itself at exit.
constexpr bool kMemoryComparable = false;
#else
constexpr bool kMemoryComparable = true;
#endif

std::string compare(const nivexa::platform::ResourceUse& before,
                    const nivexa::platform::ResourceUse& after) {
  std::string growth;
  const auto note = [&growth](const std::string& what) {
    growth += (growth.empty() ? "" : "; ") + what;
  };
  if (after.openHandles > before.openHandles) {
    note(text("open files/handles %llu -> %llu",
              static_cast<unsigned long long>(before.openHandles),
              static_cast<unsigned long long>(after.openHandles)));
  }
  if (after.threads > before.threads) {
    note(text("threads %llu -> %llu", static_cast<unsigned long long>(before.threads),
              static_cast<unsigned long long>(after.threads)));
  }
  if (kMemoryComparable && after.mappings > before.mappings + kMappingSlack) {
    note(text("mappings %llu -> %llu", static_cast<unsigned long long>(before.mappings),
              static_cast<unsigned long long>(after.mappings)));
  }
  if (kMemoryComparable && after.residentBytes > before.residentBytes + kMemorySlack) {
    note(text("resident memory %llu -> %llu KiB",
              static_cast<unsigned long long>(before.residentBytes >> 10),
              static_cast<unsigned long long>(after.residentBytes >> 10)));
  }
  if (kMemoryComparable && after.committedBytes > before.committedBytes + kMemorySlack) {
    note(text("address space %llu -> %llu KiB",
              static_cast<unsigned long long>(before.committedBytes >> 10),
              static_cast<unsigned long long>(after.committedBytes >> 10)));
  }
  return growth;
}

std::string summary(const nivexa::platform::ResourceUse& use) {
  return text("%llu files, %llu threads, %llu mappings, %llu KiB resident",
              static_cast<unsigned long long>(use.openHandles),
              static_cast<unsigned long long>(use.threads),
              static_cast<unsigned long long>(use.mappings),
              static_cast<unsigned long long>(use.residentBytes >> 10));
}

// One session: a handle, the camera opened, a frame taken, the handle released.
std::string session(int device) {
  Camera camera(device);
  if (camera.handle() == 0) {
    return camera.problem();
  }
  if (!Nivexa_SnapShot(camera.handle(), nullptr, 0, 1)) {
    return "no snapshot (errors " + describeErrors(takeErrors(camera.handle())) + ")";
  }
  return camera.release() ? std::string() : "Nivexa_Release returned 0";
}

Result sessions(const Context& context) {
  for (int i = 0; i < kWarmUpCycles; ++i) {
    if (const auto problem = session(context.device); !problem.empty()) {
      return fail(text("warm-up %d: %s", i, problem.c_str()));
    }
  }
  const auto before = nivexa::platform::currentResourceUse();
  const int cycles = context.count(kSessionCycles);
  for (int i = 0; i < cycles; ++i) {
    if (const auto problem = session(context.device); !problem.empty()) {
      return fail(text("cycle %d: %s", i, problem.c_str()));
    }
  }
  const auto after = nivexa::platform::currentResourceUse();
  if (const auto growth = compare(before, after); !growth.empty()) {
    return fail(text("after %d sessions: %s", cycles, growth.c_str()));
  }
  return pass(text("%d sessions; %s", cycles, summary(after).c_str()));
}

// One stream on an open handle: buffers lent, one frame back, stopped.
std::string streamCycle(LONG h) {
  BufferStream stream(h, kStreamBuffers, NIVEXA_STREAM_PROCESSED);
  if (!stream.started()) {
    return stream.problem();
  }
  NivexaBuffer* buffer = stream.wait(kFrameTimeoutMs);
  if (buffer == nullptr || buffer->status != NIVEXA_BUFFER_COMPLETE) {
    return "no complete frame";
  }
  return {};
}

Result streamCycles(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  for (int i = 0; i < kWarmUpCycles; ++i) {
    if (const auto problem = streamCycle(h); !problem.empty()) {
      return fail(text("warm-up %d: %s", i, problem.c_str()));
    }
  }
  const auto before = nivexa::platform::currentResourceUse();
  const int cycles = context.count(kStreamCycles);
  for (int i = 0; i < cycles; ++i) {
    if (const auto problem = streamCycle(h); !problem.empty()) {
      return fail(text("cycle %d: %s", i, problem.c_str()));
    }
  }
  const auto after = nivexa::platform::currentResourceUse();
  if (const auto growth = compare(before, after); !growth.empty()) {
    return fail(text("after %d streams: %s", cycles, growth.c_str()));
  }
  return pass(text("%d streams; %s", cycles, summary(after).c_str()));
}

// A stream left running, the temperature read once a second beside it: frames every second,
// hardly any lost, and a temperature that is a temperature.
Result longStream(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  const ModerateFrameRate moderate(h, context.streamExposureS);
  BufferStream stream(h, kStreamBuffers, NIVEXA_STREAM_PROCESSED);
  if (!stream.started()) {
    return fail(stream.problem());
  }
  const int seconds = std::max(kShortestEndurance, context.count(kEnduranceSeconds));
  FrameNumbers numbers;
  bool thermometer = true;
  double lowest = kHighestTemperature;
  double highest = kLowestTemperature;
  long total = 0;
  for (int second = 0; second < seconds; ++second) {
    const auto end = Clock::now() + kSecond;
    long frames = 0;
    while (Clock::now() < end) {
      NivexaBuffer* buffer = stream.wait(kFrameTimeoutMs);
      if (buffer == nullptr || buffer->status != NIVEXA_BUFFER_COMPLETE) {
        return fail(text("second %d: %s", second,
                         buffer == nullptr ? "no frame" : "a buffer came back incomplete"));
      }
      if (const auto problem = numbers.add(buffer->frameNumber); !problem.empty()) {
        return fail(text("second %d: %s", second, problem.c_str()));
      }
      ++frames;
      stream.requeue(buffer);
    }
    total += frames;
    if (!thermometer) {
      continue;
    }
    BOOL ok = 0;
    const double celsius = Nivexa_GetTemperatureEx(h, &ok);
    const auto codes = takeErrors(h);
    if (!ok) {
      if (!codes.empty() && codes.front() == NIVEXA_ERR_UNSUPPORTED) {
        thermometer = false;
        continue;
      }
      return fail(text("second %d: the temperature read failed (errors %s)", second,
                       describeErrors(codes).c_str()));
    }
    if (celsius < kLowestTemperature || celsius > kHighestTemperature) {
      return fail(text("second %d: temperature %.1f C", second, celsius));
    }
    lowest = std::min(lowest, celsius);
    highest = std::max(highest, celsius);
  }
  const auto statistics = stream.statistics();
  if (const auto loss = excessiveLoss(statistics.framesLost, static_cast<uint64_t>(total), numbers);
      !loss.empty()) {
    return fail(loss);
  }
  if (!thermometer) {
    return pass(text("%ld frames in %d s; no thermometer on this camera", total, seconds));
  }
  return pass(text("%ld frames in %d s, %.1f .. %.1f C", total, seconds, lowest, highest));
}

}  // namespace

void addResourceScenarios(std::vector<Scenario>& scenarios) {
  using std::chrono::seconds;
  scenarios.push_back({"resources.sessions",
                       "100 x initialise, open, snapshot, release: no growth of files, threads, "
                       "mappings or memory",
                       sessions, seconds(120), true});
  scenarios.push_back({"resources.stream-cycles",
                       "100 buffer-stream cycles: no growth of files, threads, mappings or memory",
                       streamCycles, seconds(120), true});
  scenarios.push_back({"endurance.temperature",
                       "a 10 s stream (x --repeat) with the temperature read every second",
                       longStream, seconds(60), true});
}

}  // namespace nivexa::compliance
