#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "transport/CControllerBase.h"
#include "transport/CFx3Api.h"
#include "transport/FairLock.h"
#include "transport/FrameHeader.h"
#include "transport/Fx3Protocol.h"

namespace nivexa::transport {

// The camera's controller: vendor requests on endpoint 0, the serial bus behind them, and the
// bulk frame path on endpoint 0x81, all through fx3Driver(). Results are nonzero for success
// and 0 for failure; outputs are left untouched on failure.
class CVelCy3Cam : public CFx3Api, public CControllerBase {
 public:
  explicit CVelCy3Cam(const Guid& interfaceGuid = kCameraInterfaceGuid);
  ~CVelCy3Cam() override;  // 0

  virtual int OpenStream();                                                     // 1
  virtual int ReadFrameHeader(FrameDescriptor& frame, uint32_t unusedLimitMs);  // 2
  virtual int ReadFramePayload(FrameDescriptor& frame, uint32_t limitMs);       // 3
  virtual int ReadFrameAux(FrameDescriptor& frame);                             // 4
  virtual int ReadFrameByCommand(std::span<uint8_t> buffer, uint32_t& length,
                                 uint32_t limitMs);                                     // 5
  virtual void CloseStream();                                                           // 6
  virtual int WriteMemory(uint64_t address, std::span<uint8_t> buffer, uint32_t size);  // 7
  virtual int ReadMemory(uint64_t address, std::span<uint8_t> buffer, uint32_t size);   // 8
  virtual int WriteControlByte(uint8_t value);                                          // 9
  virtual int ReadControlByte(uint8_t& value);                                          // 10
  virtual int BufferedTransfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                               uint32_t& count);  // 11
  virtual int ArmedTransfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                            uint32_t& count);  // 12
  virtual int DirectTransfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                             uint32_t& count, uint32_t limitMs);  // 13
  virtual int DirectTransferFixed(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                                  uint32_t& count);  // 14

  // CControllerBase
  void ReleaseStream() override;                                         // 2
  int SetDeviceIndex(int index) override;                                // 3
  int ReadFpgaVersion(uint16_t& version) override;                       // 4
  int ReadStatusByte(uint8_t& status) override;                          // 5
  int SendEndpointCommand() override;                                    // 6
  int BusWrite(uint8_t device, std::span<const uint8_t> data) override;  // 7
  int BusRead(uint8_t device, std::span<uint8_t> data) override;         // 8
  int WriteRegister32(uint16_t address, uint32_t value) override;        // 9
  int ReadRegister16(uint16_t address, uint32_t& value) override;        // 10
  int WriteSensorWord(uint16_t address, uint16_t value) override;        // 11
  int ReadSensorWord(uint16_t address, uint32_t& value) override;        // 12
  int WriteFpgaRegister(uint8_t reg, uint8_t value) override;            // 13
  int ReadFpgaRegister(uint8_t reg, uint8_t& value) override;            // 14
  int WriteAuxRegister(uint8_t reg, uint8_t value) override;             // 15
  int ReadAuxRegister(uint8_t reg, uint8_t& value) override;             // 16
  int WriteEepromByte(uint16_t address, uint8_t value) override;         // 17
  int ReadEepromByte(uint16_t address, uint8_t& value) override;         // 18
  int AbortStream() override;                                            // 19

  // Operations the engine calls directly.
  int GetDeviceName(int index, std::string& name);
  int PrepareStream();
  int StartStream();
  int ResetPort();
  int ResetPipe(uint8_t endpoint);
  int GetBusSpeed(uint32_t& code);
  int ReadDeviceInfo(std::span<uint8_t, fx3::kVendorDataSize> info);
  int ReadExtendedInfo(std::span<uint8_t, fx3::kVendorDataSize> info);
  // Frame request (vendor request 0xC2) on `handle`, or on the streaming handle when given
  // kInvalidDeviceHandle.
  int RequestFrame(DeviceHandle handle);

  DeviceHandle StreamHandle() const { return stream_.load(); }
  bool HasTransferBuffer() const { return transferBuffer_ != nullptr; }

 private:
  struct VendorReply {
    std::array<uint8_t, fx3::kVendorDataSize> data{};
    uint32_t dataCount = 0;
  };
  struct VendorRequest {
    uint8_t type;
    uint8_t request;
    uint16_t value = 0;
    uint16_t index = 0;
    std::span<const uint8_t> payload = {};
  };

  // One vendor request on its own synchronous handle for the current device.
  int controlRequest(const VendorRequest& request, VendorReply* reply);
  // One vendor request on a handle the caller owns.
  int controlRequestOn(DeviceHandle handle, const VendorRequest& request, VendorReply* reply);
  // Opens a synchronous handle for the current device, runs one driver request, closes it.
  int simpleIoctl(uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out, uint32_t* returned);
  struct PendingRequest;
  // Frees a finished request; one the driver has not completed is left to the driver.
  static void settle(std::unique_ptr<PendingRequest> request);
  int abortEndpoint(DeviceHandle handle, uint8_t endpoint);
  // Waits for an overlapped request up to `limitMs`; on time-out cancels it by aborting its
  // endpoint (and the frame endpoint when asked), each further wait bounded. True when it
  // completed within the limit.
  bool awaitOrCancel(DeviceHandle handle, PendingRequest& request, uint8_t endpoint,
                     uint32_t limitMs, bool abortFrameEndpoint);
  int transfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint, uint32_t& count,
               uint32_t limitMs, bool abortFrameEndpoint);
  int readPayloadOn(DeviceHandle handle, FrameDescriptor& frame, uint32_t limitMs);
  int moveMemory(uint64_t address, std::span<uint8_t> buffer, uint32_t size, bool read);
  int readByCommandOn(DeviceHandle handle, std::span<uint8_t> buffer, uint32_t& length,
                      uint32_t limitMs);

  // Opens the streaming handle when none is open; tells whether this call opened it.
  bool ensureStream(bool& openedHere);

  std::atomic<DeviceHandle> stream_{kInvalidDeviceHandle};
  std::unique_ptr<uint8_t[]> transferBuffer_;
  std::array<uint8_t, fx3::kFrameHeaderSize> headerScratch_{};
  FairLock fpgaLock_;
};

}  // namespace nivexa::transport
