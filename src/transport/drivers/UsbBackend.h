#pragma once

#include <memory>

#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {

// The backend that reaches real cameras without a kernel driver of their own (libusb on Linux),
// or null where the system has none, where NIVEXA_USB=0 turns it off, or where the USB library
// cannot start (no usbfs in a container): the reason is logged and the process goes on with its
// other backends.
std::shared_ptr<Fx3Driver> makeUsbBackend();

}  // namespace nivexa::transport
