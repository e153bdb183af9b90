#pragma once

#include <cstdint>
#include <vector>

#include "sim/CameraOptions.h"

// The standard USB descriptors an FX3 camera presents on SuperSpeed: the device, and one
// configuration with one vendor interface holding the frame endpoint (bulk IN) and the command
// endpoint (bulk OUT). Encoded in wire order, as sysfs's `descriptors` file and GET_DESCRIPTOR
// hand them out.
namespace nivexa::usbtest {

inline constexpr uint8_t kDescriptorDevice = 1;
inline constexpr uint8_t kDescriptorConfiguration = 2;
inline constexpr uint8_t kConfigurationValue = 1;
inline constexpr uint8_t kInterfaceNumber = 0;
inline constexpr uint16_t kBulkMaxPacket = 1024;  // every SuperSpeed bulk endpoint

std::vector<uint8_t> deviceDescriptor(const sim::CameraOptions& options);
std::vector<uint8_t> configurationDescriptor();

}  // namespace nivexa::usbtest
