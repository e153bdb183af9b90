#include "platform/Event.h"

#include <chrono>
#include <map>

namespace nivexa::platform {

Event::Event(Reset reset, bool initiallySet) : reset_(reset), set_(initiallySet) {}

void Event::set() {
  // Notify under the lock: a waiter that wakes may destroy the event at once (a completion event
  // on the caller's stack), so nothing may touch it after the lock is released.
  std::lock_guard lock(mutex_);
  set_ = true;
  if (reset_ == Reset::Manual) {
    changed_.notify_all();
  } else {
    changed_.notify_one();
  }
}

void Event::reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::wait(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  auto ready = [this] { return set_; };
  if (timeoutMs == kInfinite) {
    changed_.wait(lock, ready);
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return false;
  }
  if (reset_ == Reset::Auto) {
    set_ = false;
  }
  return true;
}

bool Event::isSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

std::shared_ptr<Event> openNamedEvent(const std::string& name, Event::Reset reset,
                                      bool initiallySet) {
  // Never destroyed, like every static the library's threads may reach: an application may
  // exit without releasing its cameras, and their threads run on through static destruction.
  static auto* registryMutex = new std::mutex;
  static auto* namedEvents = new std::map<std::string, std::weak_ptr<Event>>;
  auto& registry = *namedEvents;
  std::lock_guard lock(*registryMutex);
  if (auto existing = registry[name].lock()) {
    return existing;
  }
  auto created = std::make_shared<Event>(reset, initiallySet);
  registry[name] = created;
  // Drop names whose events are gone so the registry does not grow without bound.
  std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
  return created;
}

}  // namespace nivexa::platform
