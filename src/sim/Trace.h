#pragma once

#include <cstdint>

namespace nivexa::sim {

// One register access on the camera's serial bus, as the device saw it.
struct TraceEntry {
  uint8_t device = 0;  // bus address byte, write form: 0x40 FPGA, 72 sensor, 0x5A aux, 0xA2 EEPROM
  bool write = false;
  uint16_t address = 0;
  uint8_t value = 0;
  uint64_t timeUs = 0;   // since the camera was created
  bool granted = false;  // sensor accesses: the FPGA had been asked to release the bus (0x9F = 1)
};

}  // namespace nivexa::sim
