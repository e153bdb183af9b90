// Vendor requests on endpoint 0 and the serial-bus register operations built on them.
#include <algorithm>
#include <array>
#include <mutex>

#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "transport/CVelCy3Cam.h"
#include "transport/RequestLog.h"
#include "transport/RequestRecord.h"

namespace nivexa::transport {

using namespace fx3;

int CVelCy3Cam::controlRequest(const VendorRequest& request, VendorReply* reply) {
  const DeviceHandle handle = Open(DeviceIndex(), false);
  if (handle == kInvalidDeviceHandle) {
    NIVEXA_LOG(Transport, Warning, "request 0x%02X: device %d did not open", request.request,
               DeviceIndex());
    return 0;
  }
  const int result = controlRequestOn(handle, request, reply);
  fx3Driver().close(handle);
  return result;
}

int CVelCy3Cam::controlRequestOn(DeviceHandle handle, const VendorRequest& request,
                                 VendorReply* reply) {
  RequestRecord setup;
  setup.requestType = request.type;
  setup.request = request.request;
  setup.value = request.value;
  setup.index = request.index;
  setup.timeLimitSeconds = kVendorTimeLimitSeconds;
  std::optional<VendorBlock> encoded = encodeVendorBlock(setup, request.payload);
  if (!encoded) {
    return 0;
  }
  VendorBlock& block = *encoded;
  const IoResult result = fx3Driver().ioctl(handle, kIoctlVendorRequest, block, block, nullptr);
  if (!result.ok || result.bytesReturned > kVendorBlockSize) {
    logVendorRequest(request.request, request.value, request.index, request.payload, {}, false,
                     result.error);
    return 0;
  }
  const uint32_t dataCount = result.bytesReturned >= kRecordSize
                                 ? result.bytesReturned - static_cast<uint32_t>(kRecordSize)
                                 : result.bytesReturned;
  if (reply != nullptr) {
    reply->dataCount = dataCount;
    std::copy(block.begin() + kRecordSize, block.end(), reply->data.begin());
  }
  if (log::enabled(log::Category::Transport, log::Level::Debug)) {
    // A bus read names its byte count in the value field; other replies carry a whole block.
    const bool inbound = (request.type & 0x80) != 0;
    const size_t shown = !inbound ? 0
                         : request.request == kReqBusRead
                             ? std::min<size_t>(dataCount, request.value)
                             : dataCount;
    writeRequestLine(request.request, request.value, request.index, request.payload,
                     std::span<const uint8_t>(block).subspan(kRecordSize, shown), true, 0);
  }
  return 1;
}

int CVelCy3Cam::simpleIoctl(uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                            uint32_t* returned) {
  const DeviceHandle handle = Open(DeviceIndex(), false);
  if (handle == kInvalidDeviceHandle) {
    return 0;
  }
  const IoResult result = fx3Driver().ioctl(handle, code, in, out, nullptr);
  fx3Driver().close(handle);
  if (!result.ok) {
    NIVEXA_LOG(Transport, Warning, "driver request 0x%06X failed (driver error %u)", code,
               result.error);
  }
  if (returned != nullptr) {
    *returned = result.bytesReturned;
  }
  return result.ok ? 1 : 0;
}

int CVelCy3Cam::BusWrite(uint8_t device, std::span<const uint8_t> data) {
  if (data.size() > kBusMaxBytes) {
    return 0;
  }
  return controlRequest(
      {kTypeVendorOut, kReqBusWrite, static_cast<uint16_t>(data.size()), device, data}, nullptr);
}

int CVelCy3Cam::BusRead(uint8_t device, std::span<uint8_t> data) {
  if (data.size() > kBusMaxBytes) {
    return 0;
  }
  // A read names its device in the read form, with bit 0 set, whichever form the caller has:
  // the sensor drivers pass the one address byte they were built with, the FPGA and EEPROM
  // reads their read forms, and all of them reach the same device.
  const auto readForm = static_cast<uint8_t>(device | kBusReadBit);
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqBusRead, static_cast<uint16_t>(data.size()), readForm},
                      &reply)) {
    return 0;
  }
  // A short read would leave the caller's bytes as they were while reporting them as read:
  // the FPGA and EEPROM reads built on this would hand out stale values.
  if (reply.dataCount < data.size()) {
    return 0;
  }
  std::copy_n(reply.data.begin(), data.size(), data.begin());
  return 1;
}

