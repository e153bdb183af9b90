#pragma once

namespace nivexa::sim {

enum class Fault {
  HeaderTimeout,       // a requested frame never starts
  PayloadTimeout,      // the header comes, the payload never does
  ShortRead,           // the payload ends short after half of its bytes; the rest is dropped
  WrongPayloadLength,  // the header announces 4096 bytes more than are sent
  ShortPayloadLength,  // the header announces 4096 bytes fewer than are sent
  UsbStatus,           // bulk transfers end with a stall status
  BusBusy,             // the FPGA keeps the sensor bus (register 0x02 busy, sensor does not answer)
  EepromWriteFail,     // EEPROM writes are not acknowledged
  FpgaWriteFail,       // FPGA register writes are not acknowledged (pointer writes still are)
  FpgaReadFail,        // FPGA register reads are not acknowledged
  ControlTimeout,      // a control transfer is never answered: the driver's time limit ends it
};
inline constexpr int kFaultCount = 11;

// How many times a fault strikes: a positive count, or kPersistent until cleared.
inline constexpr int kPersistent = -1;

}  // namespace nivexa::sim
