#include "platform/Messages.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "NivexaMessages.h"

namespace nivexa::platform {

namespace {

// The descriptor counts queued messages (semaphore mode), so it stays readable exactly while
// something is queued and a poll loop can wait on it.
class MessageSink {
 public:
  MessageSink() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE)) {}
  ~MessageSink() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool post(const Message& message) {
    {
      std::lock_guard lock(mutex_);
      if (closed_ || queue_.size() >= kMessageQueueCapacity) {
        return false;
      }
      queue_.push_back(message);
      const uint64_t one = 1;
      (void)!write(fd_, &one, sizeof one);
    }
    arrived_.notify_one();
    return true;
  }

  bool get(Message& out, int32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    auto ready = [this] { return closed_ || !queue_.empty(); };
    if (timeoutMs < 0) {
      arrived_.wait(lock, ready);
    } else if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
      return false;
    }
    if (queue_.empty()) {
      return false;
    }
    out = queue_.front();
    queue_.pop_front();
    uint64_t count = 0;
    (void)!read(fd_, &count, sizeof count);
    return true;
  }

  void shutDown() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
      queue_.clear();
    }
    arrived_.notify_all();
  }

 private:
  const int fd_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Message> queue_;
  bool closed_ = false;
};

constexpr uintptr_t kFirstSinkHandle = 0x10000;
constexpr uintptr_t kSinkHandleStep = 0x10;

struct SinkRegistry {
  std::mutex mutex;
  std::unordered_map<HWND, std::shared_ptr<MessageSink>> sinks;
  uintptr_t nextHandle = kFirstSinkHandle;
};

SinkRegistry& registry() {
  // Never destroyed: acquisition threads still post while the process exits.
  static auto* instance = new SinkRegistry;
  return *instance;
}

std::shared_ptr<MessageSink> findSink(HWND window) {
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  auto found = reg.sinks.find(window);
  return found == reg.sinks.end() ? nullptr : found->second;
}

// The queue that a null window stands for: one per thread, made on first use.
std::shared_ptr<MessageSink> threadQueue() {
  thread_local std::shared_ptr<MessageSink> queue;
  if (!queue) {
    auto created = std::make_shared<MessageSink>();
    if (created->valid()) {
      queue = std::move(created);
    }
  }
  return queue;
}

std::shared_ptr<MessageSink> resolve(HWND window) {
  return window == nullptr ? threadQueue() : findSink(window);
}

}  // namespace

bool postMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto sink = resolve(window);
  return sink && sink->post(Message{window, message, wParam, lParam});
}

HWND createMessageSink() {
  auto sink = std::make_shared<MessageSink>();
  if (!sink->valid()) {
    return nullptr;
  }
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  // Handles are never handed out twice in a process, as with windows: somebody still holding a
  // destroyed sink's handle must not reach a newer sink through it. The numbers are spaced so
  // that they never look like a small integer, and never come near null.
  const auto handle = reinterpret_cast<HWND>(reg.nextHandle);
  reg.nextHandle += kSinkHandleStep;
  reg.sinks.emplace(handle, std::move(sink));
  return handle;
}

void destroyMessageSink(HWND sink) {
  std::shared_ptr<MessageSink> removed;
  {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto found = reg.sinks.find(sink);
    if (found == reg.sinks.end()) {
      return;
    }
    removed = std::move(found->second);
    reg.sinks.erase(found);
  }
  // Wakes any reader still waiting on it; the object goes when the last reader lets go.
  removed->shutDown();
}

bool getMessage(HWND sink, Message& out, int32_t timeoutMs) {
  auto resolved = resolve(sink);
  return resolved && resolved->get(out, timeoutMs);
}

int messageSinkFd(HWND sink) {
  auto resolved = resolve(sink);
  return resolved ? resolved->fd() : -1;
}

bool isWindow(HWND window) {
  return window != nullptr && findSink(window) != nullptr;
}

namespace {

using ClassGuid = std::array<uint8_t, 16>;

struct DeviceNotices {
  std::mutex mutex;
  std::vector<std::pair<HWND, ClassGuid>> registrations;
  // Handed out by address in posted messages that may be read any time later, so never freed.
  std::map<std::pair<ClassGuid, std::string>, std::unique_ptr<NivexaDeviceInterfaceRecord>> records;
};

DeviceNotices& deviceNotices() {
  static auto* instance = new DeviceNotices;  // posted from threads that outlive main
  return *instance;
}

const NivexaDeviceInterfaceRecord* recordFor(DeviceNotices& notices, const ClassGuid& classGuid,
                                             const std::string& path) {
  auto& record = notices.records[{classGuid, path}];
  if (!record) {
    record = std::make_unique<NivexaDeviceInterfaceRecord>();
    record->size = sizeof(NivexaDeviceInterfaceRecord);
    record->deviceType = NIVEXA_DBT_DEVTYP_DEVICEINTERFACE;
    record->reserved = 0;
    std::copy(classGuid.begin(), classGuid.end(), record->classGuid);
    const size_t length = std::min(path.size(), sizeof record->name - 1);
    std::memcpy(record->name, path.data(), length);
    record->name[length] = '\0';
  }
  return record.get();
}

}  // namespace

bool registerDeviceInterfaceNotification(HWND window, const std::array<uint8_t, 16>& classGuid) {
  if (!isWindow(window)) {
    return false;
  }
  auto& notices = deviceNotices();
  std::lock_guard lock(notices.mutex);
  const std::pair<HWND, ClassGuid> registration{window, classGuid};
  if (std::find(notices.registrations.begin(), notices.registrations.end(), registration) ==
      notices.registrations.end()) {
    notices.registrations.push_back(registration);
  }
  return true;
}

void postDeviceChange(const std::array<uint8_t, 16>& classGuid, DeviceChange change,
                      const std::string& interfacePath) {
  const uintptr_t event =
      change == DeviceChange::Arrival ? NIVEXA_DBT_DEVICEARRIVAL : NIVEXA_DBT_DEVICEREMOVECOMPLETE;
  auto& notices = deviceNotices();
  std::lock_guard lock(notices.mutex);
  const auto* record = recordFor(notices, classGuid, interfacePath);
  // A destroyed sink's registration goes with the first notice it can no longer take; sink
  // handles are never reused, so it cannot catch another sink's notices meanwhile.
  std::erase_if(notices.registrations, [&](const std::pair<HWND, ClassGuid>& r) {
    if (!isWindow(r.first)) {
      return true;
    }
    if (r.second == classGuid) {
      postMessage(r.first, NIVEXA_WM_DEVICECHANGE, event, reinterpret_cast<intptr_t>(record));
    }
    return false;
  });
}

}  // namespace nivexa::platform
