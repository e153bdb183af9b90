// Which camera a handle opens, what the cameras are called, and what opening one does.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#ifndef _WIN32
#include "NivexaMessages.h"
#endif

#include "camera/CameraTestSupport.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/SensorRegisterMap.h"

namespace nivexa::camera::test {
namespace {

using Names = char[10][256];
using WideNames = wchar_t[10][256];

void scribble(Names& names) {
  for (auto& name : names) {
    std::memset(name, 'x', sizeof name);
  }
}

bool allEmpty(const Names& names, int from = 0) {
  return std::all_of(names + from, names + 10, [](const char* name) { return name[0] == '\0'; });
}

TEST(NoCameraAttached, NothingIsOpenedAndEveryListEntryIsEmpty) {
  Sink notify;
  const LONG h = Nivexa_Initialize(notify);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
  Names names;
  scribble(names);
  EXPECT_EQ(Nivexa_EnumDevice(h, names), 0);
  EXPECT_TRUE(allEmpty(names));
  WideNames wide;
  for (auto& name : wide) {
    std::fill(std::begin(name), std::end(name), L'x');
  }
  EXPECT_EQ(Nivexa_EnumDeviceW(h, wide), 0);
  EXPECT_TRUE(std::all_of(wide, wide + 10, [](const wchar_t* name) { return name[0] == L'\0'; }))
      << "the wide list is emptied too when nothing is listed";
  EXPECT_EQ(Nivexa_SnapShot(h, nullptr, 0, 0), 0);
  EXPECT_EQ(Nivexa_StartPreview(h), 0);
  EXPECT_EQ(Nivexa_Capture(h), 0);
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{2, 2, 2}));
  Nivexa_Release(h);
}

TEST_F(CameraTest, TheOnlyCameraIsOpenedAtInitializationAndCooled) {
  std::vector<uint8_t> image(kFullFrame8);
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), static_cast<LONG>(image.size()), 1), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
  EXPECT_EQ(camera_->fpgaRegister(sim::fpga::kCooler) & 1, 1) << "the cooler is switched on";
  EXPECT_TRUE(std::any_of(image.begin(), image.end(), [](uint8_t v) { return v != 0; }));
}

TEST_F(CameraTest, SelectingTheOpenDeviceAgainDoesNotReopenIt) {
  camera_->clearTrace();
  EXPECT_EQ(Nivexa_SetDeviceNumber(h_, 0), 1);
  EXPECT_TRUE(camera_->trace().empty()) << "no register was touched";
  EXPECT_EQ(Nivexa_SetDeviceNumber(h_, 0), 1);
  EXPECT_TRUE(camera_->trace().empty());
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(CameraTest, AnInvalidDeviceNumberKeepsTheOpenDevice) {
  EXPECT_EQ(Nivexa_SetDeviceNumber(h_, 1), 0);
  EXPECT_EQ(Nivexa_SetDeviceNumber(h_, -1), 0);
  EXPECT_EQ(Nivexa_SetDeviceNumber(h_, 0x7FFFFFFF), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{2, 2, 2}));
  EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 1) << "device 0 is still open";
}

TEST_F(CameraTest, DeviceNamesNeedSeventeenBytesAndAValidIndex) {
  char name[64];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(Nivexa_GetDeviceName(h_, 0, name, 16), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{9});
  EXPECT_EQ(name[0], 'x') << "nothing written on refusal";
  ASSERT_EQ(Nivexa_GetDeviceName(h_, 0, name, 17), 1);
  EXPECT_STREQ(name, "NivexaM7QXTEC_01");
  EXPECT_EQ(name[17], 'x') << "nothing past the terminator";
  EXPECT_EQ(Nivexa_GetDeviceName(h_, 1, name, 64), 0);
  EXPECT_EQ(Nivexa_GetDeviceName(h_, -1, name, 64), 0);
  EXPECT_EQ(Nivexa_GetDeviceName(h_, 32, name, 64), 0);
  EXPECT_EQ(Nivexa_GetDeviceName(h_, 0, nullptr, 64), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{9, 2, 2, 2}));

  wchar_t wide[17];
  EXPECT_EQ(Nivexa_GetDeviceNameW(h_, 0, wide, 17), 1);
  EXPECT_EQ(std::wstring(wide), L"NivexaM7QXTEC_01");
  EXPECT_EQ(Nivexa_GetDeviceNameW(h_, 0, wide, 16), 0) << "16 characters and no room for the end";
  EXPECT_EQ(errors(), std::vector<LONG>{12});
}

