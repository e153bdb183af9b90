#include "sensors/CSensorIMX993.h"

#include <algorithm>

#include "platform/Clock.h"
#include "sensors/FpgaRegisters.h"
#include "sensors/Imx993Table.h"
#include "sensors/Imx99xRegisters.h"

namespace nivexa::sensors {

CSensorIMX993::CSensorIMX993(transport::CControllerBase* controller, uint8_t deviceAddress)
    : CSensorImx99x(controller, deviceAddress, kImx993Table) {
  driverName_ = "CSensorIMX993";
}

CSensorIMX993::~CSensorIMX993() = default;

void CSensorIMX993::readFeatureSwitch() {
  uint8_t value = 0;
  uint8_t enable = 0;
  if (!ReadSensorRegister(imx99x::kFeatureValueReadback, &value) ||
      !ReadSensorRegister(imx99x::kFeatureEnableReadback, &enable)) {
    return;
  }
  // Only a consistent pair tells the state; anything else leaves the stored one.
  if (value == imx99x::kFeatureOnValue && enable == 1) {
    info_.featureCurrent = 1;
  } else if (value == imx99x::kFeatureOffValue && enable == 0) {
    info_.featureCurrent = 0;
  }
}

int CSensorIMX993::ApplyDefaults() {
  if (controller_ == nullptr) {
    return 0;
  }
  WriteSensorRegister(imx99x::kInitControl, 0);
  SetBlackLevel(info_.blackLevelDefault);
  readFeatureSwitch();
  SetAnalogGain(info_.gainDefault);
  SetExposureSeconds(info_.secondsDefault);
  SetMirrorH(info_.mirrorHDefault);
  SetMirrorV(info_.mirrorVDefault);
  SetReadoutWindow(info_.defaultX, info_.defaultWidth, info_.defaultY, info_.defaultHeight,
                   imx99x::kModeFull);
  return 1;
}

int CSensorIMX993::SetBlackLevel(int value) {
  const int level = std::clamp(value, info_.blackLevelMin, info_.blackLevelMax);
  if (!Write16(imx99x::kBlackLevelLow, imx99x::kBlackLevelHigh, level,
               imx99x::kBlackLevelHighMask)) {
    return 0;
  }
  info_.blackLevelCurrent = level;
  return 1;
}

int CSensorIMX993::SetFeatureSwitch(int on) {
  const int state = on ? 1 : 0;
  const int value = WriteSensorRegister(imx99x::kFeatureValue,
                                        state ? imx99x::kFeatureOnValue : imx99x::kFeatureOffValue);
  const int enable = WriteSensorRegister(imx99x::kFeatureEnable, static_cast<uint8_t>(state));
  if (!(value && enable)) {
    return 0;
  }
  info_.featureCurrent = state;
  return 1;
}

int CSensorIMX993::SetTriggerMode(int mode) {
  if (alreadyFreeRunning(mode)) {
    return 1;
  }
  const bool same = mode == modeWord_;
  if (mode == 1) {
    armSensorTrigger(same);
  } else {
    VerifiedFpgaWrite(fpga::kTriggerControl, fpga::kTriggerOff);
    if (!same) {
      WriteSensorRegister(imx99x::kStandby, 1);
      platform::sleepMs(imx99x::kStandbySettleMs);
      WriteSensorRegister(imx99x::kStartControl, 0);
      platform::sleepMs(imx99x::kStandbySettleMs);
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
