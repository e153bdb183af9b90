#include "sensors/CSensorIMX990.h"

#include "sensors/Imx990Table.h"

namespace nivexa::sensors {

CSensorIMX990::CSensorIMX990(transport::CControllerBase* controller, uint8_t deviceAddress)
    : CSensorImx99xOlder(controller, deviceAddress, kImx990Table) {
  driverName_ = "CSensorIMX990";
}

CSensorIMX990::~CSensorIMX990() = default;

}  // namespace nivexa::sensors
