#include "sim/Camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/EepromMap.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/Fx3FirmwareMap.h"
#include "sim/LittleEndian.h"
#include "sim/SensorRegisterMap.h"

namespace nivexa::sim {
namespace {

constexpr size_t kTraceLimit = 1u << 20;  // oldest half dropped beyond this
constexpr size_t kRequestTraceLimit = 1u << 18;
constexpr uint16_t kUncooledProductId = 0x33C0;

}  // namespace

Camera::Camera(CameraOptions options)
    : options_(std::move(options)),
      scene_(options_.scene),
      created_(Clock::now()),
      eeprom_(options_.serial),
      thermal_(options_.ambientC, options_.cooledC, options_.thermalScale, created_),
      renderer_(options_.noise, options_.seed) {
  powerUp(created_);
}

Camera::~Camera() {
  {
    std::lock_guard lock(mutex_);
    clockStop_ = true;
  }
  sensorWake_.notify_all();
  sensorClock_.join();
}

void Camera::powerUp(Clock::time_point now) {
  fpga_.fill(0);
  fpga_[fpga::kOutputDepth] = 1;
  fpga_[fpga::kWidthLow] = fpga::kPowerUpWidth & 0xFF;
  fpga_[fpga::kWidthHigh] = fpga::kPowerUpWidth >> 8;
  fpga_[fpga::kHeightLow] = fpga::kPowerUpHeight & 0xFF;
  fpga_[fpga::kHeightHigh] = fpga::kPowerUpHeight >> 8;
  fpga_[fpga::kOutputFormat] = fpga::kPowerUpFormat;
  fpga_[fpga::kLineStart] = fpga::kLineStartNormal;
  fpgaPointer_ = 0;
  sensor_.reset();
  sensorPointer_ = 0;
  aux_.fill(0);
  auxPointer_ = 0;
  controlByte_ = 0;
  sensorWords_.clear();
  registers32_.clear();
  thermal_.reset(now);
  frameCount_ = 0;
  armed_ = false;
  triggered_.reset();
  stage_ = Stage::Idle;
  ++frameEpoch_;
  lastFrameAt_ = now;
  finished_.valid = false;
}

bool Camera::hasCooler() const {
  return options_.productId != kUncooledProductId;
}

bool Camera::plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

uint64_t Camera::generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

bool Camera::consumeFault(Fault fault) {
  int& count = faults_[static_cast<int>(fault)];
  if (count == 0) {
    return false;
  }
  if (count > 0) {
    --count;
  }
  return true;
}

void Camera::record(uint8_t device, bool write, uint16_t address, uint8_t value, bool granted) {
  if (trace_.size() >= kTraceLimit) {
    trace_.erase(trace_.begin(), trace_.begin() + kTraceLimit / 2);
  }
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - created_);
  trace_.push_back({device, write, address, value, static_cast<uint64_t>(us.count()), granted});
}

uint16_t Camera::temperatureRaw(Clock::time_point now) {
  return encodeTemperature(thermal_.temperature(now));
}

// ---------------------------------------------------------------- serial bus

uint8_t Camera::readFpga(uint8_t reg, Clock::time_point now) {
  switch (reg) {
    case fpga::kBusState:
      return consumeFault(Fault::BusBusy) ? fpga::kBusStateBusy : 0;
    case fpga::kFrameCounter:
      return static_cast<uint8_t>(frameCount_);
    case fpga::kVersionLow:
      return static_cast<uint8_t>(options_.fpgaVersion);
    case fpga::kVersionHigh:
      return static_cast<uint8_t>(options_.fpgaVersion >> 8);
    case fpga::kTemperatureLow:
      return static_cast<uint8_t>(temperatureRaw(now));
    case fpga::kTemperatureHigh:
      return static_cast<uint8_t>((temperatureRaw(now) >> 8) & 0x0F);
    default:
      return fpga_[reg];
  }
}

