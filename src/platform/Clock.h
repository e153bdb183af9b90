#pragma once

#include <cstdint>

namespace nivexa::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the OS tick counters.
uint32_t tickCount();
// The multimedia clock: milliseconds, same wrap; finer than tickCount where the OS differs.
uint32_t timeGetTime();
void sleepMs(uint32_t milliseconds);

// Asks for 1 ms timer resolution for its lifetime, so short sleeps and waits in the capture
// path are not rounded up to the default scheduler tick.
class TimerPeriodGuard {
 public:
  TimerPeriodGuard();
  ~TimerPeriodGuard();
  TimerPeriodGuard(const TimerPeriodGuard&) = delete;
  TimerPeriodGuard& operator=(const TimerPeriodGuard&) = delete;

 private:
  // Only a request the OS granted is handed back.
  [[maybe_unused]] bool active_ = false;
};

}  // namespace nivexa::platform
