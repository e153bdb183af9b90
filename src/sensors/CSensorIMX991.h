#pragma once

#include "sensors/CSensorImx99xOlder.h"

namespace nivexa::sensors {

class CSensorIMX991 : public CSensorImx99xOlder {
 public:
  CSensorIMX991(transport::CControllerBase* controller, uint8_t deviceAddress);
  ~CSensorIMX991() override;  // 0
};

}  // namespace nivexa::sensors
