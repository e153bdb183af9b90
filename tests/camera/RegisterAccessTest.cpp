// Service access to the camera's FPGA, sensor and memory through the exports: values reach the
// chips with the documented masks, `ok` tells success from failure whatever the caller put in
// it, and failures leave the documented errors.
#include <algorithm>

#include "camera/CameraTestSupport.h"
#include "sim/EepromMap.h"
#include "sim/FpgaRegisterMap.h"

namespace nivexa::camera::test {
namespace {

// The error codes posted to the notification window since the last call, oldest first.
std::vector<LONG> postedErrors(const Sink& sink) {
  std::vector<LONG> codes;
  for (const auto& message : sink.take()) {
    if (message.message == NIVEXA_WM_ERROR) {
      codes.push_back(static_cast<LONG>(message.lParam));
    }
  }
  return codes;
}

using RegisterAccess = CameraTest;

TEST_F(RegisterAccess, TheFpgaVersionIsReadWithOkSetWhateverTheCallerPutInIt) {
  BOOL lowOk = 0;
  BOOL highOk = 7;
  const LONG low = Nivexa_Fpga_ReadRegister(h_, sim::fpga::kVersionLow, &lowOk);
  const LONG high = Nivexa_Fpga_ReadRegister(h_, 0x100 | sim::fpga::kVersionHigh, &highOk);
  EXPECT_EQ(lowOk, 1);
  EXPECT_EQ(highOk, 1) << "the address is taken modulo 256";
  EXPECT_EQ((high << 8) | low, sim::CameraOptions{}.fpgaVersion);
  EXPECT_EQ(errors(), std::vector<LONG>{});
  EXPECT_EQ(Nivexa_Fpga_ReadRegister(h_, sim::fpga::kVersionLow, nullptr), low)
      << "ok may be left out";
}

TEST_F(RegisterAccess, AnFpgaWriteSendsTheLowByteToTheMaskedAddress) {
  EXPECT_EQ(Nivexa_Fpga_WriteRegister(h_, 0x300 | sim::fpga::kIoPort, 0x1A5), 1);
  EXPECT_EQ(camera_->fpgaRegister(sim::fpga::kIoPort), 0xA5);
  BYTE port = 0;
  EXPECT_EQ(Nivexa_GetIOPort(h_, &port), 1);
  EXPECT_EQ(port, 0xA5);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(RegisterAccess, SensorRegistersAreWrittenAndReadBackShortAndLongAddressed) {
  // The short forms keep the low 8 bits of the address; the Ex forms reach the whole map.
  EXPECT_EQ(Nivexa_WriteRegister(h_, 0x1255, 0x5C), 1);
  EXPECT_EQ(camera_->sensorRegister(0x55), 0x5C);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_ReadRegister(h_, 0x55, &ok), 0x5C);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_WriteRegisterEx(h_, 0x7F3, 0x3A), 1);
  EXPECT_EQ(camera_->sensorRegister(0x7F3), 0x3A);
  ok = 0;
  EXPECT_EQ(Nivexa_ReadRegisterEx(h_, 0x7F3, &ok), 0x3A);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(RegisterAccess, EveryRegisterAccessOfAnUnpluggedCameraFailsWithErrorSix) {
  camera_->unplug();
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_Fpga_ReadRegister(h_, sim::fpga::kVersionLow, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Nivexa_Fpga_WriteRegister(h_, sim::fpga::kIoPort, 1), 0);
  ok = 1;
  EXPECT_EQ(Nivexa_ReadRegister(h_, 0x55, &ok), 0);
  EXPECT_EQ(ok, 0);
  ok = 1;
  EXPECT_EQ(Nivexa_ReadRegisterEx(h_, 0x7F3, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Nivexa_WriteRegister(h_, 0x55, 1), 0);
  EXPECT_EQ(Nivexa_WriteRegisterEx(h_, 0x7F3, 1), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{6, 6, 6, 6, 6, 6}));
}

TEST_F(RegisterAccess, TheMemoryFunctionsStayInTheUserAreaAndLeaveTheSerialNumberAlone) {
  const uint8_t serialFirst = camera_->eepromByte(sim::eeprom::kSerialNumber);
  const uint16_t userTwin = sim::eeprom::kSerialNumber & 0x0FFF;
  EXPECT_EQ(Nivexa_WriteSromID(h_, sim::eeprom::kSerialNumber, 0x1234), 1);
  EXPECT_EQ(camera_->eepromByte(sim::eeprom::kSerialNumber), serialFirst);
  EXPECT_EQ(camera_->eepromByte(userTwin), 0x34) << "the low byte at the 12-bit address";
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_ReadSromID(h_, userTwin, &ok), 0x34);
  EXPECT_EQ(ok, 1);
  ok = 0;
  EXPECT_EQ(Nivexa_ReadSromID(h_, 0xF000 | userTwin, &ok), 0x34) << "bits 12 to 15 are cleared";
  EXPECT_EQ(ok, 1);
  char serial[64] = {};
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h_, serial, sizeof serial), 1);
  EXPECT_STREQ(serial, "VC0001");
  EXPECT_EQ(errors(), std::vector<LONG>{});
  EXPECT_EQ(postedErrors(notify_), std::vector<LONG>{});
}

TEST_F(RegisterAccess, AMemoryThatTakesNoWriteOrReadOnlyPostsErrorOne) {
  camera_->setFault(sim::Fault::EepromWriteFail);
  EXPECT_EQ(Nivexa_WriteSromID(h_, 0x10, 0x42), 0);
  camera_->clearFaults();
  camera_->unplug();
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_ReadSromID(h_, 0x10, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(errors(), std::vector<LONG>{}) << "applications poll these: nothing is recorded";
  EXPECT_EQ(postedErrors(notify_), (std::vector<LONG>{1, 1}));
}

}  // namespace
}  // namespace nivexa::camera::test
