#include "transport/RequestLog.h"

#include <cstdio>
#include <string>

#include "transport/Fx3Protocol.h"

namespace nivexa::transport {

namespace {

const char* requestName(uint8_t request) {
  switch (request) {
    case fx3::kReqBusWrite:
      return "bus write";
    case fx3::kReqBusRead:
      return "bus read";
    case fx3::kReqWriteControlByte:
      return "control byte write";
    case fx3::kReqReadControlByte:
      return "control byte read";
    case fx3::kReqWriteSensorWord:
      return "sensor word write";
    case fx3::kReqReadSensorWord:
      return "sensor word read";
    case fx3::kReqDeviceInfo:
      return "device info";
    case fx3::kReqExtendedInfo:
      return "extended info";
    case fx3::kReqStartStream:
      return "start stream";
    case fx3::kReqFrame:
      return "frame request";
    case fx3::kReqStatusByte:
      return "status byte";
    case fx3::kReqEndpointCommand:
      return "endpoint command";
    case fx3::kReqWriteRegister32:
      return "register write";
    case fx3::kReqReadRegister16:
      return "register read";
    default:
      return "request";
  }
}

// Long replies (information blocks) are cut: their first bytes identify them.
constexpr size_t kBytesShown = 16;

void appendBytes(std::string& line, const char* label, std::span<const uint8_t> bytes) {
  if (bytes.empty()) {
    return;
  }
  line += label;
  char hex[4];
  for (size_t i = 0; i < bytes.size() && i < kBytesShown; ++i) {
    std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
    line += hex;
  }
  if (bytes.size() > kBytesShown) {
    line += " ...";
  }
}

}  // namespace

void writeRequestLine(uint8_t request, uint16_t value, uint16_t index,
                      std::span<const uint8_t> sent, std::span<const uint8_t> received, bool ok,
                      uint32_t driverError) {
  std::string line;
  appendBytes(line, " out:", sent);
  appendBytes(line, " in:", received);
  if (ok) {
    NIVEXA_LOG(Transport, Debug, "%s 0x%02X value 0x%04X index 0x%04X%s", requestName(request),
               request, value, index, line.c_str());
  } else {
    NIVEXA_LOG(Transport, Warning, "%s 0x%02X value 0x%04X index 0x%04X%s failed (driver error %u)",
               requestName(request), request, value, index, line.c_str(), driverError);
  }
}

}  // namespace nivexa::transport
