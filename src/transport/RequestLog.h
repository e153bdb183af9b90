#pragma once

#include <cstdint>
#include <span>

#include "platform/Log.h"

namespace nivexa::transport {

// One line per vendor request in the transport log: every request at debug level (the register
// traffic of a camera, readable with the serial-bus device and the bytes that went each way),
// and a failed one at warning level.
void writeRequestLine(uint8_t request, uint16_t value, uint16_t index,
                      std::span<const uint8_t> sent, std::span<const uint8_t> received, bool ok,
                      uint32_t driverError);

inline void logVendorRequest(uint8_t request, uint16_t value, uint16_t index,
                             std::span<const uint8_t> sent, std::span<const uint8_t> received,
                             bool ok, uint32_t driverError) {
  if (log::enabled(log::Category::Transport, ok ? log::Level::Debug : log::Level::Warning)) {
    writeRequestLine(request, value, index, sent, received, ok, driverError);
  }
}

}  // namespace nivexa::transport
