#include "sensors/CSensorIMX991.h"

#include "sensors/Imx991Table.h"

namespace nivexa::sensors {

CSensorIMX991::CSensorIMX991(transport::CControllerBase* controller, uint8_t deviceAddress)
    : CSensorImx99xOlder(controller, deviceAddress, kImx991Table) {
  driverName_ = "CSensorIMX991";
}

CSensorIMX991::~CSensorIMX991() = default;

}  // namespace nivexa::sensors
