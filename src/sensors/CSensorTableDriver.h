#pragma once

#include "family/FamilyTable.h"
#include "sensors/CSensorBase.h"

namespace nivexa::sensors {

// The driver of a family product whose chip this library cannot program: it knows what its row
// of the family table says (array, orientation, the groups it implements) and answers the
// capability queries from that, but the chip's register maps are not part of this library, so
// its pre-initialisation check refuses and the engine's open fails instead of streaming from an
// unprogrammed sensor. The Sony chips keep their raw register access, which needs no map.
class CSensorTableDriver : public CSensorBase {
 public:
  CSensorTableDriver(transport::CControllerBase* controller, uint8_t deviceAddress,
                     const family::FamilyRow& row, const char* driverName);
  ~CSensorTableDriver() override;  // 0

  int PreInitCheck() override;                                                        // 4
  int GetReadoutWindow(int* x, int* width, int* y, int* height, int* mode) override;  // 9
  int WriteSensorRegisterRaw(uint16_t address, uint8_t value) override;               // 78
  int ReadSensorRegisterRaw(uint16_t address, uint8_t* value) override;               // 79
  int HasCooling() override;                                                          // 98
  int HasTemperature() override;                                                      // 101
  int HasGainMode() override;                                                         // 130
  int AcceptsColourFormats() override;                                                // 138

  const family::FamilyRow& row() const { return row_; }

 protected:
  bool sonyRawAccess() const { return sonyRawAccess_; }

 private:
  const family::FamilyRow& row_;
  bool sonyRawAccess_;
};

}  // namespace nivexa::sensors
