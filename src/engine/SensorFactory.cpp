#include "engine/SensorFactory.h"

#include <array>
#include <cstring>

#include "sensors/CSensorFamilyH.h"
#include "sensors/CSensorIMX675.h"
#include "sensors/CSensorIMX990.h"
#include "sensors/CSensorIMX991.h"
#include "sensors/CSensorIMX992.h"
#include "sensors/CSensorIMX993.h"
#include "sensors/CSensorTableDriver.h"

namespace nivexa::engine {

namespace {

bool is(const char* name, const char* driver) {
  return std::strcmp(name, driver) == 0;
}

// Reads the 16-bit big-endian chip version: the register address 0 is written first, then two
// bytes are read back. False when either transfer fails.
bool readChipVersion(transport::CControllerBase* controller, uint16_t& version) {
  if (controller == nullptr) {
    return false;
  }
  const std::array<uint8_t, 2> address{0, 0};
  std::array<uint8_t, 2> data{};
  if (!controller->BusWrite(kChipVersionDevice, address) ||
      !controller->BusRead(kChipVersionDevice | 1, data)) {
    return false;
  }
  version = static_cast<uint16_t>(data[0] << 8 | data[1]);
  return true;
}

std::unique_ptr<sensors::CSensorBase> build(const char* name, const family::FamilyRow& row,
                                            transport::CControllerBase* controller) {
  const uint8_t address = row.deviceAddress;
  // Classes exist only where a driver behaves differently; every other row is served by the
  // table's own driver under its row's name.
  if (is(name, "CSensorIMX993")) {
    return std::make_unique<sensors::CSensorIMX993>(controller, address);
  }
  if (is(name, "CSensorIMX992")) {
    return std::make_unique<sensors::CSensorIMX992>(controller, address);
  }
  if (is(name, "CSensorIMX991")) {
    return std::make_unique<sensors::CSensorIMX991>(controller, address);
  }
  if (is(name, "CSensorIMX990")) {
    return std::make_unique<sensors::CSensorIMX990>(controller, address);
  }
  if (is(name, "CSensorFamilyH")) {
    return std::make_unique<sensors::CSensorFamilyH>(controller, address, row);
  }
  if (is(name, "CSensorIMX675")) {
    return std::make_unique<sensors::CSensorIMX675>(controller, address, row);
  }
  return std::make_unique<sensors::CSensorTableDriver>(controller, address, row, name);
}

}  // namespace

std::unique_ptr<sensors::CSensorBase> buildSensor(const family::FamilyRow& row,
                                                  transport::CControllerBase* controller) {
  const char* name = row.driver;
  if (row.alternateDriver != nullptr) {
    uint16_t version = 0;
    if (!readChipVersion(controller, version)) {
      return nullptr;
    }
    if (version == kAlternateChipVersion) {
      name = row.alternateDriver;
    }
  }
  return buildNamedSensor(name, row, controller);
}

std::unique_ptr<sensors::CSensorBase> buildNamedSensor(const char* name,
                                                       const family::FamilyRow& row,
                                                       transport::CControllerBase* controller) {
  std::unique_ptr<sensors::CSensorBase> sensor = build(name, row, controller);
  if (row.variant != 0) {
    sensor->SetVariant(row.variant);
  }
  return sensor;
}

}  // namespace nivexa::engine
