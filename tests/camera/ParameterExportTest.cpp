// The named parameter exports that are not filter ids, against a virtual camera.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "camera/ParameterTestSupport.h"

namespace nivexa::camera::test {
namespace {

using Codes = std::vector<LONG>;

constexpr uint16_t kMirrorRegister = 0x404;  // bit 0 vertical, bit 1 horizontal
constexpr uint8_t kIoPortRegister = 7;
constexpr uint8_t kCorrectionRegister = 209;  // bit 0: in-camera defect correction

using ExposureUnits = OpenCameraTest;

TEST_F(ExposureUnits, RealTimeIsTruncatedToWholeTicks) {
  EXPECT_EQ(Nivexa_SetRealExposureTime(h_, 1234), 1);
  EXPECT_EQ(stored().exposureTicks.load(), 12);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetRealExposureTime(h_, &ok), 1200);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_GetExposureTime(h_, &ok), 12) << "the sensor got the same ticks";
  EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h_, &ok), 0.0012) << "and the seconds followed";
  EXPECT_EQ(stored().realExposureUs.load(), 1200);
  EXPECT_TRUE(drainErrors(h_).empty());
}

TEST_F(ExposureUnits, RealTimeOutsideTheTickRangeIsRefused) {
  EXPECT_EQ(Nivexa_SetRealExposureTime(h_, 2000000), 1);
  EXPECT_EQ(Nivexa_SetRealExposureTime(h_, 100), 1);
  camera_->clearTrace();
  for (LONG us :
       std::initializer_list<LONG>{99, 0, -100, 2000100, std::numeric_limits<LONG>::max()}) {
    EXPECT_EQ(Nivexa_SetRealExposureTime(h_, us), 0) << us;
    EXPECT_EQ(drainErrors(h_), Codes{9}) << us;
  }
  EXPECT_EQ(writesSeen(), 0u);
  EXPECT_EQ(stored().exposureTicks.load(), 1);
}

TEST_F(ExposureUnits, SecondsSetTheTicksAndTheRealTime) {
  EXPECT_EQ(Nivexa_SetExposureTimeEx(h_, 0.5), 1);
  EXPECT_EQ(stored().exposureTicks.load(), 5000);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetRealExposureTime(h_, &ok), 500000);
  EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h_, &ok), 0.5);
  EXPECT_EQ(ok, 1);
  const double signalAtHalf = camera_->imageSettings().signalScale;
  EXPECT_EQ(Nivexa_SetExposureTimeEx(h_, 0.25), 1);
  EXPECT_NEAR(camera_->imageSettings().signalScale / signalAtHalf, 0.5, 0.01);
  // Decimal seconds lie a hair below their binary doubles: the nearest tick, not the one below.
  for (const auto& [seconds, ticks] : {std::pair{0.0003, 3}, {0.0029, 29}, {0.0107, 107}}) {
    EXPECT_EQ(Nivexa_SetExposureTimeEx(h_, seconds), 1);
    EXPECT_EQ(stored().exposureTicks.load(), ticks) << seconds;
    EXPECT_EQ(Nivexa_GetRealExposureTime(h_, &ok), ticks * 100) << seconds;
  }
  EXPECT_TRUE(drainErrors(h_).empty());
}

TEST_F(ExposureUnits, SecondsBeyondTheSensorLimitStoreWhatTheSensorTook) {
  EXPECT_EQ(Nivexa_SetExposureTimeEx(h_, 5.0), 1);
  BOOL ok = 0;
  EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h_, &ok), 2.0);
  EXPECT_EQ(stored().exposureTicks.load(), 20000) << "never beyond the tick range";
  EXPECT_EQ(Nivexa_GetRealExposureTime(h_, &ok), 2000000);
}

