#include "dialogs/ExposureUnits.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nivexa::dialogs {

TimeUnit unitFor(double seconds) {
  if (seconds > 1.0) {
    return TimeUnit::Seconds;
  }
  if (seconds >= 0.001) {
    return TimeUnit::Milliseconds;
  }
  if (seconds >= 0.000001) {
    return TimeUnit::Microseconds;
  }
  return TimeUnit::Nanoseconds;
}

double unitScale(TimeUnit unit) {
  switch (unit) {
    case TimeUnit::Seconds:
      return 1.0;
    case TimeUnit::Milliseconds:
      return 1e3;
    case TimeUnit::Microseconds:
      return 1e6;
    case TimeUnit::Nanoseconds:
      break;
  }
  return 1e9;
}

const char* unitName(TimeUnit unit) {
  switch (unit) {
    case TimeUnit::Seconds:
      return "sec";
    case TimeUnit::Milliseconds:
      return "ms";
    case TimeUnit::Microseconds:
      return "\u00b5s";
    case TimeUnit::Nanoseconds:
      break;
  }
  return "ns";
}

std::vector<TimeUnit> unitsSpanning(double shortest, double longest) {
  std::vector<TimeUnit> units;
  const auto first = static_cast<int32_t>(unitFor(shortest));
  const auto last = static_cast<int32_t>(unitFor(longest));
  for (int32_t unit = first; unit <= last; ++unit) {
    units.push_back(static_cast<TimeUnit>(unit));
  }
  return units;
}

std::string formatTime(double seconds, TimeUnit unit) {
  // Rounded to the nanosecond first, so that 0.5 ms shown in microseconds is 500, not 499.999...
  const double value = std::round(seconds * 1e9) / 1e9 * unitScale(unit);
  const double fraction = value - std::floor(value);
  std::array<char, 64> buffer{};
  if (fraction >= 0.001 && fraction < 0.9995) {
    std::snprintf(buffer.data(), buffer.size(), "%.3f", value);
  } else if (fraction >= 0.000001 && fraction < 0.9999995) {
    std::snprintf(buffer.data(), buffer.size(), "%.6f", value);
  } else {
    std::snprintf(buffer.data(), buffer.size(), "%d", static_cast<int>(std::lround(value)));
  }
  return buffer.data();
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string formatRange(double shortest, double longest, Language language) {
  const TimeUnit low = unitFor(shortest);
  const TimeUnit high = unitFor(longest);
  std::array<char, 128> buffer{};
  std::snprintf(buffer.data(), buffer.size(), text(Text::RangeFormat, language),
                static_cast<int>(std::lround(shortest * unitScale(low))), unitName(low),
                static_cast<int>(std::lround(longest * unitScale(high))), unitName(high));
  return buffer.data();
}

std::string formatMilliseconds(int32_t ticks, Language language) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), text(Text::ExposureMsecFormat, language),
                ticks / 10.0);
  return buffer.data();
}
#pragma GCC diagnostic pop

bool parseTime(const std::string& text, TimeUnit unit, double& seconds) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) {
    return false;
  }
  seconds = value / unitScale(unit);
  return true;
}

}  // namespace nivexa::dialogs
