#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "sensors/CSensorBase.h"
#include "transport/CControllerBase.h"

namespace nivexa::engine {

// Which driver each product of the camera family gets, on which serial-bus address, and with
// which variant code (0 when the driver takes none).
struct SensorFactoryRow {
  int productId;
  const char* driver;
  uint8_t deviceAddress;
  int variant;
};

std::span<const SensorFactoryRow> sensorFactoryTable();
const SensorFactoryRow* findSensorRow(int productId);

// The driver of a row, talking through `controller`; null for the family's drivers this build
// does not carry.
std::unique_ptr<sensors::CSensorBase> buildSensor(const SensorFactoryRow& row,
                                                  transport::CControllerBase* controller);

}  // namespace nivexa::engine