int CVelCy3Cam::WriteControlByte(uint8_t value) {
  std::array<uint8_t, 4> payload{};
  platform::storeLe32(payload, 0, value);
  return controlRequest({kTypeVendorOut, kReqWriteControlByte, 0, 0, payload}, nullptr);
}

int CVelCy3Cam::ReadControlByte(uint8_t& value) {
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqReadControlByte}, &reply)) {
    return 0;
  }
  if (reply.dataCount != 0) {
    value = reply.data[0];
  }
  return 1;
}

int CVelCy3Cam::WriteSensorWord(uint16_t address, uint16_t value) {
  std::array<uint8_t, 4> payload{};
  platform::storeBe16(payload, 0, address);
  platform::storeBe16(payload, 2, value);
  return controlRequest({kTypeVendorOut, kReqWriteSensorWord, 0, 0, payload}, nullptr);
}

int CVelCy3Cam::ReadSensorWord(uint16_t address, uint32_t& value) {
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqReadSensorWord, address}, &reply)) {
    return 0;
  }
  if (reply.dataCount != 0) {
    value = platform::loadLe16(reply.data, 0);
  }
  return 1;
}

int CVelCy3Cam::WriteRegister32(uint16_t address, uint32_t value) {
  std::array<uint8_t, 4> payload{};
  platform::storeLe32(payload, 0, value);
  // Address bit 15 travels in the value field, the other fifteen bits in the index field.
  const auto high = static_cast<uint16_t>((address >> 15) & 1);
  const auto low = static_cast<uint16_t>(address & 0x7FFF);
  return controlRequest({kTypeVendorOut, kReqWriteRegister32, high, low, payload}, nullptr);
}

int CVelCy3Cam::ReadRegister16(uint16_t address, uint32_t& value) {
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqReadRegister16, 0, address}, &reply)) {
    return 0;
  }
  value = 0;
  if (reply.dataCount >= kVendorDataSize) {
    value = platform::loadLe16(reply.data, 0);
  }
  return 1;
}

int CVelCy3Cam::ReadStatusByte(uint8_t& status) {
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqStatusByte}, &reply)) {
    return 0;
  }
  if (reply.dataCount == kVendorDataSize) {
    status = reply.data[0];
  }
  return 1;
}

int CVelCy3Cam::SendEndpointCommand() {
  return controlRequest({kTypeVendorOutEndpoint, kReqEndpointCommand}, nullptr);
}

int CVelCy3Cam::StartStream() {
  return controlRequest({kTypeVendorOut, kReqStartStream}, nullptr);
}

int CVelCy3Cam::RequestFrame(DeviceHandle handle) {
  const DeviceHandle target = handle != kInvalidDeviceHandle ? handle : stream_.load();
  if (target == kInvalidDeviceHandle) {
    return 0;
  }
  return controlRequestOn(target, {kTypeVendorOutEndpoint, kReqFrame}, nullptr);
}

int CVelCy3Cam::ReadDeviceInfo(std::span<uint8_t, kVendorDataSize> info) {
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqDeviceInfo}, &reply)) {
    return 0;
  }
  if (reply.dataCount == kVendorDataSize) {
    std::ranges::copy(reply.data, info.begin());
  }
  return 1;
}

