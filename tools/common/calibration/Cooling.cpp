#include <algorithm>
#include <deque>
#include <thread>

#include "NivexaSdk.h"
#include "calibration/Calibration.h"

namespace nivexa::calibration {
namespace {

struct Reading {
  double atS;
  double temperatureC;
};

}  // namespace

const char* describe(CoolingOutcome outcome) {
  switch (outcome) {
    case CoolingOutcome::Settled:
      return "settled";
    case CoolingOutcome::TimedOut:
      return "did not settle before the timeout";
    case CoolingOutcome::Cancelled:
      return "cancelled";
    case CoolingOutcome::NoCooler:
      return "the camera has no cooler";
    case CoolingOutcome::ReadFailed:
      return "the temperature could not be read";
  }
  return "unknown";
}

CoolingResult coolAndSettle(int32_t handle, const CoolingOptions& options,
                            const CoolingProgress& progress) {
  using Clock = std::chrono::steady_clock;
  CoolingResult result;
  if (!Nivexa_SetPeltier(handle, 1)) {
    result.error = Nivexa_GetLastError(handle);
    result.outcome = result.error == NIVEXA_ERR_UNSUPPORTED ? CoolingOutcome::NoCooler
                                                            : CoolingOutcome::ReadFailed;
    return result;
  }
  const double settleS = std::chrono::duration<double>(options.settle).count();
  const double timeoutS = std::chrono::duration<double>(options.timeout).count();
  const auto start = Clock::now();
  // The readings of the last settle time: the window the temperature has to hold still over.
  std::deque<Reading> window;
  for (auto next = start;; next += options.interval) {
    std::this_thread::sleep_until(next);
    // Readings are placed at their scheduled times, so a settle time of whole intervals is met
    // by that many intervals whatever the sleep's jitter.
    const double now = std::chrono::duration<double>(next - start).count();
    BOOL ok = 0;
    const double temperature = Nivexa_GetTemperatureEx(handle, &ok);
    result.elapsedS = now;
    if (!ok) {
      result.error = Nivexa_GetLastError(handle);
      result.outcome = CoolingOutcome::ReadFailed;
      return result;
    }
    result.temperatureC = temperature;
    const bool aboveTarget = options.targetC && temperature > *options.targetC + options.toleranceC;
    // The window keeps the readings since the oldest one the newest still agrees with; a
    // reading above the target empties it.
    window.push_back({now, temperature});
    const auto spread = [&window] {
      const auto [low, high] = std::minmax_element(
          window.begin(), window.end(),
          [](const Reading& a, const Reading& b) { return a.temperatureC < b.temperatureC; });
      return high->temperatureC - low->temperatureC;
    };
    while (window.size() > 1 && (aboveTarget || spread() > options.toleranceC)) {
      window.pop_front();
    }
    CoolingSample sample;
    sample.elapsedS = now;
    sample.temperatureC = temperature;
    sample.spreadC = spread();
    sample.heldS = aboveTarget ? 0 : now - window.front().atS;
    if (progress && !progress(sample)) {
      result.outcome = CoolingOutcome::Cancelled;
      return result;
    }
    if (!aboveTarget && sample.heldS >= settleS) {
      result.outcome = CoolingOutcome::Settled;
      return result;
    }
    if (now >= timeoutS) {
      result.outcome = CoolingOutcome::TimedOut;
      return result;
    }
  }
}

}  // namespace nivexa::calibration
