#include "sensors/CSensorIMX992.h"

#include "platform/Clock.h"
#include "sensors/FpgaRegisters.h"
#include "sensors/Imx992Table.h"
#include "sensors/Imx99xRegisters.h"

namespace nivexa::sensors {

namespace {

// FPGA trigger pulse that arms the first externally triggered frame.
constexpr uint8_t kTriggerPulseSequence[] = {4, 132, 4};
constexpr uint32_t kTriggerPulseMs = 1;
constexpr uint32_t kFreeRunStartMs = 10;

}  // namespace

CSensorIMX992::CSensorIMX992(transport::CControllerBase* controller, uint8_t deviceAddress)
    : CSensorImx99x(controller, deviceAddress, kImx992Table) {
  driverName_ = "CSensorIMX992";
}

CSensorIMX992::~CSensorIMX992() = default;

int CSensorIMX992::ApplyDefaults() {
  if (controller_ == nullptr) {
    return 0;
  }
  WriteSensorRegister(imx99x::kInitControl, 0);
  SetAnalogGain(info_.gainDefault);
  SetExposureSeconds(info_.secondsDefault);
  SetMirrorH(info_.mirrorHDefault);
  SetMirrorV(info_.mirrorVDefault);
  SetReadoutWindow(info_.defaultX, info_.defaultWidth, info_.defaultY, info_.defaultHeight,
                   imx99x::kModeFull);
  return 1;
}

int CSensorIMX992::SetTriggerMode(int mode) {
  if (alreadyFreeRunning(mode)) {
    return 1;
  }
  const bool same = mode == modeWord_;
  if (mode == 1) {
    armSensorTrigger(same);
    // The FPGA arms its trigger input only after one pulse at the shortest exposure.
    const int previousLines = info_.linesCurrent;
    SetExposureLines(info_.linesMin);
    for (uint8_t value : kTriggerPulseSequence) {
      WriteFpga(fpga::kTriggerPulse, value);
      platform::sleepMs(kTriggerPulseMs);
    }
    VerifiedFpgaWrite(fpga::kTriggerPulse, 0);
    SetExposureLines(previousLines);
    RestartFpgaFrame();
    platform::sleepMs(static_cast<uint32_t>(framePeriodMs()));
  } else {
    VerifiedFpgaWrite(fpga::kTriggerControl, fpga::kTriggerOff);
    VerifiedFpgaWrite(fpga::kTriggerPulse, 0);
    if (!same) {
      WriteSensorRegister(imx99x::kStandby, 1);
      platform::sleepMs(imx99x::kStandbySettleMs);
      WriteSensorRegister(imx99x::kStartControl, 1);
      platform::sleepMs(kFreeRunStartMs);
    }
    WriteSensorRegister(imx99x::kDriveControlLow, imx99x::kDriveFreeRun);
    platform::sleepMs(imx99x::kStandbySettleMs);
    WriteSensorRegister(imx99x::kTriggerInput, 0);
    platform::sleepMs(imx99x::kStandbySettleMs);
    if (!same) {
      WriteSensorRegister(imx99x::kStandby, 0);
      platform::sleepMs(imx99x::kStandbySettleMs);
    }
  }
  modeWord_ = mode;
  return 1;
}

}  // namespace nivexa::sensors