TEST_F(ExposureUnits, SecondsWithoutAValueAreRefused) {
  EXPECT_EQ(Nivexa_SetExposureTimeEx(h_, 0.01), 1);
  for (double seconds : {std::nan(""), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(Nivexa_SetExposureTimeEx(h_, seconds), 0);
    EXPECT_EQ(drainErrors(h_), Codes{9});
  }
  EXPECT_EQ(stored().exposureTicks.load(), 100);
}

using Temperature = OpenCameraTest;

TEST_F(Temperature, FollowsTheCoolerOfTheVirtualCamera) {
  BOOL ok = 0;
  double first = 0.0;
  EXPECT_EQ(recordedDuring(h_, [&] { first = Nivexa_GetTemperatureEx(h_, &ok); }),
            Codes{NIVEXA_OK});
  EXPECT_EQ(ok, 1);
  EXPECT_NEAR(first, camera_->sensorTemperature(), 0.5);
  EXPECT_LT(first, 26.0);
  EXPECT_GT(first, -10.0);
}

// A camera that is gone has no temperature and no cooler state: neither reads as a success.
TEST_F(Temperature, AndTheCoolerAreNotReadFromACameraThatIsGone) {
  camera_->unplug();
  BOOL ok = 1;
  double celsius = 99.0;
  EXPECT_EQ(recordedDuring(h_, [&] { celsius = Nivexa_GetTemperatureEx(h_, &ok); }),
            Codes{NIVEXA_ERR_TEXT});
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(celsius, 0.0);
  ok = 1;
  LONG cooler = 0;
  EXPECT_EQ(recordedDuring(h_, [&] { cooler = Nivexa_GetPeltier(h_, &ok); }),
            Codes{NIVEXA_ERR_REGISTER});
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(cooler, -1);
  camera_->replug();
}

using Mirrors = OpenCameraTest;

TEST_F(Mirrors, BothFlagsReachTheSensorAndAreStoredAsZeroOrOne) {
  EXPECT_EQ(Nivexa_SetMirrorH(h_, 7), 1);
  EXPECT_EQ(Nivexa_GetMirrorH(h_), 1);
  EXPECT_EQ(camera_->sensorRegister(kMirrorRegister) & 3, 2);
  EXPECT_EQ(Nivexa_SetMirrorV(h_, -1), 1);
  EXPECT_EQ(Nivexa_GetMirrorV(h_), 1);
  EXPECT_EQ(camera_->sensorRegister(kMirrorRegister) & 3, 3);
  EXPECT_TRUE(camera_->imageSettings().mirrorH);
  EXPECT_TRUE(camera_->imageSettings().mirrorV);
  EXPECT_EQ(Nivexa_SetMirrorH(h_, 0), 1);
  EXPECT_EQ(Nivexa_GetMirrorH(h_), 0);
  EXPECT_EQ(camera_->sensorRegister(kMirrorRegister) & 3, 1);
  EXPECT_TRUE(drainErrors(h_).empty());
}

TEST_F(Mirrors, AFailedWriteIsReportedAndLeavesTheFlag) {
  camera_->unplug();
  EXPECT_EQ(Nivexa_SetMirrorH(h_, 1), 0);
  EXPECT_EQ(Nivexa_SetMirrorV(h_, 1), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{6, 6}));
  EXPECT_EQ(Nivexa_GetMirrorH(h_), 0);
  EXPECT_EQ(Nivexa_GetMirrorV(h_), 0);
  camera_->replug();
}

using StoredValues = OpenCameraTest;

TEST_F(StoredValues, SubsampleAndWaitTimeRefuseSilently) {
  EXPECT_EQ(Nivexa_SetSubSample(h_, 1), 1);
  EXPECT_EQ(Nivexa_SetSubSample(h_, 2), 0);
  EXPECT_EQ(Nivexa_SetSubSample(h_, -1), 0);
  EXPECT_EQ(Nivexa_GetSubSample(h_), 1);
  EXPECT_EQ(Nivexa_SetWaitTime(h_, 0), 1);
  EXPECT_EQ(Nivexa_SetWaitTime(h_, -1), 0);
  EXPECT_EQ(Nivexa_GetWaitTime(h_), 0);
  EXPECT_TRUE(drainErrors(h_).empty());
  EXPECT_TRUE(drainPosted().empty());
}

TEST_F(StoredValues, AutoIrisTakesThreeModesAndOnlyPostsItsRefusal) {
  BOOL ok = 0;
  for (LONG mode : {0, 1, 2}) {
    EXPECT_EQ(Nivexa_SetAutoIris(h_, mode), 1);
    EXPECT_EQ(Nivexa_GetAutoIris(h_, &ok), mode);
    EXPECT_EQ(ok, 1);
  }
  EXPECT_EQ(Nivexa_SetAutoIris(h_, 3), 0);
  EXPECT_EQ(Nivexa_SetAutoIris(h_, -1), 0);
  EXPECT_EQ(Nivexa_GetAutoIris(h_, &ok), 2);
  EXPECT_TRUE(drainErrors(h_).empty());
  EXPECT_EQ(drainPosted(), (Codes{9, 9}));
}

