#include "sensors/CSensorImx99xOlder.h"

#include <algorithm>

#include "platform/Clock.h"
#include "sensors/FpgaRegisters.h"
#include "sensors/Imx99xRegisters.h"

namespace nivexa::sensors {

namespace {

uint8_t byteOf(int64_t value, int index) {
  return static_cast<uint8_t>((value >> (8 * index)) & 0xFF);
}

}  // namespace

CSensorImx99xOlder::CSensorImx99xOlder(transport::CControllerBase* controller,
                                       uint8_t deviceAddress, const SwirChipTable& chip)
    : CSensorImx99x(controller, deviceAddress, chip) {}

CSensorImx99xOlder::~CSensorImx99xOlder() = default;

bool CSensorImx99xOlder::fastClock() {
  return (FpgaVersion() & fpga::kVersionFastClock) != 0;
}

double CSensorImx99xOlder::lineTimeNs() {
  if (fastClock()) {
    return chip_.lineTimeFastNs;
  }
  return info_.outputHeight == info_.defaultHeight ? chip_.lineTimeSlowFullHeightNs
                                                   : chip_.lineTimeSlowNs;
}

int64_t CSensorImx99xOlder::microsecondsToLines(int64_t microseconds) {
  const double lineTime = lineTimeNs();
  if (lineTime == 0.0) {
    return 0;
  }
  const auto lines = static_cast<int64_t>(
      (static_cast<double>(microseconds) * 1000.0 - chip_.exposureOffsetNs) / lineTime);
  return lines <= 0 ? 1 : lines;
}

int CSensorImx99xOlder::ApplyDefaults() {
  if (controller_ == nullptr) {
    return 0;
  }
  const bool fast = fastClock();
  WriteSensorRegister(imx99x::kInitControl, 0);
  WriteSensorRegister(imx99x::kBlackLevelLow, fast ? chip_.blackLevelFast : chip_.blackLevelSlow);
  WriteSensorRegister(imx99x::kBlackLevelHigh, 0);
  SetAnalogGain(info_.gainDefault);
  SetMirrorH(info_.mirrorHDefault);
  SetMirrorV(info_.mirrorVDefault);
  SetReadoutWindow(info_.defaultX, info_.defaultWidth, info_.defaultY, info_.defaultHeight,
                   imx99x::kModeFull);
  SetExposureLines(info_.linesDefault);
  info_.secondsMin = fast ? chip_.secondsMinFast : chip_.secondsMinSlow;
  return 1;
}

int CSensorImx99xOlder::SetExposureLines(int lines) {
  // Guard against values the shutter registers cannot express.
  const int64_t margin = chip_.shutterMargin;
  const int64_t n = std::clamp<int64_t>(
      lines, 1, std::min<int64_t>(info_.linesMax, imx99x::kFrameLengthMax - margin));
  platform::TimerPeriodGuard period;
  const int64_t base = info_.frameLength;
  int64_t frame = base;
  int64_t shutter = base - n;
  if (n > base - margin) {
    frame = n + margin;
    shutter = margin;
  }
  int ok = WriteFrameLengthOrdered(frame, 1);
  if (ok) {
    currentFrameLength_ = frame;
    const uint16_t shutterRegs[3] = {imx99x::kShutterLow, imx99x::kShutterMiddle,
                                     imx99x::kShutterHigh};
    for (int i = 0; i < 3 && ok; ++i) {
      ok = WriteSensorRegister(shutterRegs[i], byteOf(shutter, i));
      platform::sleepMs(1);
    }
  }
  if (ok) {
    info_.linesCurrent = static_cast<int32_t>(n);
  }
  if (modeWord_ == 1) {
    ProgramFpgaExposure(false, chip_.fpgaTiming);
  }
  framePeriodUs_ =
      static_cast<double>(currentFrameLength_) * chip_.framePeriodMsPerLine * kMicrosecondsPerMs;
  return ok;
}

int CSensorImx99xOlder::SetCooling(int on) {
  if (!HasCooling()) {
    return 0;
  }
  return WriteFpga(fpga::kCooler, on > 0 ? 1 : 0);
}

}  // namespace nivexa::sensors
