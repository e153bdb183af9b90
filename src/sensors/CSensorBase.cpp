#include "sensors/CSensorBase.h"

#include <array>
#include <cstring>

#include "platform/Clock.h"
#include "sensors/FpgaRegisters.h"
#include "sensors/Imx99xRegisters.h"

namespace nivexa::sensors {

namespace {

uint8_t byteOf(int64_t value, int index) {
  return static_cast<uint8_t>((value >> (8 * index)) & 0xFF);
}

template <typename T>
int outField(T* out, T field, int supported) {
  if (out != nullptr) {
    *out = field;
  }
  return supported;
}

}  // namespace

CSensorBase::CSensorBase(transport::CControllerBase* controller, uint8_t deviceAddress)
    : controller_(controller), deviceAddress_(deviceAddress) {}

CSensorBase::~CSensorBase() = default;

int CSensorBase::SetVariant(int code) {
  variant_ = code;
  return 1;
}

int CSensorBase::GetBlackLevel(int* value) {
  return outField(value, info_.blackLevelCurrent, info_.blackLevelSupported);
}
int CSensorBase::GetBlackLevelMin(int* value) {
  return outField(value, info_.blackLevelMin, info_.blackLevelSupported);
}
int CSensorBase::GetBlackLevelMax(int* value) {
  return outField(value, info_.blackLevelMax, info_.blackLevelSupported);
}
int CSensorBase::GetBlackLevelDefault(int* value) {
  return outField(value, info_.blackLevelDefault, info_.blackLevelSupported);
}
int CSensorBase::GetFeatureSwitch(int* on) {
  return outField(on, info_.featureCurrent, info_.featureSupported);
}
int CSensorBase::GetFifthParameterMin(int* value) {
  return outField(value, info_.fifthMin, info_.fifthSupported);
}
int CSensorBase::GetFifthParameterMax(int* value) {
  return outField(value, info_.fifthMax, info_.fifthSupported);
}
int CSensorBase::GetFifthParameterDefault(int* value) {
  return outField(value, info_.fifthDefault, info_.fifthSupported);
}
int CSensorBase::GetFifthParameterCurrent(int* value) {
  return outField(value, info_.fifthCurrent, info_.fifthSupported);
}
int CSensorBase::GetExposureSecondsMin(double* seconds) {
  return outField(seconds, info_.secondsMin, info_.secondsSupported);
}
int CSensorBase::GetExposureSecondsMax(double* seconds) {
  return outField(seconds, info_.secondsMax, info_.secondsSupported);
}
int CSensorBase::GetExposureSecondsDefault(double* seconds) {
  return outField(seconds, info_.secondsDefault, info_.secondsSupported);
}
int CSensorBase::GetExposureSecondsCurrent(double* seconds) {
  return outField(seconds, info_.secondsCurrent, info_.secondsSupported);
}

int CSensorBase::CopySensorInfo(SensorInfo* out) {
  if (out == nullptr) {
    return 0;
  }
  std::memcpy(out, &info_, sizeof(SensorInfo));
  return 1;
}

int CSensorBase::WriteFpga(uint8_t reg, uint8_t value) {
  return controller_ != nullptr && controller_->WriteFpgaRegister(reg, value) ? 1 : 0;
}

int CSensorBase::ReadFpga(uint8_t reg, uint8_t* value) {
  if (controller_ == nullptr || value == nullptr) {
    return 0;
  }
  return controller_->ReadFpgaRegister(reg, *value) ? 1 : 0;
}

int CSensorBase::VerifiedFpgaWrite(uint8_t reg, uint8_t value) {
  if (controller_ == nullptr) {
    return 0;
  }
  for (int attempt = 0; attempt < fpga::kVerifiedWriteAttempts; ++attempt) {
    controller_->WriteFpgaRegister(reg, value);
    platform::sleepMs(fpga::kVerifyDelayMs);
    uint8_t readBack = 0;
    if (controller_->ReadFpgaRegister(reg, readBack) && readBack == value) {
      return 1;
    }
    platform::sleepMs(fpga::kVerifyDelayMs);
  }
  return 0;
}

uint16_t CSensorBase::FpgaVersion() {
  if (fpgaVersion_ != 0 || controller_ == nullptr) {
    return fpgaVersion_;
  }
  for (int attempt = 0; attempt < fpga::kVersionReadAttempts; ++attempt) {
    if (attempt > 0) {
      platform::sleepMs(fpga::kVersionRetryMs);
    }
    uint16_t version = 0;
    if (controller_->ReadFpgaVersion(version) && version != 0) {
      fpgaVersion_ = version;
      break;
    }
  }
  return fpgaVersion_;
}

int CSensorBase::RestartFpgaFrame() {
  if (restartEnable_ == 0) {
    return 1;
  }
  platform::TimerPeriodGuard period;
  const int raised = WriteFpga(fpga::kFrameRestart, 1);
  platform::sleepMs(fpga::kRestartPulseMs);
  const int lowered = WriteFpga(fpga::kFrameRestart, 0);
  platform::sleepMs(fpga::kRestartPulseMs);
  return raised && lowered ? 1 : 0;
}

int CSensorBase::RawWrite(uint16_t address, uint8_t value) {
  if (controller_ == nullptr) {
    return 0;
  }
  const std::array<uint8_t, 3> bytes{byteOf(address, 1), byteOf(address, 0), value};
  platform::CriticalSectionGuard guard(registerLock_);
  return controller_->BusWrite(deviceAddress_, bytes) ? 1 : 0;
}

int CSensorBase::RawRead(uint16_t address, uint8_t* value) {
  if (controller_ == nullptr || value == nullptr) {
    return 0;
  }
  const std::array<uint8_t, 2> addressBytes{byteOf(address, 1), byteOf(address, 0)};
  std::array<uint8_t, 1> data{};
  platform::CriticalSectionGuard guard(registerLock_);
  if (!controller_->BusWrite(deviceAddress_, addressBytes)) {
    return 0;
  }
  // The bus read goes to the device's read form of the address (bit 0 set).
  if (!controller_->BusRead(static_cast<uint8_t>(deviceAddress_ | 1), data)) {
    return 0;
  }
  *value = data[0];
  return 1;
}

namespace {

// Requests the bus, polls until the FPGA reports it free and runs one access. The request is
// released on every path so the FPGA can resume its own sensor traffic.
template <typename Access>
int arbitrated(transport::CControllerBase* controller, Access access) {
  if (controller == nullptr) {
    return 0;
  }
  controller->WriteFpgaRegister(fpga::kBusRequest, 1);
  for (int poll = 0; poll < fpga::kBusPolls; ++poll) {
    uint8_t state = 0xFF;
    if (!controller->ReadFpgaRegister(fpga::kBusState, state)) {
      // An FPGA that does not answer (a camera unplugged) will not hand over the bus: polling
      // on would only make every register access of a lost camera take its full time.
      break;
    }
    if (state == 0 && access()) {
      controller->WriteFpgaRegister(fpga::kBusRequest, 0);
      return 1;
    }
    platform::sleepMs(fpga::kBusPollMs);
  }
  controller->WriteFpgaRegister(fpga::kBusRequest, 0);
  return 0;
}

}  // namespace

int CSensorBase::ArbitratedWrite(uint16_t address, uint8_t value) {
  return arbitrated(controller_, [&] { return WriteSensorRegisterRaw(address, value) != 0; });
}

int CSensorBase::ArbitratedRead(uint16_t address, uint8_t* value) {
  if (value == nullptr) {
    return 0;
  }
  return arbitrated(controller_, [&] { return ReadSensorRegisterRaw(address, value) != 0; });
}

int CSensorBase::ProgramFrameLength(int64_t lines) {
  const int low = WriteSensorRegister(imx99x::kFrameLengthLow, byteOf(lines, 0));
  const int middle = WriteSensorRegister(imx99x::kFrameLengthMiddle, byteOf(lines, 1));
  const int high = WriteSensorRegister(imx99x::kFrameLengthHigh, byteOf(lines, 2));
  if (!(low && middle && high)) {
    return 0;
  }
  currentFrameLength_ = lines;
  return 1;
}

void CSensorBase::EnterStandby(uint32_t settleMs) {
  WriteSensorRegister(imx99x::kStandby, 1);
  platform::sleepMs(settleMs);
  WriteSensorRegister(imx99x::kStartControl, 1);
  platform::sleepMs(settleMs);
}

void CSensorBase::LeaveStandby(uint32_t settleMs) {
  WriteSensorRegister(imx99x::kStandby, 0);
  platform::sleepMs(settleMs);
  WriteSensorRegister(imx99x::kStartControl, 0);
  platform::sleepMs(settleMs);
}

int CSensorBase::ProgramLineLength(int64_t length) {
  // The line length may only change while the chip is in standby.
  const bool changes = length != currentLineLength_;
  if (changes) {
    EnterStandby(imx99x::kStandbySettleMs);
  }
  const int low = WriteSensorRegister(imx99x::kLineLengthLow, byteOf(length, 0));
  const int high = WriteSensorRegister(imx99x::kLineLengthHigh, byteOf(length, 1));
  if (changes) {
    LeaveStandby(imx99x::kStandbySettleMs);
  }
  if (!(low && high)) {
    return 0;
  }
  currentLineLength_ = length;
  return 1;
}

int CSensorBase::ProgramFpgaExposure(bool triggerBracket, const uint8_t (&timing)[3]) {
  int ok = 1;
  auto write = [&](uint8_t reg, uint8_t value) {
    if (!VerifiedFpgaWrite(reg, value)) {
      ok = 0;
    }
  };
  if (triggerBracket) {
    write(fpga::kTriggerControl, fpga::kTriggerOff);
  }
  const int64_t lines = info_.linesCurrent;
  write(fpga::kExposureLow, byteOf(lines, 0));
  write(fpga::kExposureMiddle, byteOf(lines, 1));
  write(fpga::kExposureHigh, byteOf(lines, 2));
  const uint16_t clocks = info_.outputDepth == 16 ? fpga::kLineClocks16Bit : fpga::kLineClocks8Bit;
  write(fpga::kLineClocksLow, byteOf(clocks, 0));
  write(fpga::kLineClocksHigh, byteOf(clocks, 1));
  write(fpga::kExposureTiming0, timing[0]);
  write(fpga::kExposureTiming1, timing[1]);
  write(fpga::kExposureTiming2, timing[2]);
  if (triggerBracket) {
    write(fpga::kTriggerControl, fpga::kTriggerOn);
  }
  return ok;
}

}  // namespace nivexa::sensors
