#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/DialogTexts.h"

namespace nivexa::dialogs {

// The units of the real-time exposure row, largest last.
enum class TimeUnit : int32_t { Nanoseconds, Microseconds, Milliseconds, Seconds };

// The largest unit not above `seconds`: above 1 s seconds, from 1 ms milliseconds, from 1 us
// microseconds, below that nanoseconds.
TimeUnit unitFor(double seconds);
double unitScale(TimeUnit unit);      // units per second
const char* unitName(TimeUnit unit);  // UTF-8, "\u00b5s" for microseconds
// The units from the one of `shortest` to the one of `longest`: what the unit list offers.
std::vector<TimeUnit> unitsSpanning(double shortest, double longest);
// A time in `unit` as the edit box shows it: three decimals when its fraction is at least 0.001,
// six when at least 0.000001, else a whole number.
std::string formatTime(double seconds, TimeUnit unit);
// "range: <min><unit> - <max><unit>", each end in its own unit.
std::string formatRange(double shortest, double longest, Language language);
// The "=%.2fms" text of an exposure in ticks of 100 us.
std::string formatMilliseconds(int32_t ticks, Language language);
// A typed time in `unit` to seconds; false for text that is not a number.
bool parseTime(const std::string& text, TimeUnit unit, double& seconds);

}  // namespace nivexa::dialogs