TEST_F(CameraTest, SerialNumberIsReadFromDeviceMemory) {
  char serial[40];
  std::memset(serial, 'x', sizeof serial);
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h_, serial, 31), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{9});
  ASSERT_EQ(Nivexa_ReadSerialNumberA(h_, serial, 32), 1);
  EXPECT_STREQ(serial, "VC0001");
  wchar_t wide[8];
  ASSERT_EQ(Nivexa_ReadSerialNumberW(h_, wide, 7), 1);
  EXPECT_EQ(std::wstring(wide), L"VC0001");
  EXPECT_EQ(Nivexa_ReadSerialNumberW(h_, wide, 6), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{12});
}

// A notification window that is gone cannot be registered for device notices: the handle is
// made, says why with error 9, opens nothing, and every later call still answers safely.
TEST_F(CameraTest, AnUnpluggedCameraOpensAgainOnceItIsBack) {
  std::vector<uint8_t> image(kFullFrame8);
  const auto size = static_cast<LONG>(image.size());
  camera_->unplug();
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), size, 1), 0);
  camera_->replug();
  EXPECT_FALSE(drainErrors(h_).empty()) << "the failed snapshot was reported";
  EXPECT_EQ(Nivexa_SetDeviceNumber(h_, 0), 1) << "the camera opens again after its arrival";
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), size, 1), 1);
#ifndef _WIN32
  // Linux: the notification window hears of the removal and the arrival (on Windows the system
  // announces only the cameras its driver serves).
  constexpr std::array<uint8_t, 16> kCameraClass = {0x32, 0x81, 0x84, 0xC5, 0x93, 0xE6, 0x49, 0xB7,
                                                    0x94, 0xB8, 0x2A, 0xDA, 0x13, 0xAA, 0xBB, 0x39};
  std::vector<std::pair<uintptr_t, const NivexaDeviceInterfaceRecord*>> notices;
  // Unplugging and plugging in are announced by the driver's thread just after; creating and
  // removing a camera before the call returns. Either way two notices are awaited.
  auto collect = [&] {
    notices.clear();
    nivexa::test::TestMessage m{};
    while (notices.size() < 2 && nextMessage(notify_, m)) {
      if (m.message == NIVEXA_WM_DEVICECHANGE) {
        notices.emplace_back(m.wParam,
                             reinterpret_cast<const NivexaDeviceInterfaceRecord*>(m.lParam));
      }
    }
  };
  collect();
  ASSERT_EQ(notices.size(), 2u) << "one removal, one arrival";
  EXPECT_EQ(notices[0].first, uintptr_t{NIVEXA_DBT_DEVICEREMOVECOMPLETE});
  EXPECT_EQ(notices[1].first, uintptr_t{NIVEXA_DBT_DEVICEARRIVAL});
  const NivexaDeviceInterfaceRecord* record = notices[0].second;
  EXPECT_EQ(notices[1].second, record) << "one record per interface, kept";
  EXPECT_EQ(record->size, sizeof(NivexaDeviceInterfaceRecord));
  EXPECT_EQ(record->deviceType, uint32_t{NIVEXA_DBT_DEVTYP_DEVICEINTERFACE});
  EXPECT_TRUE(std::equal(kCameraClass.begin(), kCameraClass.end(), record->classGuid));
  const std::string name = record->name;
  EXPECT_EQ(name.rfind("\\\\?\\usb#vid_04b4&pid_", 0), 0u) << name;
  EXPECT_NE(name.find("#{328184c5-93e6-49b7-94b8-2ada13aabb39}"), std::string::npos) << name;

  // Another camera plugged in and taken away is heard of too, under a name of its own.
  auto second = sim::createCamera(fastCamera("VC0002"));
  sim::removeCamera(second);
  collect();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].first, uintptr_t{NIVEXA_DBT_DEVICEARRIVAL});
  EXPECT_EQ(notices[1].first, uintptr_t{NIVEXA_DBT_DEVICEREMOVECOMPLETE});
  EXPECT_NE(std::string(notices[0].second->name), name);
