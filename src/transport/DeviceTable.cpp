#include "transport/DeviceTable.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace nivexa::transport {

namespace {
constexpr size_t kOffUserCount = 0;
constexpr size_t kOffEntries = 4;
constexpr size_t kOffDeviceCount = kOffEntries + kMaxDevices * kDeviceEntryBytes;  // 8580
constexpr size_t kEntryOffVendor = 0;
constexpr size_t kEntryOffProduct = 2;
constexpr size_t kEntryOffInstance = 4;
constexpr size_t kEntryOffPath = 8;
constexpr size_t kVendorDigitsAt = 12;
constexpr size_t kProductDigitsAt = 21;
constexpr size_t kIdDigits = 4;

std::optional<uint16_t> hex4(std::string_view text) {
  uint16_t value = 0;
  for (const char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = static_cast<uint16_t>(value * 16 + digit);
  }
  return value;
}
}  // namespace

void resetDeviceTable(DeviceTableImage& table) {
  for (auto& entry : table.entries) {
    entry = DeviceEntry{};
  }
  table.deviceCount = 0;
}

DeviceTableImage decodeDeviceTable(std::span<const uint8_t, kDeviceTableBytes> bytes) {
  DeviceTableImage table;
  table.userCount = static_cast<int32_t>(platform::loadLe32(bytes, kOffUserCount));
  for (int i = 0; i < kMaxDevices; ++i) {
    const auto entry = bytes.subspan(kOffEntries + i * kDeviceEntryBytes, kDeviceEntryBytes);
    DeviceEntry& e = table.entries[i];
    e.vendorId = platform::loadLe16(entry, kEntryOffVendor);
    e.productId = platform::loadLe16(entry, kEntryOffProduct);
    e.instance = static_cast<int32_t>(platform::loadLe32(entry, kEntryOffInstance));
    const auto field = entry.subspan(kEntryOffPath, kDevicePathBytes);
    const auto end = std::ranges::find(field, uint8_t{0});
    // A path that fills its field without a terminator was not written by us: drop it rather
    // than guess where it ends.
    e.path = end == field.end() ? std::string() : std::string(field.begin(), end);
  }
  table.deviceCount = std::clamp(static_cast<int32_t>(platform::loadLe32(bytes, kOffDeviceCount)),
                                 0, static_cast<int32_t>(kMaxDevices));
  return table;
}

void encodeDeviceTable(const DeviceTableImage& table, std::span<uint8_t, kDeviceTableBytes> bytes) {
  platform::storeLe32(bytes, kOffUserCount, static_cast<uint32_t>(table.userCount));
  for (int i = 0; i < kMaxDevices; ++i) {
    const auto entry = bytes.subspan(kOffEntries + i * kDeviceEntryBytes, kDeviceEntryBytes);
    const DeviceEntry& e = table.entries[i];
    platform::storeLe16(entry, kEntryOffVendor, e.vendorId);
    platform::storeLe16(entry, kEntryOffProduct, e.productId);
    platform::storeLe32(entry, kEntryOffInstance, static_cast<uint32_t>(e.instance));
    const auto field = entry.subspan(kEntryOffPath, kDevicePathBytes);
    std::ranges::fill(field, uint8_t{0});
    const size_t n = std::min(e.path.size(), kDevicePathBytes - 1);
    std::memcpy(field.data(), e.path.data(), n);
  }
  platform::storeLe32(bytes, kOffDeviceCount, static_cast<uint32_t>(table.deviceCount));
}

std::optional<UsbIds> parseInterfacePath(std::string_view path) {
  if (path.size() < kProductDigitsAt + kIdDigits) {
    return std::nullopt;
  }
  const auto vendor = hex4(path.substr(kVendorDigitsAt, kIdDigits));
  const auto product = hex4(path.substr(kProductDigitsAt, kIdDigits));
  if (!vendor || !product) {
    return std::nullopt;
  }
  return UsbIds{*vendor, *product};
}

ProcessDeviceTable& processDeviceTable() {
  // Never destroyed: capture threads of unreleased cameras use it while the process exits.
  static auto* table = new ProcessDeviceTable;
  return *table;
}

}  // namespace nivexa::transport