void Camera::writeFpga(uint8_t reg, uint8_t value, Clock::time_point now) {
  switch (reg) {
    case fpga::kBusState:
    case fpga::kFrameCounter:
    case fpga::kVersionLow:
    case fpga::kVersionHigh:
    case fpga::kTemperatureLow:
    case fpga::kTemperatureHigh:
      return;  // read only
    case fpga::kCooler:
      thermal_.setCooler(hasCooler() && (value & 1), now);
      break;
    case fpga::kStreamReset:
      if (value == fpga::kStreamResetFlush) {
        dropFrame();
        finished_.valid = false;
      }
      break;
    case fpga::kFrameRestart:
      if (value & 1) {
        dropFrame();
        finished_.valid = false;
      }
      break;
    default:
      break;
  }
  fpga_[reg] = value;
}

bool Camera::busWrite(uint8_t device, std::span<const uint8_t> bytes, Clock::time_point now) {
  switch (device) {
    case fx3::kFpgaAddress: {
      if (bytes.empty()) {
        return false;
      }
      if (bytes.size() > 1 && consumeFault(Fault::FpgaWriteFail)) {
        return false;
      }
      fpgaPointer_ = bytes[0];
      // Register number, then 16-bit big-endian words for consecutive registers.
      for (size_t i = 1; i + 1 < bytes.size(); i += 2) {
        uint8_t value = bytes[i + 1];
        record(device, true, fpgaPointer_, value);
        writeFpga(fpgaPointer_, value, now);
        ++fpgaPointer_;
      }
      return true;
    }
    case fx3::kSensorAddress: {
      if (bytes.size() < 2 || faults_[static_cast<int>(Fault::BusBusy)] != 0) {
        return false;
      }
      sensorPointer_ = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
      bool granted = fpga_[fpga::kBusRequest] == 1;
      for (size_t i = 2; i < bytes.size(); ++i) {
        record(device, true, sensorPointer_, bytes[i], granted);
        sensor_.write(sensorPointer_, bytes[i], temperatureRaw(now));
        ++sensorPointer_;
      }
      return true;
    }
    case fx3::kAuxAddress: {
      if (bytes.empty()) {
        return false;
      }
      auxPointer_ = bytes[0];
      for (size_t i = 1; i < bytes.size(); ++i) {
        record(device, true, auxPointer_, bytes[i]);
        aux_[auxPointer_++] = bytes[i];
      }
      return true;
    }
    case fx3::kEepromAddress: {
      bool fail = bytes.size() > 2 && consumeFault(Fault::EepromWriteFail);
      if (!eeprom_.write(bytes, now, fail)) {
        return false;
      }
      for (size_t i = 2; i < bytes.size(); ++i) {
        record(device, true, static_cast<uint16_t>(eeprom_.pointer() - (bytes.size() - i)),
               bytes[i]);
      }
      return true;
    }
    default:
      return false;  // nobody acknowledges
  }
}

