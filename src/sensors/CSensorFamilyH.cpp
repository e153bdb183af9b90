#include "sensors/CSensorFamilyH.h"

#include <cstdio>

namespace nivexa::sensors {

CSensorFamilyH::CSensorFamilyH(transport::CControllerBase* controller, uint8_t deviceAddress,
                               const family::FamilyRow& row)
    : CSensorTableDriver(controller, deviceAddress, row, "CSensorFamilyH") {}

std::string CSensorFamilyH::FpgaWriteCommand(uint8_t reg, uint8_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "q -w x%02x x%02x\n", reg, value);
  return text;
}

int CSensorFamilyH::WriteFpgaByText(uint8_t reg, uint8_t value) {
  return WriteSerialText(FpgaWriteCommand(reg, value).c_str());
}

}  // namespace nivexa::sensors
