#include "engine/DeviceCatalog.h"

#include "family/FamilyTable.h"
#include "transport/drivers/CameraVendors.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::engine {

std::vector<UsbIdentity> drivenUsbProducts() {
  std::vector<UsbIdentity> products;
  for (const uint16_t vendor : transport::cameraVendors()) {
    for (const family::FamilyRow& row : family::familyTable()) {
      products.push_back({vendor, row.productId});
    }
  }
  return products;
}

bool useVirtualCameras(const char* description) {
  return transport::requestVirtualCameras(description);
}

}  // namespace nivexa::engine
