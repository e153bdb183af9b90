#pragma once

#include <cstdint>
#include <span>

namespace nivexa::transport {

// The controller as the engine and the sensor drivers see it. Every operation returns nonzero
// for success and 0 for failure; the defaults fail, so a controller that lacks an operation
// reports failure instead of pretending. Outputs are left untouched on failure.
class CControllerBase {
 public:
  virtual ~CControllerBase() = default;  // 0

  virtual int Reserved() { return 0; }                                                       // 1
  virtual void ReleaseStream() {}                                                            // 2
  virtual int SetDeviceIndex(int /*index*/) { return 0; }                                    // 3
  virtual int ReadFpgaVersion(uint16_t& /*version*/) { return 0; }                           // 4
  virtual int ReadStatusByte(uint8_t& /*status*/) { return 0; }                              // 5
  virtual int SendEndpointCommand() { return 0; }                                            // 6
  virtual int BusWrite(uint8_t /*device*/, std::span<const uint8_t> /*data*/) { return 0; }  // 7
  virtual int BusRead(uint8_t /*device*/, std::span<uint8_t> /*data*/) { return 0; }         // 8
  virtual int WriteRegister32(uint16_t /*address*/, uint32_t /*value*/) { return 0; }        // 9
  virtual int ReadRegister16(uint16_t /*address*/, uint32_t& /*value*/) { return 0; }        // 10
  virtual int WriteSensorWord(uint16_t /*address*/, uint16_t /*value*/) { return 0; }        // 11
  virtual int ReadSensorWord(uint16_t /*address*/, uint32_t& /*value*/) { return 0; }        // 12
  virtual int WriteFpgaRegister(uint8_t /*reg*/, uint8_t /*value*/) { return 0; }            // 13
  virtual int ReadFpgaRegister(uint8_t /*reg*/, uint8_t& /*value*/) { return 0; }            // 14
  virtual int WriteAuxRegister(uint8_t /*reg*/, uint8_t /*value*/) { return 0; }             // 15
  virtual int ReadAuxRegister(uint8_t /*reg*/, uint8_t& /*value*/) { return 0; }             // 16
  virtual int WriteEepromByte(uint16_t /*address*/, uint8_t /*value*/) { return 0; }         // 17
  virtual int ReadEepromByte(uint16_t /*address*/, uint8_t& /*value*/) { return 0; }         // 18
  virtual int AbortStream() { return 0; }                                                    // 19
};

}  // namespace nivexa::transport
