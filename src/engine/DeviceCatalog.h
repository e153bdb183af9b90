#pragma once

#include <cstdint>
#include <vector>

namespace nivexa::engine {

// The catalogue of the cameras the library drives, which belongs to no one camera.

struct UsbIdentity {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};

// Every vendor and product the library opens: each camera vendor with each product of the
// family, in the family table's order, the family's own vendor first.
std::vector<UsbIdentity> drivenUsbProducts();

// Virtual cameras for this process in place of those NIVEXA_VIRTUAL_CAMERAS asks for, in the
// variable's syntax (null or empty: none), made at the next enumeration while no camera is open.
// False for a malformed text, which changes nothing.
bool useVirtualCameras(const char* description);

}  // namespace nivexa::engine
