#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace nivexa::platform {

namespace {

uint32_t monotonicMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

uint32_t tickCount() {
  return monotonicMs();
}

uint32_t timeGetTime() {
  return monotonicMs();
}

void sleepMs(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Linux timers already have sub-millisecond resolution; nothing to request.
TimerPeriodGuard::TimerPeriodGuard() = default;
TimerPeriodGuard::~TimerPeriodGuard() = default;

}  // namespace nivexa::platform
