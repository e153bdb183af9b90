#pragma once

#include <functional>
#include <string>

namespace nivexa::sensors {

// The drivers' and the engine's diagnostic trace: printf-style lines that go to the log
// (category sensors, level debug) when that is enabled, and to a sink when one is installed (a
// test, or a tool that shows them). Installing an empty function removes the sink.
using TraceSink = std::function<void(const std::string& line)>;
void setTraceSink(TraceSink sink);

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diagnosticTrace(const char* format, ...);

}  // namespace nivexa::sensors
