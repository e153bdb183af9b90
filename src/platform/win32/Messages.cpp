#include "platform/Messages.h"

#include <windows.h>

// Needs the types of <windows.h> before it.
#include <dbt.h>

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

// A thread waits for its windows' messages with MsgWaitForMultipleObjects, not on a descriptor.
int messageSinkFd(HWND /*sink*/) {
  return -1;
}

bool isWindow(HWND window) {
  return window != nullptr && IsWindow(window);
}

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
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) != nullptr;
}

void postDeviceChange(const std::array<uint8_t, 16>& /*classGuid*/, DeviceChange /*change*/,
                      const std::string& /*interfacePath*/) {
  // Windows delivers WM_DEVICECHANGE with a record only by sending it, never by a post, and the
  // system announces every camera its driver serves. The virtual cameras, which only the library
  // sees, go unannounced here rather than have a library thread wait on an application's window.
}

}  // namespace nivexa::platform
