#pragma once

#include <memory>

#include "family/FamilyTable.h"
#include "sensors/CSensorBase.h"
#include "transport/CControllerBase.h"

namespace nivexa::engine {

// The driver of a family row, talking through `controller`, with the row's device address byte
// and (where the row has one) its variant code already applied. Null when the row chooses its
// driver by the chip's version register and that cannot be read.
std::unique_ptr<sensors::CSensorBase> buildSensor(const family::FamilyRow& row,
                                                  transport::CControllerBase* controller);

// The driver class `name` (a row's driver or its alternate) for `row`, without the chip
// version check; the variant code is applied as in buildSensor.
std::unique_ptr<sensors::CSensorBase> buildNamedSensor(const char* name,
                                                       const family::FamilyRow& row,
                                                       transport::CControllerBase* controller);

// Chip version register of the products that choose between two drivers, and the value that
// selects the alternate one.
inline constexpr uint8_t kChipVersionDevice = 0x20;
inline constexpr uint16_t kAlternateChipVersion = 302;

}  // namespace nivexa::engine