#endif
}

TEST(DeadNotificationWindow, InitializationStopsWithErrorNineAndTheHandleStaysUsable) {
  auto camera = sim::createCamera(fastCamera("DEAD01"));
  HWND dead = nivexa::test::createTestWindow();
  nivexa::test::destroyTestWindow(dead);
  const LONG h = Nivexa_Initialize(dead);
  ASSERT_NE(h, 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{9});
  std::vector<uint8_t> image(kFullFrame8);
  EXPECT_EQ(Nivexa_SnapShot(h, image.data(), static_cast<LONG>(image.size()), 1), 0);
  EXPECT_EQ(Nivexa_StartPreview(h), 0);
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_Fpga_ReadRegister(h, sim::fpga::kVersionLow, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{6, 2, 2})) << "nothing was opened";
  EXPECT_EQ(camera->frameCount(), 0u);
  Nivexa_Release(h);
  sim::removeCamera(camera);
}

class TwoCameras : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = sim::createCamera(fastCamera("VC0001"));
    second_ = sim::createCamera(fastCamera("VC0002"));
  }
  void TearDown() override {
    sim::removeCamera(first_);
    sim::removeCamera(second_);
  }
  std::shared_ptr<sim::Camera> first_;
  std::shared_ptr<sim::Camera> second_;
};

TEST_F(TwoCameras, NeitherIsOpenedUntilTheApplicationChooses) {
  nivexa::test::Handle h;
  EXPECT_EQ(Nivexa_SnapShot(h, nullptr, 0, 0), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{2});
  Names names;
  scribble(names);
  ASSERT_EQ(Nivexa_EnumDevice(h, names), 2);
  EXPECT_STREQ(names[0], "NivexaM7QXTEC_01");
  EXPECT_STREQ(names[1], "NivexaM7QXTEC_02");
  EXPECT_TRUE(allEmpty(names, 2));

  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 1), 1);
  char serial[32] = {};
  ASSERT_EQ(Nivexa_ReadSerialNumberA(h, serial, 32), 1);
  const std::string chosen = serial;
  EXPECT_TRUE(chosen == "VC0001" || chosen == "VC0002");
  EXPECT_EQ(Nivexa_SnapShot(h, nullptr, 0, 0), 1);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1);
  ASSERT_EQ(Nivexa_ReadSerialNumberA(h, serial, 32), 1);
  EXPECT_NE(std::string(serial), chosen) << "the other camera is open now";
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
}

// Before a camera is chosen there is no sensor to take the mirror flags: they are kept without an
// error, and the camera opened later has flags that agree with its own sensor.
TEST_F(TwoCameras, MirrorFlagsSetBeforeTheChoiceAreKeptAndTheChosenCameraAgreesWithItsFlags) {
  // Bit 0 vertical, bit 1 horizontal, of whichever camera was opened (the other stays at 0).
  auto sensorMirrorBits = [&] {
    return (first_->sensorRegister(sim::sensor::kMirror) |
            second_->sensorRegister(sim::sensor::kMirror)) &
           3;
  };
  nivexa::test::Handle h;
  drainErrors(h);
  EXPECT_EQ(Nivexa_SetMirrorH(h, 5), 1);
  EXPECT_EQ(Nivexa_SetMirrorV(h, -1), 1);
  EXPECT_EQ(Nivexa_GetMirrorH(h), 1);
  EXPECT_EQ(Nivexa_GetMirrorV(h), 1);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});

  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1);
  EXPECT_EQ(sensorMirrorBits(), Nivexa_GetMirrorH(h) << 1 | Nivexa_GetMirrorV(h));
  EXPECT_EQ(Nivexa_SetMirrorH(h, 1), 1);
  EXPECT_EQ(sensorMirrorBits() & 2, 2);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
}

}  // namespace
}  // namespace nivexa::camera::test
