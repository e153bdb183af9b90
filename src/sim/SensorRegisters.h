#pragma once

#include <array>
#include <cstdint>

#include "sim/SensorRegisterMap.h"

namespace nivexa::sim {

// What the sensor's register file currently asks the chip to do.
struct SensorSettings {
  bool standby = false;
  int readout = 0;  // 0 windowed, 1 binned 2 x 2, 17 subsampled 2 x 2
  int arrayX = 0;   // array region read out
  int arrayY = 0;
  int outWidth = sensor::kArrayWidth;  // pixels per line and lines the chip sends
  int outHeight = sensor::kArrayHeight;
  bool mirrorH = false;
  bool mirrorV = false;
  uint32_t frameLength = 0;
  uint32_t lineLength = 0;
  uint32_t shutter = 0;
  double lineTimeUs = 0;
  int gainCode = 0;
  bool highGain = false;
  int blackLevel = 0;
  bool waitsForTrigger = false;

  uint32_t exposureLines() const { return frameLength > shutter ? frameLength - shutter : 1; }
  double framePeriodUs() const { return frameLength * lineTimeUs; }
};

// The sensor's 8-bit registers with the behaviour of the few that are not plain storage.
class SensorRegisters {
 public:
  SensorRegisters() { reset(); }

  void reset();
  // The temperature value the chip's thermometer reads at this moment (12-bit raw).
  uint8_t read(uint16_t address, uint16_t liveTemperatureRaw) const;
  void write(uint16_t address, uint8_t value, uint16_t liveTemperatureRaw);
  uint8_t peek(uint16_t address) const { return regs_[address % sensor::kRegisterSpace]; }
  SensorSettings settings() const;

 private:
  uint32_t bytes(uint16_t first, int count) const;

  std::array<uint8_t, sensor::kRegisterSpace> regs_{};
  uint16_t latchedTemperature_ = 0;
};

// 12-bit two's complement in 1/8 degree.
uint16_t encodeTemperature(double celsius);
double decodeTemperature(uint16_t raw);

}  // namespace nivexa::sim
