#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {

// What every backend keeps the same way, whatever carries its requests: the table of its open
// handles, and its requests in flight with their completion records. A backend supplies only
// what it keeps per handle (`Entry`) and per request (`Request`).

// The handles one backend has given out: numbers unique within the backend, never reused while
// the backend lives, each with what the backend needs to serve it.
template <typename Entry>
class HandleTable {
 public:
  static constexpr DeviceHandle kFirstHandle = 1;

  DeviceHandle add(Entry entry) {
    std::lock_guard lock(mutex_);
    const DeviceHandle handle = next_++;
    entries_.emplace(handle, std::move(entry));
    return handle;
  }

  // A copy, so that the caller uses it without the table's lock held.
  std::optional<Entry> find(DeviceHandle handle) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end()) {
      return std::nullopt;
    }
    return it->second;
  }

  std::optional<Entry> remove(DeviceHandle handle) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end()) {
      return std::nullopt;
    }
    Entry entry = std::move(it->second);
    entries_.erase(it);
    return entry;
  }

  template <typename Predicate>
  bool any(Predicate matches) const {
    std::lock_guard lock(mutex_);
    for (const auto& [handle, entry] : entries_) {
      if (matches(entry)) {
        return true;
      }
    }
    return false;
  }

  // Empties the table, for a backend that closes what its callers left open.
  std::vector<Entry> removeAll() {
    std::lock_guard lock(mutex_);
    std::vector<Entry> all;
    for (auto& [handle, entry] : entries_) {
      all.push_back(std::move(entry));
    }
    entries_.clear();
    return all;
  }

 private:
  mutable std::mutex mutex_;
  std::map<DeviceHandle, Entry> entries_;
  DeviceHandle next_ = kFirstHandle;
};

// Whether ending a request sets the caller's event. A request that completes before ioctl()
// returns may leave it alone: the caller learns the outcome from the return value, and a
// stray signal on an auto-reset event would end its next wait early.
enum class Notify { Event, Silently };

// Fills the caller's completion record: the counts first, the completed flag after them, so a
// reader that sees the flag sees the counts.
inline void recordOutcome(Overlapped& overlapped, uint32_t bytes, uint32_t error, Notify notify) {
  overlapped.bytesTransferred.store(bytes);
  overlapped.error.store(error);
  overlapped.completed.store(true);
  if (notify == Notify::Event) {
    overlapped.event.set();
  }
}

// The requests a backend has accepted and not yet ended, each under the completion record its
// caller gave (one request per record). Ending a request records its outcome, sets the event
// and wakes overlappedResult() waiters, all under the lock, before any waiter can return: a
// caller that wakes may drop its Overlapped at once.
template <typename Request>
class PendingRequests {
 public:
  // Decides under the lock whether a request has ended: its outcome, or nothing while it runs.
  using Attempt = std::function<std::optional<IoResult>(Request&)>;
  // The outcome of a request being ended from outside (completed, cancelled, timed out).
  using Ending = std::function<IoResult(Request&)>;

  // Tries `request` once and keeps it when it has not ended. True when it ended at once (its
  // outcome is then in the record, and the event is set).
  bool start(Overlapped& overlapped, Request request, const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    auto outcome = attempt(request);
    if (!outcome) {
      requests_.emplace_back(&overlapped, std::move(request));
      return false;
    }
    endLocked(overlapped, *outcome, Notify::Event);
    return true;
  }

  // Keeps `request` without trying it; false when the record already has a request in flight.
  bool add(Overlapped& overlapped, Request request) {
    std::lock_guard lock(mutex_);
    if (findLocked(&overlapped) != requests_.end()) {
      return false;
    }
    requests_.emplace_back(&overlapped, std::move(request));
    return true;
  }

  // Ends the request of this record with the outcome `ending` gives, and hands the request back
  // so that the backend frees what it holds where that is safe. Nothing when none is in flight.
  std::optional<Request> end(Overlapped& overlapped, const Ending& ending,
                             Notify notify = Notify::Event) {
    std::lock_guard lock(mutex_);
    auto it = findLocked(&overlapped);
    if (it == requests_.end()) {
      return std::nullopt;
    }
    endLocked(overlapped, ending(it->second), notify);
    std::optional<Request> ended = std::move(it->second);
    requests_.erase(it);
    return ended;
  }

  // Ends every request that `matches`, each with the outcome `ending` gives.
  void endIf(const std::function<bool(const Request&)>& matches, const Ending& ending) {
    std::lock_guard lock(mutex_);
    for (auto it = requests_.begin(); it != requests_.end();) {
      if (matches(it->second)) {
        endLocked(*it->first, ending(it->second), Notify::Event);
        it = requests_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // Tries every request again, in the order they came; those that ended leave.
  void retry(const Attempt& attempt) {
    std::lock_guard lock(mutex_);
    for (auto it = requests_.begin(); it != requests_.end();) {
      if (auto outcome = attempt(it->second)) {
        endLocked(*it->first, *outcome, Notify::Event);
        it = requests_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // For a backend that must not go while the system may still write into a request's buffers.
  void waitUntilNoneInFlight() {
    std::unique_lock lock(mutex_);
    completed_.wait(lock, [this] { return requests_.empty(); });
  }

  // For an abort or a close that returns only once the requests it cancelled have ended.
  void waitUntilNone(const std::function<bool(const Request&)>& matches) {
    std::unique_lock lock(mutex_);
    completed_.wait(lock, [&] {
      for (const auto& entry : requests_) {
        if (matches(entry.second)) {
          return false;
        }
      }
      return true;
    });
  }

  // Fx3Driver::overlappedResult() for the records of this backend's requests.
  IoResult result(Overlapped& overlapped, bool wait) {
    std::unique_lock lock(mutex_);
    if (wait) {
      completed_.wait(lock, [&] { return overlapped.completed.load(); });
    } else if (!overlapped.completed.load()) {
      return {false, 0, kErrorIoIncomplete};
    }
    const uint32_t error = overlapped.error.load();
    return {error == kErrorSuccess, overlapped.bytesTransferred.load(), error};
  }

 private:
  using Entries = std::list<std::pair<Overlapped*, Request>>;

  typename Entries::iterator findLocked(const Overlapped* overlapped) {
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
      if (it->first == overlapped) {
        return it;
      }
    }
    return requests_.end();
  }

  // Waiters are woken under the lock too: once one sees its request ended it may destroy the
  // backend, and with it this object.
  void endLocked(Overlapped& overlapped, const IoResult& outcome, Notify notify) {
    recordOutcome(overlapped, outcome.bytesReturned, outcome.ok ? kErrorSuccess : outcome.error,
                  notify);
    completed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable completed_;
  Entries requests_;
};

}  // namespace nivexa::transport
