#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

extern "C" {

NIVEXA_API LONG Nivexa_Fpga_ReadRegister(LONG h, LONG address, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.FpgaReadRegister(address, ok); });
}

NIVEXA_API BOOL Nivexa_Fpga_WriteRegister(LONG h, LONG address, LONG value) {
  return withCamera(h, BOOL{0},
                    [&](CNivexa& cam) { return cam.FpgaWriteRegister(address, value); });
}

// The short forms take 8-bit addresses and 16-bit values; the Ex forms pass both unmasked.
NIVEXA_API LONG Nivexa_ReadRegister(LONG h, LONG address, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) {
    return cam.ReadSensorRegister(static_cast<uint32_t>(address) & 0xFFu, ok);
  });
}

NIVEXA_API LONG Nivexa_ReadRegisterEx(LONG h, LONG address, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) {
    return cam.ReadSensorRegister(static_cast<uint32_t>(address), ok);
  });
}

NIVEXA_API BOOL Nivexa_WriteRegister(LONG h, LONG address, LONG value) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) {
    return cam.WriteSensorRegister(static_cast<uint32_t>(address) & 0xFFu,
                                   static_cast<uint32_t>(value) & 0xFFFFu);
  });
}

NIVEXA_API BOOL Nivexa_WriteRegisterEx(LONG h, LONG address, LONG value) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) {
    return cam.WriteSensorRegister(static_cast<uint32_t>(address), static_cast<uint32_t>(value));
  });
}

NIVEXA_API LONG Nivexa_ReadSromID(LONG h, LONG address, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.ReadSromID(address, ok); });
}

NIVEXA_API BOOL Nivexa_WriteSromID(LONG h, LONG address, LONG value) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.WriteSromID(address, value); });
}

}  // extern "C"
