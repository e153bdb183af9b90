#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <vector>

#include "transport/CControllerBase.h"

namespace nivexa::sensors::test {

// A controller double that models the camera's serial bus as the drivers see it: the FPGA's
// register file behind WriteFpgaRegister/ReadFpgaRegister, and the sensor at its bus address
// taking 16-bit big-endian register addresses (3-byte write; 2-byte address then 1-byte read
// from the read form of the address). Every access is traced in order.
class FakeController : public transport::CControllerBase {
 public:
  enum class Kind { FpgaWrite, FpgaRead, SensorWrite, SensorRead };
  struct Event {
    Kind kind;
    uint16_t address;
    uint8_t value;
    bool busHeld;  // FPGA bus request (0x9F) was set at the time
  };

  explicit FakeController(uint8_t sensorAddress = 72) : sensorAddress_(sensorAddress) {}

  int ReadFpgaVersion(uint16_t& version) override {
    std::lock_guard lock(mutex_);
    ++versionReads_;
    if (failVersion_) {
      return 0;
    }
    version = static_cast<uint16_t>(fpga_[0x11] << 8 | fpga_[0x10]);
    return 1;
  }

  int WriteFpgaRegister(uint8_t reg, uint8_t value) override {
    std::lock_guard lock(mutex_);
    trace_.push_back({Kind::FpgaWrite, reg, value, fpga_[0x9F] == 1});
    if (failFpgaWrites_) {
      return 0;
    }
    if (!stuckFpga_.contains(reg)) {
      fpga_[reg] = value;
    }
    return 1;
  }

  int ReadFpgaRegister(uint8_t reg, uint8_t& value) override {
    std::lock_guard lock(mutex_);
    if (reg == 0x02) {
      ++busPolls_;
      // The FPGA reports the bus busy for a while, or for good.
      value = (busBusyForever_ || busPolls_ <= busBusyPolls_) ? 1 : 0;
      return 1;
    }
    trace_.push_back({Kind::FpgaRead, reg, fpga_[reg], fpga_[0x9F] == 1});
    if (failFpgaReads_.contains(reg)) {
      return 0;
    }
    value = fpga_[reg];
    return 1;
  }

  int BusWrite(uint8_t device, std::span<const uint8_t> data) override {
    std::lock_guard lock(mutex_);
    if (device != sensorAddress_ || (data.size() != 2 && data.size() != 3)) {
      return 0;
    }
    const auto address = static_cast<uint16_t>(data[0] << 8 | data[1]);
    if (data.size() == 2) {
      pointer_ = address;
      return 1;
    }
    trace_.push_back({Kind::SensorWrite, address, data[2], fpga_[0x9F] == 1});
    if (failSensorWrites_.contains(address)) {
      return 0;
    }
    sensor_[address] = data[2];
    return 1;
  }

  int BusRead(uint8_t device, std::span<uint8_t> data) override {
    std::lock_guard lock(mutex_);
    if (device != (sensorAddress_ | 1) || data.size() != 1) {
      return 0;
    }
    trace_.push_back({Kind::SensorRead, pointer_, sensor_[pointer_], fpga_[0x9F] == 1});
    if (failSensorReads_.contains(pointer_)) {
      return 0;
    }
    data[0] = sensor_[pointer_];
    return 1;
  }

  // Test controls and inspection.
  std::array<uint8_t, 256> fpga_{};
  std::map<uint16_t, uint8_t> sensor_;
  std::set<uint8_t> stuckFpga_;  // writes to these registers are dropped
  std::set<uint8_t> failFpgaReads_;
  std::set<uint16_t> failSensorWrites_;
  std::set<uint16_t> failSensorReads_;
  bool failFpgaWrites_ = false;
  bool failVersion_ = false;
  bool busBusyForever_ = false;
  int busBusyPolls_ = 0;
  int busPolls_ = 0;
  int versionReads_ = 0;

  void setVersion(uint16_t version) {
    fpga_[0x10] = static_cast<uint8_t>(version & 0xFF);
    fpga_[0x11] = static_cast<uint8_t>(version >> 8);
  }
  void clear() { trace_.clear(); }
  const std::vector<Event>& trace() const { return trace_; }

  // Register writes in order: sensor writes as (address, value), FPGA writes as (reg, value)
  // without the bus request handshake.
  std::vector<std::pair<uint16_t, uint8_t>> sensorWrites() const {
    return select(Kind::SensorWrite);
  }
  std::vector<std::pair<uint16_t, uint8_t>> sensorReads() const { return select(Kind::SensorRead); }
  std::vector<std::pair<uint16_t, uint8_t>> fpgaWrites() const {
    std::vector<std::pair<uint16_t, uint8_t>> out;
    for (const Event& e : trace_) {
      if (e.kind == Kind::FpgaWrite && e.address != 0x9F) {
        out.emplace_back(e.address, e.value);
      }
    }
    return out;
  }

 private:
  std::vector<std::pair<uint16_t, uint8_t>> select(Kind kind) const {
    std::vector<std::pair<uint16_t, uint8_t>> out;
    for (const Event& e : trace_) {
      if (e.kind == kind) {
        out.emplace_back(e.address, e.value);
      }
    }
    return out;
  }

  std::mutex mutex_;
  uint8_t sensorAddress_;
  uint16_t pointer_ = 0;
  std::vector<Event> trace_;
};

}  // namespace nivexa::sensors::test
