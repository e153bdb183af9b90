#include "UsbPermissions.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr const char* kDevicesFolder = "/sys/bus/usb/devices";
constexpr int kHex = 16;
constexpr int kDecimal = 10;

// One number from a sysfs attribute file, or -1.
long attribute(const fs::path& device, const char* name, int base) {
  std::ifstream in(device / name);
  std::string text;
  if (!(in >> text)) {
    return -1;
  }
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, base);
  return end == text.c_str() ? -1 : value;
}

}  // namespace

std::vector<UnopenableCamera> camerasWithoutPermission(std::span<const NivexaUsbProduct> products) {
  std::vector<UnopenableCamera> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(kDevicesFolder, error)) {
    const std::string port = entry.path().filename().string();
    // Devices are "<bus>-<ports>"; root hubs ("usb1") and interfaces ("1-2:1.0") are not.
    if (port.find('-') == std::string::npos || port.find(':') != std::string::npos) {
      continue;
    }
    const long vendor = attribute(entry.path(), "idVendor", kHex);
    const long product = attribute(entry.path(), "idProduct", kHex);
    const long bus = attribute(entry.path(), "busnum", kDecimal);
    const long device = attribute(entry.path(), "devnum", kDecimal);
    if (vendor < 0 || product < 0 || bus < 0 || device < 0 ||
        std::none_of(products.begin(), products.end(), [&](const NivexaUsbProduct& p) {
          return p.vendorId == vendor && p.productId == product;
        })) {
      continue;
    }
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03ld/%03ld", bus, device);
    // Opened for reading and writing as libusb opens it, and closed at once.
    std::fstream probe(node, std::ios::in | std::ios::out | std::ios::binary);
    if (!probe.is_open() && fs::exists(node, error)) {
      found.push_back({port, static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)});
    }
  }
  std::sort(found.begin(), found.end(),
            [](const UnopenableCamera& a, const UnopenableCamera& b) { return a.port < b.port; });
  return found;
}
