#include "sensors/CSensorImx99x.h"

#include <algorithm>
#include <cmath>

#include "platform/Clock.h"
#include "sensors/FpgaRegisters.h"
#include "sensors/Imx99xRegisters.h"

namespace nivexa::sensors {

namespace {

uint8_t byteOf(int64_t value, int index) {
  return static_cast<uint8_t>((value >> (8 * index)) & 0xFF);
}

int64_t roundDownToEven(int64_t value) {
  return value & ~int64_t{1};
}

constexpr int kWindowWidthStep = 8;
constexpr int kWindowHeightStep = 4;
// The mode word of SetTriggerMode that arms the sensor for external triggers.
constexpr int kTriggerModeWord = 1;

}  // namespace

CSensorImx99x::CSensorImx99x(transport::CControllerBase* controller, uint8_t deviceAddress,
                             const SwirChipTable& chip)
    : CSensorBase(controller, deviceAddress), chip_(chip) {
  SensorInfo& s = info_;
  s.arrayWidth = chip.arrayWidth;
  s.arrayHeight = chip.arrayHeight;
  s.defaultWidth = chip.arrayWidth;
  s.defaultHeight = chip.arrayHeight;
  s.monochrome = 1;
  s.outputWidth = chip.arrayWidth;
  s.outputHeight = chip.arrayHeight;
  s.lineLength = chip.lineLengthClocks;
  s.frameLength = chip.fullFrameLength;
  s.readoutMode = imx99x::kModeFull;
  s.gainMax = chip.gainMax;
  s.gainSupported = 1;
  s.linesMin = chip.linesMin;
  s.linesMax = chip.linesMax;
  s.linesCurrent = chip.linesDefault;
  s.linesDefault = chip.linesDefault;
  s.linesSupported = 1;
  s.ticksMin = chip.ticksMin;
  s.ticksMax = chip.ticksMax;
  s.ticksCurrent = chip.ticksDefault;
  s.ticksDefault = chip.ticksDefault;
  if (chip.hasBlackLevel) {
    s.blackLevelMax = chip.blackLevelMax;
    s.blackLevelCurrent = chip.blackLevelDefault;
    s.blackLevelDefault = chip.blackLevelDefault;
    s.blackLevelSupported = 1;
  }
  s.featureSupported = chip.hasFeatureSwitch ? 1 : 0;
  s.secondsMin = chip.secondsMinAtConstruction;
  s.secondsMax = chip.secondsMax;
  s.secondsCurrent = chip.secondsDefault;
  s.secondsDefault = chip.secondsDefault;
  s.secondsSupported = 1;
  s.mirrorVSupported = 1;
  s.mirrorHSupported = 1;
  s.outputDepth = chip.initialOutputDepth;
  s.sensorClock = chip.sensorClock;
  s.orientation = kOrientationBothFlipped;

  modeWord_ = chip.initialModeWord;
  baseFrameLength_ = chip.fullFrameLength;
  currentFrameLength_ = chip.fullFrameLength;
  baseLineLength_ = chip.lineLengthNarrow;
  currentLineLength_ = chip.lineLengthNarrow;
}

CSensorImx99x::~CSensorImx99x() = default;

bool CSensorImx99x::alreadyFreeRunning(int mode) {
  restartEnable_ = 0;
  uint8_t trigger = 0;
  // The FPGA restarts free-running frames on its own, unless the sensor itself was last armed
  // for triggers: an arming whose FPGA write failed leaves the FPGA free-running and the sensor
  // waiting for a trigger that never comes.
  if (ReadFpga(fpga::kTriggerControl, &trigger) && mode == 0 && trigger == 0 &&
      modeWord_ != kTriggerModeWord) {
    return true;
  }
  restartEnable_ = 1;
  return false;
}

void CSensorImx99x::armSensorTrigger(bool sameMode) {
  ProgramFpgaExposure(true, chip_.fpgaTiming);
  if (!sameMode) {
    WriteSensorRegister(imx99x::kStandby, 1);
    platform::sleepMs(imx99x::kTriggerSettleMs);
    WriteSensorRegister(imx99x::kStartControl, 0);
    platform::sleepMs(imx99x::kTriggerSettleMs);
  }
  WriteSensorRegister(imx99x::kDriveControlLow, imx99x::kDriveTrigger);
  platform::sleepMs(imx99x::kTriggerSettleMs);
  WriteSensorRegister(imx99x::kTriggerEnable, 1);
  platform::sleepMs(imx99x::kTriggerSettleMs);
  WriteSensorRegister(imx99x::kTriggerInput, 1);
  platform::sleepMs(imx99x::kTriggerSettleMs);
  if (!sameMode) {
    WriteSensorRegister(imx99x::kStandby, 0);
  }
}

int CSensorImx99x::SetVariant(int code) {
  if (code == chip_.variantUncooled) {
    info_.orientation = kOrientationBothFlipped;
  } else if (code == chip_.variantCooled) {
    info_.orientation = kOrientationNormal;
  } else {
    return 0;
  }
  variant_ = code;
  return 1;
}

int CSensorImx99x::WriteSensorRegisterRaw(uint16_t address, uint8_t value) {
  return RawWrite(address, value);
}

int CSensorImx99x::ReadSensorRegisterRaw(uint16_t address, uint8_t* value) {
  return RawRead(address, value);
}

int CSensorImx99x::WriteSensorRegister(uint16_t address, uint8_t value) {
  return ArbitratedWrite(address, value);
}

int CSensorImx99x::ReadSensorRegister(uint16_t address, uint8_t* value) {
  return ArbitratedRead(address, value);
}

int CSensorImx99x::Write16(uint16_t lowAddress, uint16_t highAddress, int value, uint8_t highMask) {
  const int low = WriteSensorRegister(lowAddress, byteOf(value, 0));
  const int high = WriteSensorRegister(highAddress, byteOf(value, 1) & highMask);
  return low && high ? 1 : 0;
}

double CSensorImx99x::lineTimeUs() const {
  return static_cast<double>(currentLineLength_) / chip_.lineLengthNarrow *
         chip_.lineTimeNumerator * 1000.0 / chip_.sensorClock;
}

void CSensorImx99x::notePeriod() {
  framePeriodUs_ = lineTimeUs() * static_cast<double>(currentFrameLength_);
}

int64_t CSensorImx99x::microsecondsToLines(int64_t microseconds) {
  const double lineTime = lineTimeUs();
  if (lineTime == 0.0) {
    return 0;
  }
  const auto lines =
      static_cast<int64_t>((static_cast<double>(microseconds) - chip_.exposureOffsetUs) / lineTime);
  return lines <= 0 ? 1 : lines;
}

int CSensorImx99x::SetReadoutWindow(int x, int width, int y, int height, int mode) {
  const int arrayW = info_.arrayWidth;
  const int arrayH = info_.arrayHeight;
  // Negative origins or empty windows would reach the sensor as huge 13-bit values.
  if (x < 0 || y < 0 || width <= 0 || height <= 0) {
    return 0;
  }
  bool valid = false;
  switch (mode) {
    case imx99x::kModeFull:
      valid = x % chip_.fullModeAlignX == 0 && y % chip_.fullModeAlignY == 0 &&
              width % kWindowWidthStep == 0 && width <= chip_.maxWindowWidth &&
              height % kWindowHeightStep == 0 && height <= chip_.maxWindowHeight;
      break;
    case imx99x::kModeBinned:
      valid = chip_.binnedFrameLength != 0 && x <= 0 && y <= 0 && width >= 2 && height >= 2;
      break;
    case imx99x::kModeSubsampled: {
      const int a = chip_.subsampledAlign;
      valid = chip_.subsampledFrameLength != 0 && x % a == 0 && y % a == 0 && width % a == 0 &&
              height % a == 0;
      break;
    }
    default:
      break;
  }
  if (!valid || x + width > arrayW || y + height > arrayH) {
    return 0;
  }

  const int depth = info_.outputDepth;
  int64_t baseFrame = 0;
  int64_t lineLength = chip_.lineLengthNarrow;
  SwirModeCodes codes = kFullModeCodes;
  uint8_t crop = 0;
  int wx = 0;
  int wy = chip_.reducedWindowY;
  int ww = arrayW;
  int wh = arrayH;
  if (mode == imx99x::kModeFull) {
    baseFrame = height == arrayH ? chip_.fullFrameLength : height + chip_.frameLengthExtra;
    lineLength = depth == 8 ? chip_.lineLengthNarrow : chip_.lineLengthWide;
    crop = static_cast<uint8_t>((width != arrayW ? imx99x::kCropHorizontal : 0) |
                                (height != arrayH ? imx99x::kCropVertical : 0));
    wx = x;
    wy = y;
    ww = width;
    wh = height;
  } else if (mode == imx99x::kModeBinned) {
    baseFrame = chip_.binnedFrameLength;
    codes = kBinnedModeCodes;
  } else {
    baseFrame = chip_.subsampledFrameLength;
    codes = kSubsampledModeCodes;
  }

  // Mode registers may only change in standby: on a readout-mode change, and on a depth change
  // since this driver's previous window (the wire format changes underneath).
  bool standby = false;
  if (!windowDepth_) {
    windowDepth_ = depth;
  }
  if (*windowDepth_ != depth) {
    standby = true;
    windowDepth_ = depth;
  } else {
    standby = mode != info_.readoutMode;
  }
  if (standby) {
    EnterStandby(imx99x::kStandbySettleMs);
  }
  // Every write counts: a window half programmed delivers frames of another size than the one
  // the host prepared for, so a failure anywhere is the whole call's failure.
  bool written = WriteSensorRegister(imx99x::kModeSelect, codes.modeSelect) != 0;
  written = WriteSensorRegister(imx99x::kWindowCrop, crop) != 0 && written;
  written = WriteSensorRegister(imx99x::kReadoutControl, codes.readoutControl) != 0 && written;
  if (chip_.hasDriveControl) {
    uint8_t drive = 0;
    if (ReadSensorRegister(imx99x::kDriveControlLow, &drive)) {
      const int value = chip_.driveControlValue;
      written = WriteSensorRegister(imx99x::kDriveControlLow,
                                    static_cast<uint8_t>(((value << 2) & 0xFF) |
                                                         (drive & imx99x::kDriveModeMask))) != 0 &&
                written;
      written =
          WriteSensorRegister(imx99x::kDriveControlHigh,
                              static_cast<uint8_t>((value >> 6) & imx99x::kDriveModeMask)) != 0 &&
          written;
    } else {
      written = false;
    }
  }
  if (standby) {
    LeaveStandby(imx99x::kStandbySettleMs);
  }
  written = VerifiedFpgaWrite(fpga::kReadoutMode, codes.fpgaCode) != 0 && written;
  written = Write16(imx99x::kWindowXLow, imx99x::kWindowXHigh, wx, imx99x::kWindowHighMask) != 0 &&
            written;
  written = Write16(imx99x::kWindowYLow, imx99x::kWindowYHigh, wy, imx99x::kWindowHighMask) != 0 &&
            written;
  written = Write16(imx99x::kWindowWidthLow, imx99x::kWindowWidthHigh, ww,
                    imx99x::kWindowHighMask) != 0 &&
            written;
  written = Write16(imx99x::kWindowHeightLow, imx99x::kWindowHeightHigh, wh,
                    imx99x::kWindowHighMask) != 0 &&
            written;

  info_.windowX = x;
  info_.windowY = y;
  info_.outputWidth = mode == imx99x::kModeFull ? width : width / 2;
  info_.outputHeight = mode == imx99x::kModeFull ? height : height / 2;
  info_.readoutMode = mode;

  written = ProgramFrameLength(baseFrame) != 0 && written;
  if (chip_.nanosecondTiming) {
    info_.frameLength = static_cast<int32_t>(baseFrame);
  } else {
    written = ProgramLineLength(lineLength) != 0 && written;
  }
  baseFrameLength_ = baseFrame;
  notePeriod();
  return written ? 1 : 0;
}

int CSensorImx99x::GetReadoutWindow(int* x, int* width, int* y, int* height, int* mode) {
  if (x != nullptr) {
    *x = info_.windowX;
  }
  if (width != nullptr) {
    *width = info_.outputWidth;
  }
  if (y != nullptr) {
    *y = info_.windowY;
  }
  if (height != nullptr) {
    *height = info_.outputHeight;
  }
  if (mode != nullptr) {
    *mode = info_.readoutMode;
  }
  return 1;
}

int CSensorImx99x::SetOutputDepth(int sixteenBit) {
  if (!chip_.nanosecondTiming) {
    ProgramLineLength(sixteenBit ? chip_.lineLengthWide : chip_.lineLengthNarrow);
  }
  info_.outputDepth = sixteenBit ? 16 : 8;
  // The stored output size of the reduced modes is half the window; re-apply the full window.
  const bool reduced = info_.readoutMode != imx99x::kModeFull;
  const int width = reduced ? info_.outputWidth * 2 : info_.outputWidth;
  const int height = reduced ? info_.outputHeight * 2 : info_.outputHeight;
  SetReadoutWindow(info_.windowX, width, info_.windowY, height, info_.readoutMode);
  // The reduced modes keep the narrow line whatever the depth, so take the line time the
  // window left in place.
  if (!chip_.nanosecondTiming) {
    info_.secondsMin = 2.0 * lineTimeUs() / 1e6;
  }
  return 1;
}

int CSensorImx99x::WriteFrameLengthOrdered(int64_t frameLength, uint32_t pauseMs) {
  // Never let the frame length pass through a value larger than both old and new, which
  // would stall the running frame.
  const uint8_t low = byteOf(frameLength, 0);
  const uint8_t middle = byteOf(frameLength, 1);
  const uint8_t high = byteOf(frameLength, 2);
  struct Step {
    uint16_t address;
    uint8_t value;
  };
  Step steps[3];
  if (high != 0) {
    steps[0] = {imx99x::kFrameLengthHigh, high};
    steps[1] = {imx99x::kFrameLengthMiddle, middle};
  } else if (middle < byteOf(currentFrameLength_, 1)) {
    steps[0] = {imx99x::kFrameLengthMiddle, middle};
    steps[1] = {imx99x::kFrameLengthHigh, 0};
  } else {
    steps[0] = {imx99x::kFrameLengthHigh, 0};
    steps[1] = {imx99x::kFrameLengthMiddle, middle};
  }
  steps[2] = {imx99x::kFrameLengthLow, low};
  for (const Step& step : steps) {
    if (!WriteSensorRegister(step.address, step.value)) {
      return 0;
    }
    platform::sleepMs(pauseMs);
  }
  return 1;
}

int CSensorImx99x::ProgramExposureLines(int64_t lines) {
  const int64_t margin = chip_.shutterMargin;
  // The longest exposures would need a frame length beyond the 24-bit register; stop where the
  // extended frame still fits instead of letting it wrap to a tiny value.
  const int64_t longest = std::min<int64_t>(info_.linesMax, imx99x::kFrameLengthMax - margin - 1);
  const int64_t n = std::clamp<int64_t>(lines, info_.linesMin, longest);
  const auto pause = static_cast<uint32_t>(std::max(1, info_.ticksCurrent / 1000000));
  platform::TimerPeriodGuard period;

  const int64_t base = baseFrameLength_;
  int64_t frame = 0;
  int64_t shutter = 0;
  if (n > base - margin) {
    frame = roundDownToEven(n + margin + 1);
    shutter = margin;
  } else {
    frame = roundDownToEven(base + 1);
    shutter = roundDownToEven(frame - n + 1);
  }

  int ok = WriteFrameLengthOrdered(frame, pause);
  if (ok) {
    currentFrameLength_ = frame;
    const uint16_t shutterRegs[3] = {imx99x::kShutterLow, imx99x::kShutterMiddle,
                                     imx99x::kShutterHigh};
    for (int i = 0; i < 3 && ok; ++i) {
      ok = WriteSensorRegister(shutterRegs[i], byteOf(shutter, i));
      platform::sleepMs(pause);
    }
  }
  if (ok) {
    info_.linesCurrent = static_cast<int32_t>(frame - shutter);
  }
  // The FPGA copy follows whatever the sensor now holds, also after a failed write.
  ProgramFpgaExposure(false, chip_.fpgaTiming);
  notePeriod();
  return ok;
}

int CSensorImx99x::SetExposureLines(int lines) {
  return ProgramExposureLines(lines);
}

int CSensorImx99x::SetExposureSeconds(double seconds) {
  const double value = std::clamp(seconds, info_.secondsMin, info_.secondsMax);
  // Rounded, not truncated: a decimal exposure such as 0.0003 s is a hair below its value as a
  // binary double, and truncation would lose a whole microsecond and a whole tick.
  const int64_t lines = microsecondsToLines(std::llround(value * 1e6));
  if (lines == 0 || !SetExposureLines(static_cast<int>(std::min<int64_t>(lines, info_.linesMax)))) {
    return 0;
  }
  info_.secondsCurrent = value;
  info_.ticksCurrent = static_cast<int32_t>(std::lround(value * 10000.0));
  return 1;
}

int CSensorImx99x::SetExposureTicks(int ticks) {
  const int value = std::clamp(ticks, info_.ticksMin, info_.ticksMax);
  const int64_t lines = microsecondsToLines(int64_t{value} * 100);
  if (lines == 0 || !SetExposureLines(static_cast<int>(std::min<int64_t>(lines, info_.linesMax)))) {
    return 0;
  }
  info_.ticksCurrent = value;
  info_.secondsCurrent = value / 10000.0;
  return 1;
}

int CSensorImx99x::SetAnalogGain(int code) {
  const int value = std::clamp(code, info_.gainMin, info_.gainMax);
  if (!Write16(imx99x::kGainLow, imx99x::kGainHigh, value, imx99x::kGainHighMask)) {
    return 0;
  }
  info_.gainCurrent = value;
  return 1;
}

int CSensorImx99x::writeMirror(int vertical, int horizontal) {
  const auto value = static_cast<uint8_t>((vertical ? imx99x::kMirrorVertical : 0) |
                                          (horizontal ? imx99x::kMirrorHorizontal : 0));
  return WriteSensorRegister(imx99x::kMirror, value);
}

int CSensorImx99x::SetMirrorV(int on) {
  const int vertical = on ? 1 : 0;
  if (!writeMirror(vertical, info_.mirrorHCurrent)) {
    return 0;
  }
  info_.mirrorVCurrent = vertical;
  return 1;
}

int CSensorImx99x::SetMirrorH(int on) {
  const int horizontal = on ? 1 : 0;
  if (!writeMirror(info_.mirrorVCurrent, horizontal)) {
    return 0;
  }
  info_.mirrorHCurrent = horizontal;
  // The FPGA shifts its output window to keep the mirrored image aligned.
  const bool full = info_.readoutMode == imx99x::kModeFull;
  const uint8_t offset =
      full ? (horizontal ? fpga::kMirrorOffsetFullMirrored : fpga::kMirrorOffsetFull)
           : (horizontal ? fpga::kMirrorOffsetReducedMirrored : fpga::kMirrorOffsetReduced);
  const int low = WriteFpga(fpga::kMirrorOffsetLow, offset);
  const int high = WriteFpga(fpga::kMirrorOffsetHigh, 0);
  return low && high ? 1 : 0;
}

int CSensorImx99x::InternalCorrectionCapability() {
  return (FpgaVersion() & fpga::kVersionInternalCorrection) != 0 ? 1 : 0;
}

int CSensorImx99x::HasCooling() {
  return variant_ == chip_.variantCooled ? 1 : 0;
}

int CSensorImx99x::GetCooling(int* on) {
  if (!HasCooling()) {
    return 0;
  }
  uint8_t value = 0;
  if (!ReadFpga(fpga::kCooler, &value)) {
    // The result reads as "off"; `on` is left as the caller set it, so that a caller can tell
    // a camera that did not answer from a cooler that is off.
    return 0;
  }
  const int state = (value & fpga::kCoolerOnBit) != 0 ? 1 : 0;
  if (on != nullptr) {
    *on = state;
  }
  return state;
}

int CSensorImx99x::SetCooling(int on) {
  if (!HasCooling()) {
    return 0;
  }
  // Register 151 carries other FPGA controls besides the cooler bit.
  uint8_t value = 0;
  if (!ReadFpga(fpga::kCooler, &value)) {
    return 0;
  }
  value = on > 0 ? static_cast<uint8_t>(value | fpga::kCoolerOnBit)
                 : static_cast<uint8_t>(value & ~fpga::kCoolerOnBit);
  return WriteFpga(fpga::kCooler, value);
}

int CSensorImx99x::ReadTemperature(double* celsius) {
  if (celsius == nullptr) {
    return 0;
  }
  int raw = 0;
  // A camera that answered none of the reads has no temperature to report: 0 degrees would be
  // taken for a reading.
  bool answered = false;
  if (FpgaVersion() > chip_.temperatureFpgaVersionMin) {
    // The FPGA refreshes its copy in the background; all zero means not yet sampled.
    for (int attempt = 0; attempt < fpga::kTemperatureReadAttempts; ++attempt) {
      uint8_t low = 0;
      uint8_t high = 0;
      if (ReadFpga(fpga::kTemperatureLow, &low) && ReadFpga(fpga::kTemperatureHigh, &high)) {
        answered = true;
        if (low != 0 || high != 0) {
          raw = ((high << 8) & imx99x::kTemperatureMask) | low;
          break;
        }
      }
    }
  } else {
    // The sensor holds the value steady only while the latch bit is set.
    uint8_t latch = 0;
    if (ReadSensorRegisterRaw(imx99x::kTemperatureLatch, &latch)) {
      WriteSensorRegisterRaw(imx99x::kTemperatureLatch,
                             static_cast<uint8_t>(latch | imx99x::kTemperatureLatchBit));
      uint8_t low = 0;
      uint8_t high = 0;
      if (ReadSensorRegisterRaw(imx99x::kTemperatureLow, &low) &&
          ReadSensorRegisterRaw(imx99x::kTemperatureHigh, &high)) {
        raw = ((high << 8) & imx99x::kTemperatureMask) | low;
        answered = true;
      }
      WriteSensorRegisterRaw(imx99x::kTemperatureLatch,
                             static_cast<uint8_t>(latch & ~imx99x::kTemperatureLatchBit));
    }
  }
  if (!answered) {
    return 0;
  }
  // 12-bit two's complement in eighths of a degree.
  const int signedRaw = (raw & 0x800) != 0 ? raw - 0x1000 : raw;
  *celsius = signedRaw / 8.0;
  return 1;
}

int CSensorImx99x::HasGainMode() {
  return chip_.hasGainMode ? 1 : 0;
}

int CSensorImx99x::GetGainMode() {
  if (!chip_.hasGainMode) {
    return -1;
  }
  uint8_t value = 0;
  if (!ReadSensorRegisterRaw(imx99x::kGainMode, &value)) {
    return -1;
  }
  return (value & imx99x::kGainModeHighGain) != 0 ? 0 : 1;
}

int CSensorImx99x::SetGainMode(int mode) {
  // Only high (0) and low (1) gain exist. A mode other than those is refused (0) instead of
  // writing the register as 0: that write would clear every other bit of the register as well
  // and report success for a mode the chip does not have.
  if (!chip_.hasGainMode || (mode != 0 && mode != 1)) {
    return 0;
  }
  uint8_t value = 0;
  if (!ReadSensorRegisterRaw(imx99x::kGainMode, &value)) {
    return 0;
  }
  value = mode == 0 ? static_cast<uint8_t>(value | imx99x::kGainModeHighGain)
                    : static_cast<uint8_t>(value & ~imx99x::kGainModeHighGain);
  return WriteSensorRegisterRaw(imx99x::kGainMode, value);
}

}  // namespace nivexa::sensors
