#pragma once

#include "sensors/CSensorImx99xOlder.h"

namespace nivexa::sensors {

class CSensorIMX990 : public CSensorImx99xOlder {
 public:
  CSensorIMX990(transport::CControllerBase* controller, uint8_t deviceAddress);
  ~CSensorIMX990() override;  // 0
};

}  // namespace nivexa::sensors
