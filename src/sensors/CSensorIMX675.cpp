#include "sensors/CSensorIMX675.h"

#include "sensors/DiagnosticTrace.h"

namespace nivexa::sensors {

CSensorIMX675::CSensorIMX675(transport::CControllerBase* controller, uint8_t deviceAddress,
                             const family::FamilyRow& row)
    : CSensorTableDriver(controller, deviceAddress, row, "CSensorIMX675") {}

int CSensorIMX675::WriteSensorRegisterRaw(uint16_t address, uint8_t value) {
  const int result = CSensorTableDriver::WriteSensorRegisterRaw(address, value);
  diagnosticTrace("Sensor reg0x%X = 0x%X(%s)", address, value, result ? "Succeed" : "Failed");
  return result;
}

}  // namespace nivexa::sensors
