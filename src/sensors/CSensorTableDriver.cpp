#include "sensors/CSensorTableDriver.h"

#include <cstring>

#include "sensors/DiagnosticTrace.h"

namespace nivexa::sensors {

namespace {

int32_t supported(const family::FamilyRow& row, family::Group group) {
  return row.has(group) ? 1 : 0;
}

}  // namespace

CSensorTableDriver::CSensorTableDriver(transport::CControllerBase* controller,
                                       uint8_t deviceAddress, const family::FamilyRow& row,
                                       const char* driverName)
    : CSensorBase(controller, deviceAddress),
      row_(row),
      sonyRawAccess_(std::strncmp(driverName, "CSensorIMX", 10) == 0) {
  driverName_ = driverName;
  SensorInfo& s = info_;
  s.arrayWidth = row.arrayWidth;
  s.arrayHeight = row.arrayHeight;
  s.defaultWidth = row.arrayWidth;
  // A line-scan frame is as many lines as the window asks for; until one is chosen there is
  // none, rather than a frame of the 32768 lines that only mark the array as a line.
  s.defaultHeight = row.lineScan() ? 0 : row.arrayHeight;
  s.outputWidth = s.defaultWidth;
  s.outputHeight = s.defaultHeight;
  s.gainSupported = supported(row, family::kGain);
  s.blackLevelSupported = supported(row, family::kBlackLevel);
  s.secondsSupported = supported(row, family::kSeconds);
  s.fifthSupported = supported(row, family::kFifthParameter);
  s.mirrorVSupported = supported(row, family::kMirrorV);
  s.mirrorHSupported = supported(row, family::kMirrorH);
  s.outputDepth = row.fixedDepthBits;
  s.orientation = row.orientation;
}

CSensorTableDriver::~CSensorTableDriver() = default;

int CSensorTableDriver::PreInitCheck() {
  diagnosticTrace("%s: no register programming for product 0x%04X in this library", driverName_,
                  row_.productId);
  return 0;
}

int CSensorTableDriver::GetReadoutWindow(int* x, int* width, int* y, int* height, int* mode) {
  for (auto [out, value] : {std::pair{x, info_.windowX},
                            {width, info_.outputWidth},
                            {y, info_.windowY},
                            {height, info_.outputHeight},
                            {mode, info_.readoutMode}}) {
    if (out != nullptr) {
      *out = value;
    }
  }
  return 1;
}

int CSensorTableDriver::WriteSensorRegisterRaw(uint16_t address, uint8_t value) {
  return sonyRawAccess_ ? RawWrite(address, value) : 0;
}

int CSensorTableDriver::ReadSensorRegisterRaw(uint16_t address, uint8_t* value) {
  return sonyRawAccess_ ? RawRead(address, value) : 0;
}

int CSensorTableDriver::HasCooling() {
  return supported(row_, family::kCooling);
}

int CSensorTableDriver::HasTemperature() {
  return supported(row_, family::kTemperature);
}

int CSensorTableDriver::HasGainMode() {
  return supported(row_, family::kGainMode);
}

int CSensorTableDriver::AcceptsColourFormats() {
  return row_.has(family::kNoColourFormats) ? 0 : 1;
}

}  // namespace nivexa::sensors
