#pragma once

#include <cstdint>
#include <vector>

namespace nivexa::transport {

// The USB vendor IDs whose devices may be cameras: the family's own, then those that
// NIVEXA_USB_VENDOR_IDS adds (hexadecimal, separated by commas or spaces) for cameras built with
// another vendor ID. A value that is no such list is reported in the log and adds nothing more.
std::vector<uint16_t> cameraVendors();

}  // namespace nivexa::transport
