#pragma once

#include <string>

#include "sensors/CSensorTableDriver.h"

namespace nivexa::sensors {

// Family driver H reaches its FPGA through text commands on the camera's serial channel
// instead of FPGA register requests.
class CSensorFamilyH : public CSensorTableDriver {
 public:
  CSensorFamilyH(transport::CControllerBase* controller, uint8_t deviceAddress,
                 const family::FamilyRow& row);

  // The command line that writes `value` to FPGA register `reg`.
  static std::string FpgaWriteCommand(uint8_t reg, uint8_t value);
  // Sends that command through the serial channel (operation 110).
  int WriteFpgaByText(uint8_t reg, uint8_t value);
};

}  // namespace nivexa::sensors
