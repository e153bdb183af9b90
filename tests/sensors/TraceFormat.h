#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sensors/FakeController.h"

namespace nivexa::sensors::test {

// Register traffic as short lines ("S 0x2D4=0x5C", "R 0x720", "F 133=38") so that a sequence
// can be compared with the documented one at a glance. FPGA reads are left out: they are the
// read-backs of verified writes and the bus polls.
inline std::vector<std::string> programTrace(const FakeController& fake) {
  std::vector<std::string> out;
  char line[32];
  for (const auto& e : fake.trace()) {
    switch (e.kind) {
      case FakeController::Kind::SensorWrite:
        std::snprintf(line, sizeof line, "S 0x%03X=0x%02X", e.address, e.value);
        break;
      case FakeController::Kind::SensorRead:
        std::snprintf(line, sizeof line, "R 0x%03X", e.address);
        break;
      case FakeController::Kind::FpgaWrite:
        if (e.address == 0x9F) {
          continue;
        }
        std::snprintf(line, sizeof line, "F %u=%u", e.address, e.value);
        break;
      case FakeController::Kind::FpgaRead:
        continue;
    }
    out.emplace_back(line);
  }
  return out;
}

}  // namespace nivexa::sensors::test
