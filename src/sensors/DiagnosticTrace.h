#pragma once

#include <functional>
#include <string>

namespace nivexa::sensors {

// The drivers' and the engine's diagnostic trace: printf-style lines that go nowhere unless a
// sink is installed (a test, or a logging facility that wants them). Installing an empty
// function removes the sink.
using TraceSink = std::function<void(const std::string& line)>;
void setTraceSink(TraceSink sink);

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diagnosticTrace(const char* format, ...);

}  // namespace nivexa::sensors
