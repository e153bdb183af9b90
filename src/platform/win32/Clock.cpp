#include "platform/Clock.h"

#include <windows.h>

// Needs the types of <windows.h> before it.
#include <mmsystem.h>

namespace nivexa::platform {

uint32_t tickCount() {
  return GetTickCount();
}

uint32_t timeGetTime() {
  return ::timeGetTime();
}

void sleepMs(uint32_t milliseconds) {
  Sleep(milliseconds);
}

// The default timer period is 15.6 ms: without this a 1 ms sleep in the capture path sleeps 16.
TimerPeriodGuard::TimerPeriodGuard() : active_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

TimerPeriodGuard::~TimerPeriodGuard() {
  if (active_) {
    timeEndPeriod(1);
  }
}

}  // namespace nivexa::platform
