// Output path programming, geometry, exposure time-outs and internal correction.
#include <gtest/gtest.h>

#include "engine/EngineTestSupport.h"

namespace nivexa::engine::test {
namespace {

using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

class EngineTransfer : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    open();
    camera_->clearTrace();
  }
};

TEST_F(EngineTransfer, SixteenBitFullFrameProgramsSizeAndFormat) {
  ASSERT_EQ(engine_->SetOutputDepth(1), 1);
  EXPECT_EQ(engine_->FrameSize(), 2048u * 1536u * 2u);
  EXPECT_FALSE(engine_->TransferSetupNeeded());
  EXPECT_EQ(camera_->fpgaRegister(60), 2);
  EXPECT_TRUE(inOrder(writesTo(kFpga), Writes{{60, 2},
                                              {68, 0x00},
                                              {69, 0x08},
                                              {64, 0x00},
                                              {65, 0x06},
                                              {72, 25},
                                              {73, 0},
                                              {76, 112},
                                              {77, 0}}));
  camera_->clearTrace();
  ASSERT_EQ(engine_->SetOutputDepth(1), 1);
  EXPECT_FALSE(inOrder(writesTo(kFpga), Writes{{68, 0x00}})) << "same depth: nothing rebuilt";
  ASSERT_EQ(engine_->SetOutputDepth(0), 1);
  EXPECT_EQ(engine_->FrameSize(), 2048u * 1536u);
  EXPECT_EQ(camera_->fpgaRegister(60), 1);
}

TEST_F(EngineTransfer, HalfResolutionModeGivesA1024By768Frame) {
  ASSERT_EQ(engine_->SetReadoutWindow(0, 0, 2048, 1536, 1), 1);
  EXPECT_TRUE(engine_->TransferSetupNeeded());
  int x = -1, y = -1, width = 0, height = 0, mode = -1;
  ASSERT_EQ(engine_->GetReadoutWindow(&x, &y, &width, &height, &mode), 1);
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(height, 768);
  EXPECT_EQ(mode, 1);
  EXPECT_TRUE(inOrder(writesTo(kSensor), Writes{{0x322, 4}, {0x323, 0}}))
      << "the window starts at y = 4 in this mode";
  ASSERT_EQ(engine_->PrepareTransfer(), 1);
  EXPECT_EQ(engine_->FrameSize(), 1024u * 768u);
  EXPECT_TRUE(inOrder(writesTo(kFpga),
                      Writes{{68, 0x00}, {69, 0x04}, {64, 0x00}, {65, 0x03}, {72, 31}, {76, 52}}));
}

// A camera that refuses a register of the output path or of the window has not been prepared:
// that is the answer, and the next attempt prepares again.
TEST_F(EngineTransfer, RefusedWritesFailThePreparationAndTheWindow) {
  ASSERT_EQ(engine_->SetReadoutWindow(0, 0, 2048, 1536, 1), 1);
  camera_->setFault(sim::Fault::FpgaWriteFail);
  EXPECT_EQ(engine_->PrepareTransfer(), 0);
  EXPECT_TRUE(engine_->TransferSetupNeeded());
  EXPECT_EQ(engine_->StartCapture(1), 0) << "no stream into buffers the camera does not match";
  camera_->clearFaults();
  EXPECT_EQ(engine_->PrepareTransfer(), 1);
  EXPECT_FALSE(engine_->TransferSetupNeeded());

  camera_->setFault(sim::Fault::FpgaWriteFail);
  EXPECT_EQ(engine_->SetReadoutWindow(0, 0, 2048, 768, 0), 0) << "the FPGA's readout mode";
  camera_->clearFaults();
  EXPECT_EQ(engine_->SetReadoutWindow(0, 0, 2048, 768, 0), 1);
}

TEST_F(EngineTransfer, ReducedHeightShortensTheFrame) {
  ASSERT_EQ(engine_->SetReadoutWindow(0, 0, 2048, 768, 0), 1);
  // 768 lines + 84: frame length 852 = 0x354.
  EXPECT_TRUE(inOrder(writesTo(kSensor), Writes{{0x2D4, 0x54}, {0x2D5, 0x03}, {0x2D6, 0x00}}));
}

