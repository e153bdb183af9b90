#pragma once

#include "sensors/CSensorTableDriver.h"

namespace nivexa::sensors {

// IMX675: every raw register write also goes to the diagnostic trace with its outcome.
class CSensorIMX675 : public CSensorTableDriver {
 public:
  CSensorIMX675(transport::CControllerBase* controller, uint8_t deviceAddress,
                const family::FamilyRow& row);

  int WriteSensorRegisterRaw(uint16_t address, uint8_t value) override;  // 78
};

}  // namespace nivexa::sensors
