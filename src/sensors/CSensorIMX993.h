#pragma once

#include "sensors/CSensorImx99x.h"

namespace nivexa::sensors {

// IMX993, 2048 x 1536 SWIR sensor: the only chip of the family with a settable black level
// and the sensor feature switch.
class CSensorIMX993 : public CSensorImx99x {
 public:
  CSensorIMX993(transport::CControllerBase* controller, uint8_t deviceAddress);
  ~CSensorIMX993() override;  // 0

  int ApplyDefaults() override;           // 5
  int SetTriggerMode(int mode) override;  // 10
  int SetBlackLevel(int value) override;  // 48
  int SetFeatureSwitch(int on) override;  // 54

 private:
  void readFeatureSwitch();
};

}  // namespace nivexa::sensors
