#include "sim/Camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/EepromMap.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/Fx3FirmwareMap.h"
#include "sim/SensorRegisterMap.h"

namespace nivexa::sim {
namespace {

constexpr size_t kTraceLimit = 1u << 20;  // oldest half dropped beyond this
constexpr size_t kRequestTraceLimit = 1u << 18;
constexpr uint16_t kUncooledProductId = 0x33C0;
// Dark signal at 25 degrees per microsecond at unity gain; doubles every kDarkDoublingC.
constexpr double kDarkRateAt25 = 0.002;
constexpr double kDarkDoublingC = 6.0;
constexpr double kTemperatureStepC = 0.25;  // the image is re-rendered per step, not per drift
constexpr uint32_t kWrongLengthExtra = 4096;

void putU16(std::span<uint8_t> b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putU32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

uint32_t getU32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

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
  lastFrameAt_ = now;
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
      }
      break;
    case fpga::kFrameRestart:
      if (value & 1) {
        dropFrame();
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
    const Clock::time_point now = Clock::now();
    const bool in = setup.requestType & fx3::kDirectionIn;
    const uint32_t stage = std::min<uint32_t>(setup.length, static_cast<uint32_t>(data.size()));
    std::span<uint8_t> d = data.first(stage);
    auto needIn = [&](bool wantIn) { return wantIn == in; };
    bool ok = false;
    if (in) {
      std::fill(d.begin(), d.end(), uint8_t{0});
    }
    switch (setup.request) {
      case fx3::kBusWrite:
        ok = needIn(false) && setup.value <= fx3::kMaxBusTransfer && setup.value <= stage &&
             busWrite(static_cast<uint8_t>(setup.index & 0xFE), d.first(setup.value), now);
        break;
      case fx3::kBusRead:
        ok = needIn(true) && setup.value <= fx3::kMaxBusTransfer && setup.value <= stage &&
             busRead(static_cast<uint8_t>(setup.index & 0xFE), d.first(setup.value), now);
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
        }
        break;
      case fx3::kRequestFrame:
        ok = needIn(false);
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
        ok = needIn(false);
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

void Camera::dropFrame() {
  armed_ = false;
  stage_ = Stage::Idle;
}

Camera::Exposure Camera::freeRunExposure(const SensorSettings& s) const {
  Exposure e;
  e.lines = s.exposureLines();
  e.us = e.lines * s.lineTimeUs + sensor::kExposureOffsetUs;
  return e;
}

void Camera::armFrame(Clock::time_point now) {
  dropFrame();
  armed_ = true;
  if (options_.pacing == Pacing::Fast) {
    readyAt_ = now;
    return;
  }
  // The sensor runs continuously; a request gets the next frame that completes.
  SensorSettings s = sensor_.settings();
  auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::micro>(std::max(1.0, s.framePeriodUs())));
  Clock::time_point next = lastFrameAt_ + period;
  if (next < now) {
    auto behind = (now - lastFrameAt_) / period;
    next = lastFrameAt_ + (behind + 1) * period;
  }
  readyAt_ = next;
}

ImageSettings Camera::imageSettingsLocked(const Exposure& exposure, Clock::time_point now) {
  SensorSettings s = sensor_.settings();
  ImageSettings im;
  im.readout = s.readout;
  im.arrayX = s.arrayX;
  im.arrayY = s.arrayY;
  im.outWidth = s.outWidth;
  im.outHeight = s.outHeight;
  im.mirrorH = s.mirrorH;
  im.mirrorV = s.mirrorV;
  double gain =
      std::pow(10.0, s.gainCode * 0.1 / 20.0) * (s.highGain ? sensor::kHighGainFactor : 1);
  im.gain = gain;
  im.signalScale = exposure.us * gain;
  double t = std::round(thermal_.temperature(now) / kTemperatureStepC) * kTemperatureStepC;
  im.darkDn = kDarkRateAt25 * std::exp2((t - 25.0) / kDarkDoublingC) * exposure.us * gain;
  im.blackLevel = s.blackLevel;
  im.width = std::min(fpga_[fpga::kWidthLow] | (fpga_[fpga::kWidthHigh] << 8), fpga::kMaxCut);
  im.height = std::min(fpga_[fpga::kHeightLow] | (fpga_[fpga::kHeightHigh] << 8), fpga::kMaxCut);
  im.sixteenBit = fpga_[fpga::kOutputDepth] == fpga::kDepth16;
  int expected = s.readout == 0
                     ? (s.mirrorH ? fpga::kLineStartMirrored : fpga::kLineStartNormal)
                     : (s.mirrorH ? fpga::kLineStartHalfMirrored : fpga::kLineStartHalfNormal);
  im.lineShift = (fpga_[fpga::kLineStart] | (fpga_[fpga::kLineStartHigh] << 8)) - expected;
  im.correctDefects = (options_.fpgaVersion & 0x8000) && (fpga_[fpga::kCorrectionControl] & 1);
  im.scene = scene_;
  return im;
}

void Camera::setScene(Illumination scene) {
  std::lock_guard lock(mutex_);
  scene_ = scene;
}

ImageSettings Camera::imageSettings() {
  std::lock_guard lock(mutex_);
  return imageSettingsLocked(freeRunExposure(sensor_.settings()), Clock::now());
}

void Camera::startFrame(const Exposure& exposure, Clock::time_point now) {
  ImageSettings im = imageSettingsLocked(exposure, now);
  uint32_t length = im.payloadBytes();
  payload_.resize(length);
  renderer_.render(im, frameCount_, payload_);
  header_.fill(0);
  std::span<uint8_t> h(header_);
  putU16(h, fx3::kHeaderWidth, static_cast<uint16_t>(im.width));
  putU16(h, fx3::kHeaderHeight, static_cast<uint16_t>(im.height));
  h[fx3::kHeaderBits] = im.sixteenBit ? 16 : 8;
  bool wrongLength = consumeFault(Fault::WrongPayloadLength);
  putU32(h, fx3::kHeaderPayloadLength, length + (wrongLength ? kWrongLengthExtra : 0));
  putU32(h, fx3::kHeaderExposureLines, exposure.lines);
  putU32(h, fx3::kHeaderFrameCounter, frameCount_);
  putU32(h, fx3::kHeaderExposureUs, static_cast<uint32_t>(std::lround(exposure.us)));
  putU32(h, fx3::kHeaderTemperature, temperatureRaw(now));
  payloadSent_ = 0;
  payloadCut_ = length > 0 && consumeFault(Fault::ShortRead);
  payloadToSend_ = payloadCut_ ? length / 2 : length;
  stage_ = Stage::Header;
}

Camera::BulkResult Camera::bulk(uint8_t endpoint, std::span<uint8_t> buffer) {
  BulkResult r;
  std::lock_guard lock(mutex_);
  if (!plugged_) {
    r.status = BulkStatus::Gone;
    return r;
  }
  if (!(endpoint & fx3::kDirectionIn)) {
    // Memory commands of other products of the family: accepted and ignored.
    r.status = BulkStatus::Done;
    r.bytes = static_cast<uint32_t>(buffer.size());
    return r;
  }
  if (endpoint != fx3::kFrameEndpoint) {
    return r;  // nothing ever comes on other IN endpoints
  }
  const Clock::time_point now = Clock::now();
  if (consumeFault(Fault::UsbStatus)) {
    r.status = BulkStatus::Done;
    r.usbStatus = fx3::kUsbStatusStall;
    return r;
  }
  if (stage_ == Stage::Idle) {
    if (!armed_) {
      return r;
    }
    SensorSettings s = sensor_.settings();
    if (s.standby) {
      return r;
    }
    Exposure exposure;
    if (s.waitsForTrigger) {
      if (!triggered_) {
        return r;
      }
      exposure = *triggered_;
    } else {
      exposure = freeRunExposure(s);
      exposure.readyAt = readyAt_;
    }
    if (now < exposure.readyAt) {
      r.retryAt = exposure.readyAt;
      return r;
    }
    armed_ = false;
    if (s.waitsForTrigger) {
      triggered_.reset();
    } else {
      lastFrameAt_ = exposure.readyAt;
      ++frameCount_;
    }
    if (consumeFault(Fault::HeaderTimeout)) {
      stage_ = Stage::Stalled;
      return r;
    }
    startFrame(exposure, now);
  }
  switch (stage_) {
    case Stage::Header: {
      uint32_t n = std::min<uint32_t>(fx3::kFrameHeaderSize, static_cast<uint32_t>(buffer.size()));
      std::memcpy(buffer.data(), header_.data(), n);
      stage_ = consumeFault(Fault::PayloadTimeout) ? Stage::Stalled : Stage::Payload;
      if (stage_ == Stage::Payload && payloadToSend_ == 0) {
        stage_ = payloadCut_ ? Stage::ShortPacket : Stage::Idle;
      }
      r.status = BulkStatus::Done;
      r.bytes = n;
      return r;
    }
    case Stage::Payload: {
      uint32_t n =
          std::min<uint32_t>(payloadToSend_ - payloadSent_, static_cast<uint32_t>(buffer.size()));
      std::memcpy(buffer.data(), payload_.data() + payloadSent_, n);
      payloadSent_ += n;
      if (payloadSent_ == payloadToSend_) {
        // A cut frame ends with a short packet. When the cut falls exactly on the end of this
        // transfer, the host got all it asked for, and the short packet (of zero length) ends
        // the next transfer instead; otherwise this one already came back short.
        const bool filled = n == buffer.size();
        stage_ = payloadCut_ && filled ? Stage::ShortPacket : Stage::Idle;
      }
      r.status = BulkStatus::Done;
      r.bytes = n;
      return r;
    }
    case Stage::ShortPacket:
      stage_ = Stage::Idle;
      r.status = BulkStatus::Done;
      r.bytes = 0;
      return r;
    default:
      return r;  // stalled: data never comes
  }
}

bool Camera::fireTrigger() {
  {
    std::lock_guard lock(mutex_);
    SensorSettings s = sensor_.settings();
    if (!plugged_ || s.standby || !s.waitsForTrigger ||
        fpga_[fpga::kTriggerControl] != fpga::kTriggerOn) {
      return false;
    }
    // In trigger mode the FPGA times the exposure from its own copy of the exposure lines.
    Exposure e;
    e.lines = fpga_[fpga::kExposureLinesLow] | (fpga_[fpga::kExposureLinesMid] << 8) |
              (fpga_[fpga::kExposureLinesHigh] << 16);
    e.us = e.lines * s.lineTimeUs + sensor::kExposureOffsetUs;
    Clock::time_point now = Clock::now();
    e.readyAt = now;
    if (options_.pacing == Pacing::Real) {
      e.readyAt += std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double, std::micro>(e.us + s.framePeriodUs()));
    }
    triggered_ = e;
    ++frameCount_;
  }
  notify();
  return true;
}

void Camera::resetPipe(uint8_t /*endpoint*/) {}

void Camera::resetPort() {
  {
    std::lock_guard lock(mutex_);
    dropFrame();
  }
  notify();
}

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

void Camera::recordRequest(const DriverRequest& request) {
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

uint32_t Camera::frameCount() const {
  std::lock_guard lock(mutex_);
  return frameCount_;
}

}  // namespace nivexa::sim
