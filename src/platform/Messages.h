#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "NivexaSdk.h"

namespace nivexa::platform {

struct Message {
  HWND hwnd;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

inline constexpr size_t kMessageQueueCapacity = 10000;

// Queues a message and returns at once. A null window means the calling thread's own queue.
// Fails for a window that does not exist (any more) and for a full queue.
bool postMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Message sinks: on Linux the stand-in for the application's windows, readable from any thread;
// on Windows a message-only window, whose messages only its creating thread reads.
HWND createMessageSink();
void destroyMessageSink(HWND sink);
// timeoutMs: 0 polls, negative waits without limit. A null sink reads the calling thread's queue.
bool getMessage(HWND sink, Message& out, int32_t timeoutMs);
// A descriptor readable while the sink holds messages; -1 on Windows, which has none.
int messageSinkFd(HWND sink);
bool isWindow(HWND window);

// Asks for device-arrival and removal notices of one device-interface class to be sent to the
// window for as long as it exists. A stale window handle is refused.
bool registerDeviceInterfaceNotification(HWND window, const std::array<uint8_t, 16>& classGuid);

enum class DeviceChange { Arrival, Removal };

// Posts a device-change notice for one interface of the class to every live window registered
// for it: what only the library sees (libusb hot-plug, virtual cameras). Never blocks; a full
// window misses it. On Windows the system announces the cameras its driver serves, and nothing
// is posted (the system allows the notice with its record only as a sent message).
void postDeviceChange(const std::array<uint8_t, 16>& classGuid, DeviceChange change,
                      const std::string& interfacePath);

}  // namespace nivexa::platform
