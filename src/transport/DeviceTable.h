#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace nivexa::transport {

inline constexpr int kMaxDevices = 32;
inline constexpr size_t kDeviceEntryBytes = 268;
inline constexpr size_t kDevicePathBytes = 260;  // including the terminating zero
inline constexpr size_t kDeviceTableBytes = 4 + kMaxDevices * kDeviceEntryBytes + 4;  // 8584
inline constexpr const char* kDeviceTableName = "U3R5-MemMap";

struct DeviceEntry {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  int32_t instance = -1;  // entries before this one with the same vendor and product
  std::string path;
};

// The table of cameras seen by any process, as held in the named shared block.
struct DeviceTableImage {
  int32_t userCount = 0;  // live controllers in all processes
  std::array<DeviceEntry, kMaxDevices> entries{};
  int32_t deviceCount = 0;
};

void resetDeviceTable(DeviceTableImage& table);

// Another process may have left anything in the block: the count is clamped to the table and
// every path is cut at its field's end.
DeviceTableImage decodeDeviceTable(std::span<const uint8_t, kDeviceTableBytes> bytes);
void encodeDeviceTable(const DeviceTableImage& table, std::span<uint8_t, kDeviceTableBytes> bytes);

struct UsbIds {
  uint16_t vendorId;
  uint16_t productId;
};

// Vendor and product fields of a device interface path "\\?\usb#vid_XXXX&pid_YYYY#...": four
// hex digits at characters 12 and 21. Nothing for a path too short or not hex there.
std::optional<UsbIds> parseInterfacePath(std::string_view path);

// The one table of this process, shared by all its controllers. The lock only keeps this
// process's threads from tearing it; between processes the last writer wins.
struct ProcessDeviceTable {
  std::mutex mutex;
  DeviceTableImage image;
};
ProcessDeviceTable& processDeviceTable();

}  // namespace nivexa::transport
