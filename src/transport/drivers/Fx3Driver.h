#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Event.h"

namespace nivexa::transport {

// The whole of what the controller needs from the camera's USB driver, shaped like the FX3
// kernel driver's interface (device interface paths, device I/O control with the driver's
// request codes, overlapped completion) so that the controller is written once for every
// backend: the virtual camera, libusb on Linux, the kernel driver on Windows.
//
// Contract for backends:
// - enumerate() lists device interface paths of the form
//   "\\?\usb#vid_XXXX&pid_YYYY#<instance>#{guid}" (vendor digits at character 12, product
//   digits at character 21). A path stays valid for the life of the device; an unplugged
//   device's path no longer opens.
// - open() returns kInvalidDeviceHandle on failure. Handles are independent: several may be open
//   on one device at once (each vendor request opens its own), and close() of one never
//   disturbs another.
// - ioctl() carries one request. `in` and `out` are the input and output buffers of the
//   request (they may be the same memory); the backend may write back into `in` where the
//   request record defines returned fields (driver status, USB status).
//   Without `overlapped` the call completes before it returns. With `overlapped` the call may
//   return {false, 0, kErrorIoPending}: the backend then keeps using both buffers until it
//   completes the request, sets overlapped->event, and makes the result available through
//   overlappedResult(). The caller must keep buffers and the Overlapped alive until then.
// - An abort of endpoint 0x81 (kIoctlAbortPipe) completes every pending transfer on that
//   endpoint of the device with kErrorOperationAborted before the abort itself completes.
// - Any request on a handle whose device has gone fails with kErrorDeviceNotConnected.
// - Every member function may be called from any thread.

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = -1;

using Guid = std::array<uint8_t, 16>;  // in the byte order of the GUID's text form

// {328184C5-93E6-49B7-94B8-2ADA13AABB39}: the camera's device interface class.
inline constexpr Guid kCameraInterfaceGuid = {0x32, 0x81, 0x84, 0xC5, 0x93, 0xE6, 0x49, 0xB7,
                                              0x94, 0xB8, 0x2A, 0xDA, 0x13, 0xAA, 0xBB, 0x39};

// Device I/O control codes of the FX3 driver.
inline constexpr uint32_t kIoctlVendorRequest = 0x220020;     // 102-byte block in and out
inline constexpr uint32_t kIoctlBufferedTransfer = 0x220024;  // record + data in and out
inline constexpr uint32_t kIoctlResetPipe = 0x22002C;         // 1 byte in: endpoint address
inline constexpr uint32_t kIoctlResetPort = 0x220030;         // nothing
inline constexpr uint32_t kIoctlAbortPipe = 0x220044;         // 1 byte in: endpoint address
inline constexpr uint32_t kIoctlDirectTransfer = 0x22004B;    // 38-byte record in, data out
inline constexpr uint32_t kIoctlBusSpeed = 0x22004C;          // u32 out

// The Windows error numbers the controller distinguishes.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorSemTimeout = 121;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorIoIncomplete = 996;
inline constexpr uint32_t kErrorIoPending = 997;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;

struct IoResult {
  bool ok = false;
  uint32_t bytesReturned = 0;
  uint32_t error = kErrorSuccess;  // meaningful when !ok
};

// One outstanding overlapped request. The caller supplies the event (auto-reset, unsignalled);
// the backend fills the result and then sets the event.
struct Overlapped {
  explicit Overlapped(platform::Event& completionEvent) : event(completionEvent) {}
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  platform::Event& event;
  std::atomic<bool> completed{false};
  std::atomic<uint32_t> bytesTransferred{0};
  std::atomic<uint32_t> error{kErrorSuccess};
};

class Fx3Driver {
 public:
  virtual ~Fx3Driver() = default;

  virtual std::vector<std::string> enumerate(const Guid& interfaceGuid) = 0;
  virtual DeviceHandle open(const std::string& path, bool overlapped) = 0;
  virtual void close(DeviceHandle handle) = 0;
  virtual IoResult ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                         std::span<uint8_t> out, Overlapped* overlapped) = 0;
  // The outcome of an overlapped request; with wait, blocks until it completed. Without wait,
  // a request still in progress gives {false, 0, kErrorIoIncomplete}.
  virtual IoResult overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) = 0;
  // While on, a backend that must run something to learn of cameras plugged in and out (an
  // event thread, a monitor) runs it and announces what it learns (DeviceNotices.h). Backends
  // that learn of it anyway announce it regardless.
  virtual void watchDevices(bool on) { (void)on; }
};

// The process-wide driver: every enabled backend behind one Fx3Driver. Enumeration merges the
// backends' paths; open() goes to the backend that listed the path; handles are unique across
// backends. An enumeration while no device is open first brings the virtual cameras of
// NIVEXA_VIRTUAL_CAMERAS in step with the variable's value.
Fx3Driver& fx3Driver();

// Virtual cameras asked for by the program instead of NIVEXA_VIRTUAL_CAMERAS, in the variable's
// syntax (null or empty: none), made at the next enumeration while no device is open. False for a
// malformed text, which changes nothing.
bool requestVirtualCameras(const char* text);

// Adds a backend (kept for the life of the process). Backends added after a controller has
// enumerated are seen by its next enumeration.
void addFx3Backend(std::shared_ptr<Fx3Driver> backend);

}  // namespace nivexa::transport