using ColourModes = OpenCameraTest;

TEST_F(ColourModes, ThisSensorTakesOnlyMonochromeDepths) {
  EXPECT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  EXPECT_EQ(Nivexa_GetColorMode(h_), 16);
  for (LONG bits : {24, 32, 48, 64, 12, 0, -8}) {
    EXPECT_EQ(Nivexa_SetColorMode(h_, bits), 0) << bits;
    EXPECT_EQ(drainErrors(h_), Codes{9}) << bits;
  }
  EXPECT_EQ(Nivexa_GetColorMode(h_), 16) << "refusals keep the mode";
  EXPECT_EQ(Nivexa_SetColorMode(h_, 8), 1);
  EXPECT_EQ(Nivexa_GetColorMode(h_), 8);
}

using ColourModesWithoutDevice = NoCameraTest;

TEST_F(ColourModesWithoutDevice, EveryDepthIsAcceptedUntilASensorSaysOtherwise) {
  for (LONG bits : {8, 16, 24, 32, 48, 64}) {
    EXPECT_EQ(Nivexa_SetColorMode(h_, bits), 1) << bits;
    EXPECT_EQ(Nivexa_GetColorMode(h_), bits);
  }
  EXPECT_EQ(Nivexa_SetColorMode(h_, 12), 0);
  EXPECT_EQ(drainErrors(h_), Codes{9});
}

using IoPort = OpenCameraTest;

TEST_F(IoPort, WritesAndReadsFpgaRegisterSeven) {
  EXPECT_EQ(Nivexa_SetIOPort(h_, 0xA5), 1);
  EXPECT_EQ(camera_->fpgaRegister(kIoPortRegister), 0xA5);
  BYTE value = 0;
  EXPECT_EQ(Nivexa_GetIOPort(h_, &value), 1);
  EXPECT_EQ(value, 0xA5);
  EXPECT_EQ(Nivexa_GetIOPort(h_, nullptr), 0);
  EXPECT_TRUE(drainErrors(h_).empty());
  EXPECT_EQ(drainPosted(), Codes{9});
}

TEST_F(IoPort, AFailedReadOnlyPostsAndLeavesTheCallersByte) {
  camera_->unplug();
  BYTE value = 0x3C;
  EXPECT_EQ(Nivexa_GetIOPort(h_, &value), 0);
  EXPECT_EQ(value, 0x3C);
  EXPECT_EQ(Nivexa_SetIOPort(h_, 1), 0);
  EXPECT_TRUE(drainErrors(h_).empty());
  EXPECT_EQ(drainPosted(), Codes{9});
  camera_->replug();
}

using InternalCorrection = OpenCameraTest;

TEST_F(InternalCorrection, SwitchesTheCamerasDefectCorrection) {
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_SetInternalCorrection(h_, 1), 1);
  EXPECT_EQ(camera_->fpgaRegister(kCorrectionRegister) & 1, 1);
  EXPECT_TRUE(camera_->imageSettings().correctDefects);
  EXPECT_EQ(Nivexa_GetInternalCorrection(h_, &ok), 1);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_SetInternalCorrection(h_, 0), 1);
  EXPECT_EQ(camera_->fpgaRegister(kCorrectionRegister) & 1, 0);
  EXPECT_EQ(Nivexa_GetInternalCorrection(h_, &ok), 0);
  EXPECT_TRUE(drainErrors(h_).empty());
}

class InternalCorrectionAbsent : public OpenCameraTest {
 protected:
  sim::CameraOptions cameraOptions() const override {
    sim::CameraOptions options = OpenCameraTest::cameraOptions();
    options.fpgaVersion = 0x0130;  // an FPGA without the correction
    return options;
  }
};

TEST_F(InternalCorrectionAbsent, IsUnsupportedAndOnlyPosted) {
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_GetInternalCorrection(h_, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Nivexa_SetInternalCorrection(h_, 1), 0);
  EXPECT_EQ(camera_->fpgaRegister(kCorrectionRegister) & 1, 0);
  EXPECT_TRUE(drainErrors(h_).empty());
  EXPECT_EQ(drainPosted(), (Codes{11, 11}));
}

