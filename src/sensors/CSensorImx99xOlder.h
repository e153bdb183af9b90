#pragma once

#include "sensors/CSensorImx99x.h"

namespace nivexa::sensors {

// The older SWIR pair (IMX990, IMX991): exposure timed in nanoseconds with a line time fixed by
// the FPGA's sensor clocking, a fixed black level, and a cooler register of its own.
class CSensorImx99xOlder : public CSensorImx99x {
 public:
  CSensorImx99xOlder(transport::CControllerBase* controller, uint8_t deviceAddress,
                     const SwirChipTable& chip);
  ~CSensorImx99xOlder() override;  // 0

  int ApplyDefaults() override;              // 5
  int SetExposureLines(int lines) override;  // 16
  int SetCooling(int on) override;           // 100

  double lineTimeNs();

 protected:
  int64_t microsecondsToLines(int64_t microseconds) override;

 private:
  bool fastClock();
};

}  // namespace nivexa::sensors
