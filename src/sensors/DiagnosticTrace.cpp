#include "sensors/DiagnosticTrace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/Log.h"

namespace nivexa::sensors {

namespace {

std::mutex& sinkMutex() {
  static std::mutex mutex;
  return mutex;
}

TraceSink& sink() {
  static TraceSink installed;
  return installed;
}

}  // namespace

void setTraceSink(TraceSink newSink) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(newSink);
}

void diagnosticTrace(const char* format, ...) {
  std::lock_guard lock(sinkMutex());
  const bool logged = log::enabled(log::Category::Sensors, log::Level::Debug);
  if (!sink() && !logged) {
    return;  // formatting costs nothing while nobody listens
  }
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (logged) {
    log::write(log::Category::Sensors, log::Level::Debug, "%s", line);
  }
  if (sink()) {
    sink()(line);
  }
}

}  // namespace nivexa::sensors
