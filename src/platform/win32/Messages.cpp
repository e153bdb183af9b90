#include "platform/Messages.h"

#include <windows.h>

// Needs the types of <windows.h> before it.
#include <dbt.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/win32/Guid.h"

namespace nivexa::platform {

namespace {

constexpr const char* kSinkClass = "NivexaMessageSink";

// A thread gets a message queue with its first call of this kind; a post to the thread's own
// queue before that would fail.
void ensureThreadQueue() {
  MSG ignored;
  PeekMessageA(&ignored, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

bool registerSinkClass() {
  static const bool registered = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kSinkClass;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

bool postMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window == nullptr) {
    ensureThreadQueue();
  }
  return PostMessageA(window, message, wParam, lParam) != 0;
}

// A message-only window: it has a queue (its creating thread's) and no presence on screen.
HWND createMessageSink() {
  if (!registerSinkClass()) {
    return nullptr;
  }
  return CreateWindowExA(0, kSinkClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void destroyMessageSink(HWND sink) {
  if (sink != nullptr && IsWindow(sink)) {
    DestroyWindow(sink);
  }
}

bool getMessage(HWND sink, Message& out, int32_t timeoutMs) {
  if (sink != nullptr && !IsWindow(sink)) {
    return false;
  }
  ensureThreadQueue();
  // (HWND)-1 selects the thread's own messages, those posted to no window.
  HWND filter = sink != nullptr ? sink : reinterpret_cast<HWND>(-1);
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    if (PeekMessageA(&msg, filter, 0, 0, PM_REMOVE)) {
      out = Message{msg.hwnd, msg.message, msg.wParam, msg.lParam};
      return true;
    }
    DWORD wait = INFINITE;
    if (timeoutMs >= 0) {
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= static_cast<DWORD>(timeoutMs)) {
        return false;
      }
      wait = static_cast<DWORD>(timeoutMs) - elapsed;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
  }
}

bool isWindow(HWND window) {
  return window != nullptr && IsWindow(window);
}

namespace {

using ClassGuid = std::array<uint8_t, 16>;

// The broadcast record with room for a path: the name runs on past dbcc_name's one declared
// character, as the system's own records do.
struct InterfaceRecord {
  DEV_BROADCAST_DEVICEINTERFACE_A head;
  char nameRest[MAX_PATH];
};

struct DeviceNotices {
  std::mutex mutex;
  std::vector<std::pair<HWND, ClassGuid>> registrations;
  // Handed out by address in posted messages that may be read any time later, so never freed.
  std::map<std::pair<ClassGuid, std::string>, std::unique_ptr<InterfaceRecord>> records;
};

DeviceNotices& deviceNotices() {
  static auto* instance = new DeviceNotices;  // posted from threads that outlive main
  return *instance;
}

const DEV_BROADCAST_DEVICEINTERFACE_A* recordFor(DeviceNotices& notices, const ClassGuid& classGuid,
                                                 const std::string& path) {
  auto& record = notices.records[{classGuid, path}];
  if (!record) {
    record = std::make_unique<InterfaceRecord>();
    const size_t length = std::min(path.size(), sizeof record->nameRest);
    record->head.dbcc_size =
        static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + length + 1);
    record->head.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->head.dbcc_reserved = 0;
    record->head.dbcc_classguid = win32::toGuid(classGuid);
    char* name = record->head.dbcc_name;
    std::memcpy(name, path.data(), length);
    name[length] = '\0';
  }
  return &record->head;
}

}  // namespace

bool registerDeviceInterfaceNotification(HWND window, const std::array<uint8_t, 16>& classGuid) {
  // The system itself does not refuse a stale handle; the caller relies on the refusal.
  if (!isWindow(window)) {
    return false;
  }
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;  // 32
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid = win32::toGuid(classGuid);
  // The registration lasts as long as the window; nobody unregisters it.
  if (RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) == nullptr) {
    return false;
  }
  // The system announces the cameras it has a driver for; the virtual ones only the library
  // sees, so it announces them itself.
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
  const WPARAM event =
      change == DeviceChange::Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  auto& notices = deviceNotices();
  std::lock_guard lock(notices.mutex);
  const auto* record = recordFor(notices, classGuid, interfacePath);
  std::erase_if(notices.registrations, [&](const std::pair<HWND, ClassGuid>& r) {
    if (!isWindow(r.first)) {
      return true;
    }
    if (r.second == classGuid) {
      PostMessageA(r.first, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record));
    }
    return false;
  });
}

}  // namespace nivexa::platform
