#include "sensors/DiagnosticTrace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/Log.h"

namespace nivexa::sensors {

namespace {

std::mutex& sinkMutex() {
  static auto* mutex = new std::mutex;  // never destroyed: threads may trace during exit
  return *mutex;
}

TraceSink& sink() {
  static auto* installed = new TraceSink;
  return *installed;
}

// Read without the mutex, so that a trace nobody listens to costs two loads and no lock.
std::atomic<bool> gSinkInstalled{false};

}  // namespace

void setTraceSink(TraceSink newSink) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(newSink);
  gSinkInstalled.store(static_cast<bool>(sink()), std::memory_order_relaxed);
}

void diagnosticTrace(const char* format, ...) {
  const bool logged = log::enabled(log::Category::Sensors, log::Level::Debug);
  if (!logged && !gSinkInstalled.load(std::memory_order_relaxed)) {
    return;  // formatting costs nothing while nobody listens
  }
  std::lock_guard lock(sinkMutex());
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
