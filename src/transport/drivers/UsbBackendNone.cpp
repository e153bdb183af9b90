#include "transport/drivers/UsbBackend.h"

namespace nivexa::transport {

// Windows reaches its cameras through their kernel driver (KernelDriverBackend).
std::shared_ptr<Fx3Driver> makeUsbBackend() {
  return nullptr;
}

}  // namespace nivexa::transport
