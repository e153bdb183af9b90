#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nivexa::sim {

// Serial EEPROM with a 16-bit address pointer that advances with every byte, and a write cycle
// during which it does not acknowledge. Contents survive unplugging.
class Eeprom {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Eeprom(const std::string& serial);

  // A bus write: two address bytes, then data to program. False when not acknowledged.
  bool write(std::span<const uint8_t> bytes, Clock::time_point now, bool failWrites);
  bool read(std::span<uint8_t> out, Clock::time_point now);
  uint16_t pointer() const { return pointer_; }
  uint8_t peek(uint16_t address) const { return memory_[address]; }

 private:
  std::vector<uint8_t> memory_;
  uint16_t pointer_ = 0;
  Clock::time_point busyUntil_{};
};

}  // namespace nivexa::sim
