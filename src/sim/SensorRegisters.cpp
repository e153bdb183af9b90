#include "sim/SensorRegisters.h"

#include <algorithm>
#include <cmath>

namespace nivexa::sim {

using namespace sensor;

uint16_t encodeTemperature(double celsius) {
  long steps = std::lround(celsius / kTemperatureLsbC);
  steps = std::clamp(steps, -2048L, 2047L);
  return static_cast<uint16_t>(steps & 0xFFF);
}

double decodeTemperature(uint16_t raw) {
  int value = raw & 0xFFF;
  if (value & 0x800) {
    value -= 0x1000;
  }
  return value * kTemperatureLsbC;
}

void SensorRegisters::reset() {
  regs_.fill(0);
  auto put = [this](uint16_t first, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      regs_[first + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  };
  regs_[kFeatureSwitch] = kFeatureSwitchOff;
  put(kFrameLength0, kPowerUpFrameLength, 3);
  put(kLineLength0, kPowerUpLineLength, 2);
  put(kWindowWidth, kArrayWidth, 2);
  put(kWindowHeight, kArrayHeight, 2);
  regs_[kReadoutControl] = kPowerUpReadoutControl;
  regs_[kDriveControl0] = kPowerUpDriveControl;
  put(kShutter0, kPowerUpShutter, 3);
  put(kBlackLevelLow, kPowerUpBlackLevel, 2);
  latchedTemperature_ = 0;
}

uint8_t SensorRegisters::read(uint16_t address, uint16_t liveTemperatureRaw) const {
  address %= kRegisterSpace;
  switch (address) {
    case kTemperatureLow:
    case kTemperatureHigh: {
      uint16_t raw = (regs_[kTemperatureLatch] & 1) ? latchedTemperature_ : liveTemperatureRaw;
      return address == kTemperatureLow ? static_cast<uint8_t>(raw & 0xFF)
                                        : static_cast<uint8_t>((raw >> 8) & 0x0F);
    }
    case kFeatureSwitchReadback:
      return regs_[kFeatureSwitch];
    case kFeatureEnableReadback:
      return regs_[kFeatureEnable];
    default:
      return regs_[address];
  }
}

void SensorRegisters::write(uint16_t address, uint8_t value, uint16_t liveTemperatureRaw) {
  address %= kRegisterSpace;
  switch (address) {
    case kTemperatureLow:
    case kTemperatureHigh:
    case kFeatureSwitchReadback:
    case kFeatureEnableReadback:
      return;  // read only
    case kTemperatureLatch:
      if ((value & 1) && !(regs_[kTemperatureLatch] & 1)) {
        latchedTemperature_ = liveTemperatureRaw;
      }
      break;
    default:
      break;
  }
  regs_[address] = value;
}

uint32_t SensorRegisters::bytes(uint16_t first, int count) const {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = (value << 8) | regs_[first + i];
  }
  return value;
}

SensorSettings SensorRegisters::settings() const {
  SensorSettings s;
  s.standby = regs_[kStandby] & 1;
  auto windowValue = [this](uint16_t reg) { return regs_[reg] | ((regs_[reg + 1] & 0x1F) << 8); };
  if (regs_[kReadoutSelect] == kReadoutSelectBinned) {
    s.readout = 1;
  } else if (regs_[kReadoutControl] == kReadoutControlSubsampled) {
    s.readout = 17;
  }
  if (s.readout != 0) {
    s.outWidth = kArrayWidth / 2;
    s.outHeight = kArrayHeight / 2;
  } else {
    if (regs_[kCrop] & 1) {
      s.arrayX = std::min(windowValue(kWindowX), kArrayWidth);
      s.outWidth = std::min(windowValue(kWindowWidth), kArrayWidth - s.arrayX);
    }
    if (regs_[kCrop] & 2) {
      s.arrayY = std::min(windowValue(kWindowY), kArrayHeight);
      s.outHeight = std::min(windowValue(kWindowHeight), kArrayHeight - s.arrayY);
    }
  }
  s.mirrorV = regs_[kMirror] & 1;
  s.mirrorH = regs_[kMirror] & 2;
  s.frameLength = bytes(kFrameLength0, 3);
  s.lineLength = bytes(kLineLength0, 2);
  s.shutter = bytes(kShutter0, 3);
  s.lineTimeUs = s.lineLength / kBaseLineLength * kLineTimeAtBaseUs;
  s.gainCode = std::min<int>(regs_[kGainLow] | ((regs_[kGainHigh] & 1) << 8), kMaxGainCode);
  s.highGain = regs_[kGainMode] & 1;
  s.blackLevel = regs_[kBlackLevelLow] | ((regs_[kBlackLevelHigh] & 0x0F) << 8);
  s.waitsForTrigger =
      regs_[kTriggerInput] == 1 && (regs_[kDriveControl0] & kDriveModeMask) == kDriveModeTriggered;
  return s;
}

}  // namespace nivexa::sim
