#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "NivexaDevices.h"

// Cameras on the USB bus whose device node this user may not open: the library passes them over
// (they cannot be listed without being opened), so the tool looks for them itself to say what is
// missing. Linux only; elsewhere, and without sysfs, there are none.
struct UnopenableCamera {
  std::string port;  // bus and port chain, as in the interface path ("1-2.3")
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};

// products: the vendor and product IDs the library drives (NivexaDevices_UsbProducts).
std::vector<UnopenableCamera> camerasWithoutPermission(std::span<const NivexaUsbProduct> products);
