#include "transport/drivers/CameraVendors.h"

#include <algorithm>
#include <cstdlib>

#include "family/FamilyTable.h"
#include "platform/Log.h"

namespace nivexa::transport {

namespace {
constexpr const char* kVendorIdsVariable = "NIVEXA_USB_VENDOR_IDS";
constexpr int kHexBase = 16;
constexpr unsigned long kMaxVendorId = 0xFFFF;
}  // namespace

std::vector<uint16_t> cameraVendors() {
  std::vector<uint16_t> vendors{family::kUsbVendorId};
  const char* listed = std::getenv(kVendorIdsVariable);
  if (listed == nullptr) {
    return vendors;
  }
  const char* at = listed;
  while (*at != '\0') {
    char* end = nullptr;
    const unsigned long id = std::strtoul(at, &end, kHexBase);
    if (end == at) {
      NIVEXA_LOG(Transport, Warning, "%s: \"%s\" is not a list of hexadecimal vendor IDs",
                 kVendorIdsVariable, listed);
      break;
    }
    if (id <= kMaxVendorId &&
        std::find(vendors.begin(), vendors.end(), static_cast<uint16_t>(id)) == vendors.end()) {
      vendors.push_back(static_cast<uint16_t>(id));
    }
    at = end;
    while (*at == ',' || *at == ' ') {
      ++at;
    }
  }
  return vendors;
}

}  // namespace nivexa::transport
