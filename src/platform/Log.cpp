#include "platform/Log.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

namespace nivexa::log {
namespace detail {
std::atomic<int8_t> gLevels[static_cast<size_t>(Category::Count)] = {
    kUnconfigured, kUnconfigured, kUnconfigured, kUnconfigured, kUnconfigured,
    kUnconfigured, kUnconfigured, kUnconfigured, kUnconfigured};
}  // namespace detail

namespace {

constexpr const char* kCategoryNames[] = {"platform", "transport", "engine",   "sensors", "camera",
                                          "imaging",  "output",    "settings", "dialogs"};
constexpr const char* kLevelNames[] = {"error", "warning", "info", "debug"};
static_assert(std::size(kCategoryNames) == static_cast<size_t>(Category::Count));

struct Sink {
  std::mutex mutex;
  std::FILE* file = nullptr;  // nullptr: stderr
  bool configured = false;
};

Sink& sink() {
  static Sink* s = new Sink;  // never destroyed: threads may still log during exit
  return *s;
}

int parseLevel(std::string_view text) {
  for (int i = 0; i < 4; ++i) {
    if (text == kLevelNames[i]) {
      return i;
    }
  }
  return -2;
}

// Said whatever the configured levels: a user who set the variable wants to know that part of it
// did nothing.
void warnConfiguration(std::FILE* out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void warnConfiguration(std::FILE* out, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(out, "nivexa log warning: %s\n", text);
  std::fflush(out);
}

bool knownCategory(std::string_view name) {
  if (name == "*") {
    return true;
  }
  for (const char* known : kCategoryNames) {
    if (name == known) {
      return true;
    }
  }
  return false;
}

// Applies "name:level" items separated by commas; "*" names every category, a bare name means
// debug, and later items override earlier ones. Unknown items are skipped, with a warning.
void applyConfiguration(const char* spec, std::FILE* out) {
  std::array<int8_t, static_cast<size_t>(Category::Count)> levels;
  levels.fill(-1);
  std::string_view rest = spec != nullptr ? spec : "";
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    const size_t colon = item.find(':');
    const std::string_view name = item.substr(0, colon);
    const int level = colon == std::string_view::npos ? 3 : parseLevel(item.substr(colon + 1));
    if (item.empty()) {
      continue;
    }
    if (level < 0 || !knownCategory(name)) {
      std::string categories = "*";
      for (const char* known : kCategoryNames) {
        categories = categories + " " + known;
      }
      std::string levelNames;
      for (const char* known : kLevelNames) {
        levelNames = levelNames + (levelNames.empty() ? "" : " ") + known;
      }
      warnConfiguration(out, "NIVEXA_LOG item \"%.*s\" ignored (categories: %s; levels: %s)",
                        static_cast<int>(item.size()), item.data(), categories.c_str(),
                        levelNames.c_str());
      continue;
    }
    for (size_t c = 0; c < levels.size(); ++c) {
      if (name == "*" || name == kCategoryNames[c]) {
        levels[c] = static_cast<int8_t>(level);
      }
    }
  }
  for (size_t c = 0; c < levels.size(); ++c) {
    detail::gLevels[c].store(levels[c], std::memory_order_relaxed);
  }
}

void configureLocked(Sink& s) {
  if (s.file != nullptr) {
    std::fclose(s.file);
    s.file = nullptr;
  }
  if (const char* path = std::getenv("NIVEXA_LOG_FILE"); path != nullptr && *path != '\0') {
    s.file = std::fopen(path, "a");
    if (s.file == nullptr) {
      warnConfiguration(stderr, "NIVEXA_LOG_FILE \"%s\" cannot be opened (%s): logging to stderr",
                        path, std::strerror(errno));
    }
  }
  applyConfiguration(std::getenv("NIVEXA_LOG"), s.file != nullptr ? s.file : stderr);
  s.configured = true;
}

// The system's own thread id, as debuggers and top show it; also the same in the copies of this
// facility that a program linking both the library and its static parts carries.
unsigned long threadId() {
#if defined(_WIN32)
  return GetCurrentThreadId();
#else
  return static_cast<unsigned long>(gettid());
#endif
}

}  // namespace

const char* categoryName(Category category) {
  return kCategoryNames[static_cast<size_t>(category)];
}

void write(Category category, Level level, const char* format, ...) {
  Sink& s = sink();
  std::lock_guard lock(s.mutex);
  if (!s.configured) {
    configureLocked(s);
  }
  if (!enabled(category, level)) {
    return;
  }
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // The monotonic clock's own reading (on Linux: since boot), so that lines of several
  // processes, or of the two copies in a tool, order by their stamps.
  const auto stamp = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
  std::FILE* out = s.file != nullptr ? s.file : stderr;
  std::fprintf(out, "[%lld.%06lld] [t%lu] %s %s: %s\n", static_cast<long long>(stamp / 1000000),
               static_cast<long long>(stamp % 1000000), threadId(), categoryName(category),
               kLevelNames[static_cast<int>(level)], text);
  std::fflush(out);
}

void reconfigure() {
  Sink& s = sink();
  std::lock_guard lock(s.mutex);
  configureLocked(s);
}

}  // namespace nivexa::log
