#pragma once

#include "sensors/CSensorImx99x.h"

namespace nivexa::sensors {

// IMX992, 2560 x 2048 SWIR sensor: no black level or feature switch, its own FPGA exposure
// timing, and a trigger sequence that primes the FPGA's trigger pulse.
class CSensorIMX992 : public CSensorImx99x {
 public:
  CSensorIMX992(transport::CControllerBase* controller, uint8_t deviceAddress);
  ~CSensorIMX992() override;  // 0

  int ApplyDefaults() override;           // 5
  int SetTriggerMode(int mode) override;  // 10
};

}  // namespace nivexa::sensors
