#pragma once

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "transport/drivers/LibusbBackend.h"

namespace nivexa::transport {

// The camera's one interface, claimed while the camera is open.
inline constexpr int kLibusbCameraInterface = 0;

// One camera as libusb has it open, shared by every handle on it.
struct LibusbBackend::Device {
  Device(libusb_device_handle* opened, std::string name) : usb(opened), path(std::move(name)) {}
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  ~Device() {
    libusb_release_interface(usb, kLibusbCameraInterface);
    libusb_close(usb);
  }

  libusb_device_handle* const usb;
  const std::string path;
  std::atomic<bool> lost{false};
};

// One request on the bus: a control transfer, or a bulk transfer in one or more pieces of the
// caller's buffer. Its state is guarded by the backend's flightsMutex_.
struct LibusbBackend::Flight {
  Flight() = default;
  Flight(const Flight&) = delete;
  Flight& operator=(const Flight&) = delete;
  ~Flight() {
    for (libusb_transfer* t : transfers) {
      libusb_free_transfer(t);
    }
  }

  LibusbBackend* owner = nullptr;
  DeviceHandle handle = kInvalidDeviceHandle;
  std::shared_ptr<Device> device;
  uint8_t endpoint = 0;
  bool control = false;
  Overlapped* completion = nullptr;
  std::span<uint8_t> record;      // the caller's record: statuses go back into it
  std::span<uint8_t> recordCopy;  // a second copy of the record the caller reads, if any
  std::span<uint8_t> data;        // bulk: the caller's memory, used in place
  std::vector<uint8_t> setup;     // control: setup packet and data stage
  std::span<uint8_t> reply;       // control IN: where the data stage goes
  uint32_t extraBytes = 0;        // counted in the result besides the data
  uint32_t timeoutMs = 0;
  std::vector<libusb_transfer*> transfers;
  std::vector<bool> busy;
  size_t nextOffset = 0;       // bulk: the first byte no transfer has been given yet
  size_t shortEnd = SIZE_MAX;  // bulk: where the data ended early (a short transfer)
  uint32_t controlBytes = 0;
  bool stopped = false;  // nothing more is submitted
  uint32_t error = kErrorSuccess;
  uint32_t usbStatus = 0;

  size_t inFlight() const {
    return static_cast<size_t>(std::count(busy.begin(), busy.end(), true));
  }
};

}  // namespace nivexa::transport