using CameraInfo = OpenCameraTest;

// The record filled into raw memory of the given size, the rest of it marked.
std::vector<uint8_t> cameraInfo(LONG h, int32_t size, BOOL& result) {
  std::vector<uint8_t> memory(64, 0xAB);
  std::memcpy(memory.data(), &size, sizeof size);
  result = Nivexa_GetCameraInfo(h, reinterpret_cast<NivexaCameraInfo*>(memory.data()));
  return memory;
}

int32_t int32At(const std::vector<uint8_t>& memory, size_t offset) {
  int32_t value = 0;
  std::memcpy(&value, memory.data() + offset, sizeof value);
  return value;
}

double doubleAt(const std::vector<uint8_t>& memory, size_t offset) {
  double value = 0;
  std::memcpy(&value, memory.data() + offset, sizeof value);
  return value;
}

bool untouchedFrom(const std::vector<uint8_t>& memory, size_t offset) {
  for (size_t i = offset; i < memory.size(); ++i) {
    if (memory[i] != 0xAB) {
      return false;
    }
  }
  return true;
}

TEST_F(CameraInfo, FullRecordCarriesTheSensorsLimits) {
  BOOL result = 0;
  const auto memory = cameraInfo(h_, 56, result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(int32At(memory, 0), 56);
  const int32_t expected[] = {2048, 1536, 0, 420, 0, 0, 1, 20000};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(int32At(memory, 4 + 4 * i), expected[i]) << "offset " << 4 + 4 * i;
  }
  EXPECT_EQ(int32At(memory, 36), static_cast<int32_t>(0xABABABAB)) << "padding not written";
  EXPECT_GT(doubleAt(memory, 40), 0.0);
  EXPECT_LT(doubleAt(memory, 40), 0.0001);
  EXPECT_DOUBLE_EQ(doubleAt(memory, 48), 2.0);
  EXPECT_TRUE(untouchedFrom(memory, 56));
}

TEST_F(CameraInfo, ShortRecordsGetNineFieldsAndNothingBeyond) {
  for (int32_t size : {36, 40, 55}) {
    BOOL result = 0;
    const auto memory = cameraInfo(h_, size, result);
    ASSERT_EQ(result, 1) << size;
    EXPECT_EQ(int32At(memory, 32), 20000) << size;
    EXPECT_TRUE(untouchedFrom(memory, 36)) << size;
  }
  EXPECT_TRUE(drainErrors(h_).empty());
}

TEST_F(CameraInfo, NullAndTooSmallRecordsAreRefused) {
  EXPECT_EQ(Nivexa_GetCameraInfo(h_, nullptr), 0);
  EXPECT_EQ(drainErrors(h_), Codes{9});
  for (int32_t size : {35, 0, -1}) {
    BOOL result = 1;
    const auto memory = cameraInfo(h_, size, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(drainErrors(h_), Codes{5});
    EXPECT_TRUE(untouchedFrom(memory, 4));
  }
}

using NullOkPointers = OpenCameraTest;

TEST_F(NullOkPointers, EveryGetterAnswersWithoutAFlagToSet) {
  EXPECT_EQ(Nivexa_SetBrightness(h_, 9), 1);
  EXPECT_EQ(Nivexa_SetRealExposureTime(h_, 1000), 1);
  const Codes codes = recordedDuring(h_, [&] {
    EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 9);
    EXPECT_EQ(Nivexa_GetFilterValue(h_, 28, nullptr), 0);
    EXPECT_EQ(Nivexa_GetTemperature(h_, nullptr), -1);
    EXPECT_EQ(Nivexa_GetRealExposureTime(h_, nullptr), 1000);
    EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h_, nullptr), 0.001);
    EXPECT_NEAR(Nivexa_GetTemperatureEx(h_, nullptr), camera_->sensorTemperature(), 0.5);
    EXPECT_EQ(Nivexa_GetInternalCorrection(h_, nullptr), 0);
    EXPECT_EQ(Nivexa_GetAutoIris(h_, nullptr), 0);
    EXPECT_EQ(Nivexa_GetPeltier(h_, nullptr), 1);
  });
  EXPECT_EQ(codes, (Codes{NIVEXA_OK, 11, 9}));
}

}  // namespace
}  // namespace nivexa::camera::test
