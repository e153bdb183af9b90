/* The device-catalogue header alone, as plain C: it needs nothing before it. */
#include "NivexaDevices.h"

int nivexa_public_devices_header_check(void) {
  NivexaUsbProduct product = {0, 0};
  return NivexaDevices_UsbProducts(&product, 1) + product.vendorId;
}