bool Camera::busRead(uint8_t device, std::span<uint8_t> out, Clock::time_point now) {
  switch (device) {
    case fx3::kFpgaAddress:
      if (consumeFault(Fault::FpgaReadFail)) {
        return false;
      }
      // Each register answers as a big-endian word: high byte 0, then the value.
      for (size_t i = 0; i < out.size(); i += 2) {
        uint8_t value = readFpga(fpgaPointer_, now);
        record(device, false, fpgaPointer_, value);
        out[i] = 0;
        if (i + 1 < out.size()) {
          out[i + 1] = value;
        }
        ++fpgaPointer_;
      }
      return true;
    case fx3::kSensorAddress: {
      if (faults_[static_cast<int>(Fault::BusBusy)] != 0) {
        return false;
      }
      bool granted = fpga_[fpga::kBusRequest] == 1;
      for (auto& b : out) {
        b = sensor_.read(sensorPointer_, temperatureRaw(now));
        record(device, false, sensorPointer_, b, granted);
        ++sensorPointer_;
      }
      return true;
    }
    case fx3::kAuxAddress:
      for (auto& b : out) {
        b = aux_[auxPointer_];
        record(device, false, auxPointer_++, b);
      }
      return true;
    case fx3::kEepromAddress: {
      uint16_t first = eeprom_.pointer();
      if (!eeprom_.read(out, now)) {
        return false;
      }
      for (size_t i = 0; i < out.size(); ++i) {
        record(device, false, static_cast<uint16_t>(first + i), out[i]);
      }
      return true;
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------- endpoint 0

Camera::ControlResult Camera::control(const ControlSetup& setup, std::span<uint8_t> data) {
  ControlResult result;
  {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
      return result;
    }
    if (consumeFault(Fault::ControlTimeout)) {
      result.answered = false;
      return result;
    }
    const Clock::time_point now = Clock::now();
    const bool in = setup.requestType & fx3::kDirectionIn;
    const uint32_t stage = std::min<uint32_t>(setup.length, static_cast<uint32_t>(data.size()));
    std::span<uint8_t> d = data.first(stage);
    // The firmware stalls a request whose type is not exactly the one it serves that request
    // with: direction, type and recipient all count.
    auto needIn = [&](bool wantIn) {
      return setup.requestType == (wantIn ? fx3::kTypeVendorIn : fx3::kTypeVendorOut);
    };
    auto toEndpoint = [&] { return setup.requestType == fx3::kTypeVendorOutEndpoint; };
    // Serial-bus addresses travel in the index: the write form with bit 0 clear, the read form
    // with it set; the high byte is not part of any address.
    auto busAddress = [&](bool read) {
      return setup.index <= 0xFF && ((setup.index & fx3::kBusReadBit) != 0) == read;
    };
    bool ok = false;
    if (in) {
      std::fill(d.begin(), d.end(), uint8_t{0});
    }
    switch (setup.request) {
      case fx3::kBusWrite:
        ok = needIn(false) && busAddress(false) && setup.value <= fx3::kMaxBusTransfer &&
             setup.value <= stage &&
             busWrite(static_cast<uint8_t>(setup.index), d.first(setup.value), now);
        break;
      case fx3::kBusRead:
        ok = needIn(true) && busAddress(true) && setup.value <= fx3::kMaxBusTransfer &&
             setup.value <= stage &&
             busRead(static_cast<uint8_t>(setup.index & ~fx3::kBusReadBit), d.first(setup.value),
                     now);
        break;
      case fx3::kWriteControlByte:
        ok = needIn(false) && stage >= 4;
        if (ok) {
          controlByte_ = getU32(d, 0);
        }
        break;
      case fx3::kReadControlByte:
        ok = needIn(true) && stage >= 1;
        if (ok) {
          d[0] = static_cast<uint8_t>(controlByte_);
        }
        break;
      case fx3::kWriteSensorWord:
        ok = needIn(false) && stage >= 4;
        if (ok) {
          sensorWords_[static_cast<uint16_t>((d[0] << 8) | d[1])] =
              static_cast<uint16_t>((d[2] << 8) | d[3]);
        }
        break;
      case fx3::kReadSensorWord:
        ok = needIn(true) && stage >= 2;
        if (ok) {
          putU16(d, 0, sensorWords_[setup.value]);
        }
        break;
      case fx3::kDeviceInfo:
        ok = needIn(true) && stage >= fx3::kControlBufferSize;
        if (ok) {
          putU16(d, fx3::kInfoVendorId, options_.vendorId);
          putU16(d, fx3::kInfoProductId, options_.productId);
          putU16(d, fx3::kInfoFirmwareVersion, options_.firmwareVersion);
          d[fx3::kInfoGpio25] = 1;
        }
        break;
      case fx3::kExtendedInfo:
        ok = needIn(true) && stage >= fx3::kControlBufferSize;
        if (ok) {
          putU16(d, fx3::kExtFpgaVersion, options_.fpgaVersion);
          std::memcpy(d.data() + fx3::kExtSerial, options_.serial.data(),
                      std::min<size_t>(options_.serial.size(), 32));
        }
        break;
      case fx3::kStartStream:
        ok = needIn(false);
        if (ok) {
          dropFrame();
          finished_.valid = false;
          if (sensorRunsFreely(sensor_.settings())) {
            runSensorClock(now);
          }
        }
        break;
      case fx3::kRequestFrame:
        ok = toEndpoint();
        if (ok) {
          armFrame(now);
        }
        break;
      case fx3::kStatusByte:
        ok = needIn(true) && stage >= 1;
        if (ok) {
          d[0] = fx3::kStatusFpgaReady;
        }
        break;
      case fx3::kEndpointCommand:
        ok = toEndpoint();
        break;
      case fx3::kWriteRegister32:
        ok = needIn(false) && stage >= 4;
        if (ok) {
          uint16_t address =
              static_cast<uint16_t>(((setup.value & 1) << 15) | (setup.index & 0x7FFF));
          registers32_[address] = getU32(d, 0);
        }
        break;
      case fx3::kReadRegister16:
        ok = needIn(true) && stage >= 2;
        if (ok) {
          putU16(d, 0, static_cast<uint16_t>(registers32_[setup.index]));
        }
        break;
      default:
        break;
    }
    result.ok = ok;
    // The firmware always moves its whole endpoint-0 buffer.
    result.count = ok ? stage : 0;
  }
  notify();
  return result;
}

// ---------------------------------------------------------------- frames

// ---------------------------------------------------------------- controls

int Camera::addListener(std::function<void()> listener) {
  std::lock_guard lock(listenerMutex_);
  int id = nextListener_++;
  listeners_[id] = std::move(listener);
  return id;
}

void Camera::removeListener(int id) {
  std::lock_guard lock(listenerMutex_);
  listeners_.erase(id);
}

void Camera::notify() {
  std::lock_guard lock(listenerMutex_);
  for (auto& [id, listener] : listeners_) {
    listener();
  }
}

void Camera::unplug() {
  {
    std::lock_guard lock(mutex_);
    plugged_ = false;
  }
  notify();
}

void Camera::replug() {
  {
    std::lock_guard lock(mutex_);
    if (plugged_) {
      return;
    }
    plugged_ = true;
    ++generation_;
    powerUp(Clock::now());
  }
  notify();
}

void Camera::setFault(Fault fault, int count) {
  {
    std::lock_guard lock(mutex_);
    faults_[static_cast<int>(fault)] = count;
  }
  notify();
}

void Camera::clearFaults() {
  {
    std::lock_guard lock(mutex_);
    faults_.fill(0);
  }
  notify();
}

std::vector<TraceEntry> Camera::trace() const {
  std::lock_guard lock(mutex_);
  return trace_;
}

void Camera::clearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

void Camera::recordRequest(DriverRequest request) {
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - created_);
  request.timeUs = static_cast<uint64_t>(us.count());
  std::lock_guard lock(mutex_);
  if (requests_.size() >= kRequestTraceLimit) {
    requests_.erase(requests_.begin(), requests_.begin() + kRequestTraceLimit / 2);
  }
  requests_.push_back(request);
}

std::vector<DriverRequest> Camera::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void Camera::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

double Camera::sensorTemperature() {
  std::lock_guard lock(mutex_);
  return thermal_.temperature(Clock::now());
}

uint8_t Camera::fpgaRegister(uint8_t reg) const {
  std::lock_guard lock(mutex_);
  return fpga_[reg];
}

uint8_t Camera::sensorRegister(uint16_t address) const {
  std::lock_guard lock(mutex_);
  return sensor_.peek(address);
}

uint8_t Camera::eepromByte(uint16_t address) const {
  std::lock_guard lock(mutex_);
  return eeprom_.peek(address);
}

Camera::Delivery Camera::lastDelivery() const {
  std::lock_guard lock(mutex_);
  return lastDelivery_;
}

uint32_t Camera::unrenderedFrames() const {
  std::lock_guard lock(mutex_);
  return unrendered_;
}

double Camera::framePeriodUs() const {
  std::lock_guard lock(mutex_);
  return sensor_.settings().framePeriodUs();
}

uint32_t Camera::frameCount() const {
  std::lock_guard lock(mutex_);
  return frameCount_;
}

}  // namespace nivexa::sim
