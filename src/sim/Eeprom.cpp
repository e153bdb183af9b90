#include "sim/Eeprom.h"

#include "sim/EepromMap.h"

namespace nivexa::sim {

Eeprom::Eeprom(const std::string& serial) : memory_(eeprom::kSize, eeprom::kErased) {
  for (size_t i = 0; i < serial.size() && i < eeprom::kSerialNumberMax; ++i) {
    memory_[eeprom::kSerialNumber + i] = static_cast<uint8_t>(serial[i]);
  }
}

bool Eeprom::write(std::span<const uint8_t> bytes, Clock::time_point now, bool failWrites) {
  if (now < busyUntil_ || bytes.size() < 2) {
    return false;
  }
  uint16_t address = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  if (bytes.size() > 2 && failWrites) {
    return false;
  }
  pointer_ = address;
  for (size_t i = 2; i < bytes.size(); ++i) {
    memory_[pointer_] = bytes[i];
    pointer_ = static_cast<uint16_t>(pointer_ + 1);
  }
  if (bytes.size() > 2) {
    busyUntil_ = now + std::chrono::microseconds(eeprom::kWriteCycleUs);
  }
  return true;
}

bool Eeprom::read(std::span<uint8_t> out, Clock::time_point now) {
  if (now < busyUntil_) {
    return false;
  }
  for (auto& b : out) {
    b = memory_[pointer_];
    pointer_ = static_cast<uint16_t>(pointer_ + 1);
  }
  return true;
}

}  // namespace nivexa::sim
