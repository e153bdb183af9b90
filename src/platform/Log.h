#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace nivexa::log {

enum class Level : int8_t { Error = 0, Warning = 1, Info = 2, Debug = 3 };

enum class Category : uint8_t {
  Platform,
  Transport,
  Engine,
  Sensors,
  Camera,
  Imaging,
  Output,
  Settings,
  Dialogs,
  Count
};

const char* categoryName(Category category);

namespace detail {
// Per category the most detailed level that is written; -1 writes nothing. Starts above every
// level so that the first call of each site reaches write(), which reads the configuration.
inline constexpr int8_t kUnconfigured = 127;
extern std::atomic<int8_t> gLevels[static_cast<size_t>(Category::Count)];
}  // namespace detail

#if defined(NIVEXA_LOG_COMPILED_OUT)
// The build without log call sites (the logging benchmark's baseline): every site folds away.
constexpr bool enabled(Category, Level) {
  return false;
}
#else
// One relaxed load and a compare: what a disabled call site costs.
inline bool enabled(Category category, Level level) {
  return detail::gLevels[static_cast<size_t>(category)].load(std::memory_order_relaxed) >=
         static_cast<int8_t>(level);
}
#endif

// Formats and writes one line (timestamp, thread, category, level, text) if the category is
// enabled at that level. Configuration comes from NIVEXA_LOG, e.g.
// "transport:debug,engine:info,*:warning"; the lines go to stderr, or to the file named by
// NIVEXA_LOG_FILE (appended).
void write(Category category, Level level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Reads the environment again (tests, and programs that change it before first use).
void reconfigure();

}  // namespace nivexa::log

// Formats nothing unless the line will be written. Built with NIVEXA_LOG_COMPILED_OUT the
// condition is a constant false, so the site leaves no code, while its format is still checked.
#define NIVEXA_LOG(category, level, ...)                                                          \
  do {                                                                                            \
    if (::nivexa::log::enabled(::nivexa::log::Category::category, ::nivexa::log::Level::level)) { \
      ::nivexa::log::write(::nivexa::log::Category::category, ::nivexa::log::Level::level,        \
                           __VA_ARGS__);                                                          \
    }                                                                                             \
  } while (0)
