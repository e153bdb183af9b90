#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "family/FamilyTable.h"
#include "sensors/CSensorBase.h"

namespace nivexa::engine {

// One driver of the family as the factory builds it, described by what the driver itself
// answers (its SensorInfo and its capability operations) together with the groups of its table
// row that no operation reports.
struct FamilyDriverReport {
  uint16_t productId = 0;
  std::string driver;  // class name; "A or B" where the chip version decides
  int32_t arrayWidth = 0;
  int32_t arrayHeight = 0;
  uint8_t deviceAddress = 0;
  int32_t variant = 0;
  int32_t orientation = 0;
  uint32_t groups = 0;      // family::Group bits
  bool programmed = false;  // this library can program the chip and stream from it
};

// Every row of the family table, in table order.
std::vector<FamilyDriverReport> describeFamily();

// The groups `sensor` reports through its own operations (cooling, temperature, seconds,
// mirrors, black level, gain, gain mode, fifth parameter, colour formats), plus the groups of
// `row` that no operation of the driver interface reports.
uint32_t answeredGroups(sensors::CSensorBase& sensor, const family::FamilyRow& row);

}  // namespace nivexa::engine
