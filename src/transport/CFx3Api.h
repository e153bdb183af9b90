#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/SharedMemory.h"
#include "transport/DeviceTable.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {

// What every FX3 controller object holds: its share of the process-wide device table and of
// the named block that mirrors it to other processes, the selected device, the interface class
// and the last driver error.
class CFx3Api {
 public:
  explicit CFx3Api(const Guid& interfaceGuid = kCameraInterfaceGuid);
  virtual ~CFx3Api();
  CFx3Api(const CFx3Api&) = delete;
  CFx3Api& operator=(const CFx3Api&) = delete;

  // Scans the driver's interfaces of our class and appends new cameras to the table; returns
  // the device count after the scan.
  int EnumerateDevices();
  int DeviceCount() const;
  // Index in range and the device opens; the trial handle is closed again.
  bool IsOpenable(int index);
  // A handle on table entry `index`, or kInvalidDeviceHandle.
  DeviceHandle Open(int index, bool overlapped);

  // Table readers for the engine.
  uint16_t ProductIdAt(int index) const;
  int32_t InstanceAt(int index) const;                         // -1 past the table
  uint16_t VendorIdAt(int index) const;                        // 0 past the table
  std::string PathAt(int index) const;                         // empty past the table
  int FindDevice(uint16_t productId, int32_t instance) const;  // -1 when absent

  int DeviceIndex() const { return deviceIndex_.load(); }
  const Guid& InterfaceGuid() const { return guid_; }
  uint32_t LastDriverError() const { return lastDriverError_.load(); }
  const std::string& LogPath() const { return logPath_; }

 protected:
  void setDeviceIndex(int index) { deviceIndex_.store(index); }
  void setLastDriverError(uint32_t error) { lastDriverError_.store(error); }
  std::optional<DeviceEntry> entryAt(int index) const;

 private:
  // While we hold the block it is the truth: another process may have counted itself in or out
  // or added cameras since our copy was taken, and writing back a stale copy would undo that.
  void refreshLocked(DeviceTableImage& image) const;
  // Copies the process-wide table into the shared block; caller holds the table lock.
  void publishLocked(const DeviceTableImage& image);

  std::unique_ptr<platform::SharedMemory> mapping_;
  std::atomic<int> deviceIndex_{0};
  Guid guid_{};
  std::atomic<uint32_t> lastDriverError_{0};
  std::string logPath_;
};

}  // namespace nivexa::transport
