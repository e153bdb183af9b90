#pragma once

#include <cstdint>

namespace nivexa::sim {

// One request record as the driver in front of the camera decoded it, kept so that tests can
// check what the host actually put on the wire, including requests the driver turned away.
struct DriverRequest {
  uint32_t code = 0;  // the driver's I/O control code
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
  uint32_t timeLimitS = 0;
  uint8_t endpoint = 0;
  uint32_t dataOffset = 0;
  uint32_t dataLength = 0;
  uint32_t inSize = 0;  // sizes of the buffers the request came with
  uint32_t outSize = 0;
  bool refused = false;  // failed as malformed; the camera never saw it
  int64_t handle = 0;    // the driver handle it came on (the streaming handle changes on reopen)
  uint64_t timeUs = 0;   // since the camera was created, on the clock of the register trace
};

}  // namespace nivexa::sim
