#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace nivexa::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// A manual- or auto-reset event. A manual-reset event stays set until reset and releases every
// waiter; an auto-reset event releases one waiter and clears itself.
class Event {
 public:
  enum class Reset { Manual, Auto };

  explicit Event(Reset reset, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  // True when the event was (or became) set within the time-out; kInfinite waits without limit.
  bool wait(uint32_t timeoutMs);
  bool isSet() const;

 private:
  const Reset reset_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

// Events with a name are shared within the process: opening an existing name returns the same
// event (its reset mode and state are kept), as named kernel events behave. The name lives as
// long as somebody holds the event.
std::shared_ptr<Event> openNamedEvent(const std::string& name, Event::Reset reset,
                                      bool initiallySet);

}  // namespace nivexa::platform