int CVelCy3Cam::ReadExtendedInfo(std::span<uint8_t, kVendorDataSize> info) {
  VendorReply reply;
  if (!controlRequest({kTypeVendorIn, kReqExtendedInfo}, &reply)) {
    return 0;
  }
  if (reply.dataCount == kVendorDataSize) {
    std::ranges::copy(reply.data, info.begin());
  }
  return 1;
}

int CVelCy3Cam::WriteFpgaRegister(uint8_t reg, uint8_t value) {
  std::lock_guard<FairLock> guard(fpgaLock_);
  const std::array<uint8_t, 3> bytes{reg, 0x00, value};
  return BusWrite(kBusFpga, bytes);
}

int CVelCy3Cam::ReadFpgaRegister(uint8_t reg, uint8_t& value) {
  // The register number write and the data read must not interleave with another access.
  std::lock_guard<FairLock> guard(fpgaLock_);
  const std::array<uint8_t, 1> address{reg};
  if (!BusWrite(kBusFpga, address)) {
    return 0;
  }
  // A 16-bit big-endian word of which the FPGA only drives the low byte.
  std::array<uint8_t, 2> data{};
  if (!BusRead(kBusFpga | kBusReadBit, data)) {
    return 0;
  }
  value = data[1];
  return 1;
}

int CVelCy3Cam::ReadFpgaVersion(uint16_t& version) {
  uint8_t low = 0;
  uint8_t high = 0;
  if (!ReadFpgaRegister(kFpgaVersionLow, low) || !ReadFpgaRegister(kFpgaVersionHigh, high)) {
    return 0;
  }
  version = static_cast<uint16_t>(high * 256 + low);
  return 1;
}

int CVelCy3Cam::WriteAuxRegister(uint8_t reg, uint8_t value) {
  const std::array<uint8_t, 2> bytes{reg, value};
  return BusWrite(kBusAux, bytes);
}

int CVelCy3Cam::ReadAuxRegister(uint8_t reg, uint8_t& value) {
  const std::array<uint8_t, 1> address{reg};
  if (!BusWrite(kBusAux, address)) {
    return 0;
  }
  std::array<uint8_t, 1> data{};
  if (!BusRead(kBusAux | kBusReadBit, data)) {
    return 0;
  }
  value = data[0];
  return 1;
}

int CVelCy3Cam::WriteEepromByte(uint16_t address, uint8_t value) {
  std::array<uint8_t, 3> bytes{0, 0, value};
  platform::storeBe16(bytes, 0, address);
  if (!BusWrite(kBusEeprom, bytes)) {
    return 0;
  }
  platform::sleepMs(kEepromWriteSettleMs);
  return 1;
}

int CVelCy3Cam::ReadEepromByte(uint16_t address, uint8_t& value) {
  std::array<uint8_t, 2> bytes{};
  platform::storeBe16(bytes, 0, address);
  // Without the address latched the read would return the byte at whatever address the
  // EEPROM's counter holds and pass it off as the one asked for.
  if (!BusWrite(kBusEeprom, bytes)) {
    return 0;
  }
  platform::sleepMs(kEepromReadSettleMs);
  std::array<uint8_t, 1> data{};
  if (!BusRead(kBusEeprom | kBusReadBit, data)) {
    return 0;
  }
  value = data[0];
  return 1;
}

int CVelCy3Cam::ResetPipe(uint8_t endpoint) {
  std::array<uint8_t, 1> in{endpoint};
  return simpleIoctl(kIoctlResetPipe, in, {}, nullptr);
}

int CVelCy3Cam::ResetPort() {
  return simpleIoctl(kIoctlResetPort, {}, {}, nullptr);
}

int CVelCy3Cam::GetBusSpeed(uint32_t& code) {
  std::array<uint8_t, 4> out{};
  uint32_t returned = 0;
  if (!simpleIoctl(kIoctlBusSpeed, {}, out, &returned) || returned != out.size()) {
    return 0;
  }
  code = platform::loadLe32(out, 0);
  return 1;
}

}  // namespace nivexa::transport
