#include "usb/UsbDescriptors.h"

#include "sim/Fx3FirmwareMap.h"

namespace nivexa::usbtest {
namespace {

constexpr uint8_t kDeviceLength = 18;
constexpr uint8_t kConfigurationLength = 9;
constexpr uint8_t kInterfaceLength = 9;
constexpr uint8_t kEndpointLength = 7;
constexpr uint8_t kCompanionLength = 6;
constexpr uint8_t kDescriptorInterface = 4;
constexpr uint8_t kDescriptorEndpoint = 5;
constexpr uint8_t kDescriptorSuperSpeedCompanion = 0x30;

constexpr uint16_t kUsb3 = 0x0300;
constexpr uint8_t kEndpoint0SizeExponent = 9;  // SuperSpeed: 2^9 = 512-byte control packets
constexpr uint8_t kClassVendor = 0xFF;
constexpr uint8_t kBusPowered = 0x80;
constexpr uint8_t kMaxPowerUnits = 112;  // 8 mA units on SuperSpeed: 896 mA
constexpr uint8_t kTransferBulk = 2;
constexpr uint8_t kMaxBurst = 15;  // the FX3 bursts 16 packets on its streaming endpoints
constexpr uint8_t kNoString = 0;

void putU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void appendEndpoint(std::vector<uint8_t>& out, uint8_t address) {
  out.insert(out.end(), {kEndpointLength, kDescriptorEndpoint, address, kTransferBulk});
  putU16(out, kBulkMaxPacket);
  out.push_back(0);  // bInterval: unused for bulk
  out.insert(out.end(), {kCompanionLength, kDescriptorSuperSpeedCompanion, kMaxBurst, 0});
  putU16(out, 0);  // wBytesPerInterval: periodic endpoints only
}

}  // namespace

std::vector<uint8_t> deviceDescriptor(const sim::CameraOptions& options) {
  std::vector<uint8_t> out{kDeviceLength, kDescriptorDevice};
  putU16(out, kUsb3);
  out.insert(out.end(), {0, 0, 0, kEndpoint0SizeExponent});  // class per interface
  putU16(out, options.vendorId);
  putU16(out, options.productId);
  putU16(out, options.firmwareVersion);
  out.insert(out.end(), {kNoString, kNoString, kNoString, 1});  // one configuration
  return out;
}

std::vector<uint8_t> configurationDescriptor() {
  constexpr uint8_t kEndpoints = 2;
  constexpr uint16_t kTotal =
      kConfigurationLength + kInterfaceLength + kEndpoints * (kEndpointLength + kCompanionLength);
  std::vector<uint8_t> out{kConfigurationLength, kDescriptorConfiguration};
  putU16(out, kTotal);
  out.insert(out.end(),
             {1, kConfigurationValue, kNoString, kBusPowered, kMaxPowerUnits,  // one interface
              kInterfaceLength, kDescriptorInterface, kInterfaceNumber, 0, kEndpoints, kClassVendor,
              0, 0, kNoString});
  appendEndpoint(out, sim::fx3::kFrameEndpoint);
  appendEndpoint(out, sim::fx3::kCommandEndpoint);
  return out;
}

}  // namespace nivexa::usbtest