TEST_F(EngineTransfer, UnchangedWindowKeepsThePreparedTransfer) {
  ASSERT_EQ(engine_->PrepareTransfer(), 1);
  ASSERT_FALSE(engine_->TransferSetupNeeded());
  camera_->clearTrace();
  EXPECT_EQ(engine_->SetReadoutWindow(0, 0, 2048, 1536, 0), 1);
  EXPECT_FALSE(engine_->TransferSetupNeeded());
  EXPECT_TRUE(writesTo(kSensor).empty());
  EXPECT_EQ(engine_->SetReadoutWindow(4, 0, 2048, 1536, 0), 0) << "x not a multiple of 8";
}

TEST_F(EngineTransfer, LongExposuresStretchTheFrameTimeout) {
  EXPECT_EQ(engine_->FrameTimeout(), 5000u);
  engine_->SetExposureSeconds(3.0);
  EXPECT_EQ(engine_->FrameTimeout(), 4000u);
  engine_->SetExposureTicks(60000);
  EXPECT_EQ(engine_->FrameTimeout(), 12000u);
  engine_->SetExposureTicks(10000);
  EXPECT_EQ(engine_->FrameTimeout(), 5000u);
  double seconds = 0;
  ASSERT_EQ(engine_->GetExposureSeconds(&seconds), 1);
  EXPECT_NEAR(seconds, 1.0, 0.001);
}

TEST_F(EngineTransfer, InternalCorrectionFollowsFpgaRegister209) {
  ASSERT_EQ(engine_->InternalCorrectionSupported(), 1) << "FPGA version has bit 15";
  EXPECT_EQ(engine_->InternalCorrectionLevelMax(), 65535);
  ASSERT_EQ(engine_->SetInternalCorrection(1), 1);
  EXPECT_EQ(camera_->fpgaRegister(209) & 1, 1);
  EXPECT_EQ(engine_->GetInternalCorrection(), 1);
  camera_->clearTrace();
  EXPECT_EQ(engine_->SetInternalCorrection(1), 1);
  EXPECT_FALSE(inOrder(writesTo(kFpga), Writes{{209, 1}})) << "already on: no write";
  ASSERT_EQ(engine_->SetInternalCorrection(0), 1);
  EXPECT_EQ(camera_->fpgaRegister(209) & 1, 0);
  ASSERT_EQ(engine_->SetInternalCorrectionLevel(0x1234), 1);
  int level = 0;
  ASSERT_EQ(engine_->GetInternalCorrectionLevel(&level), 1);
  EXPECT_EQ(level, 0x1234);
  EXPECT_EQ(camera_->fpgaRegister(208), 0x34);
  EXPECT_EQ(camera_->fpgaRegister(210), 0x12);
}

TEST_F(EngineTransfer, RegisterAndEepromAccessReachTheCamera) {
  ASSERT_EQ(engine_->WriteFpgaRegister(0x107, 0x1AB), 1) << "address and value to 8 bits";
  EXPECT_EQ(camera_->fpgaRegister(7), 0xAB);
  int ok = 0;
  EXPECT_EQ(engine_->ReadFpgaRegister(7, &ok), 0xAB);
  EXPECT_EQ(ok, 1);
  ASSERT_EQ(engine_->WriteEepromUserByte(0x5C), 1);
  EXPECT_EQ(camera_->eepromByte(0x1080), 0x5C);
  uint8_t byte = 0;
  ASSERT_EQ(engine_->ReadEepromUserByte(byte), 1);
  EXPECT_EQ(byte, 0x5C);
  EXPECT_EQ(engine_->WaitFpgaReady(100), 1);
  camera_->unplug();
  EXPECT_EQ(engine_->ReadFpgaRegister(7, &ok), 0);
  EXPECT_EQ(ok, 0);
}

}  // namespace
}  // namespace nivexa::engine::test
