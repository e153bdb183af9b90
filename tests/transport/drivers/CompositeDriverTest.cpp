#include "transport/drivers/CompositeDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "platform/Process.h"
#include "transport/drivers/VirtualCameraEnvironment.h"
#include "transport/drivers/VirtualCameraRig.h"

namespace nivexa::transport {
namespace {

TEST(CompositeDriver, MergesBackendsAndKeepsHandlesUnique) {
  sim::CameraSet a;
  sim::CameraSet b;
  a.add({});
  b.add({});
  b.add({});
  CompositeDriver driver;
  driver.add(std::make_shared<VirtualCameraBackend>(a));
  driver.add(std::make_shared<VirtualCameraBackend>(b));
  auto paths = driver.enumerate(kCameraInterfaceGuid);
  ASSERT_EQ(paths.size(), 3u);

  // Both backends number their handles from 1; the composite must not.
  std::set<DeviceHandle> handles;
  for (const auto& p : paths) {
    DeviceHandle h = driver.open(p, false);
    ASSERT_NE(h, kInvalidDeviceHandle);
    handles.insert(h);
  }
  EXPECT_EQ(handles.size(), 3u);

  // Each handle reaches its own camera: program the I/O port of each differently.
  uint8_t value = 1;
  for (DeviceHandle h : handles) {
    auto block = testing::vendorBlock(0x40, 0x30, 3, 0x40, {0x07, 0x00, value++});
    EXPECT_TRUE(driver.ioctl(h, kIoctlVendorRequest, block, block, nullptr).ok);
  }
  EXPECT_EQ(a.entries()[0].camera->fpgaRegister(0x07), 1);
  EXPECT_EQ(b.entries()[0].camera->fpgaRegister(0x07), 2);
  EXPECT_EQ(b.entries()[1].camera->fpgaRegister(0x07), 3);

  DeviceHandle first = *handles.begin();
  driver.close(first);
  std::vector<uint8_t> speed(4);
  EXPECT_EQ(driver.ioctl(first, kIoctlBusSpeed, {}, speed, nullptr).error, kErrorInvalidHandle);
  EXPECT_EQ(driver.open("\\\\?\\usb#vid_04b4&pid_33d0#nothing#{x}", false), kInvalidDeviceHandle);
}

TEST(VirtualCameraEnvironment, CreatesCamerasFromCountOrOptionLists) {
  std::string error;
  sim::CameraSet set;
  EXPECT_EQ(createVirtualCameras(set, "2", error), 2);
  auto entries = set.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].camera->options().serial, "VC0001");
  EXPECT_EQ(entries[1].camera->options().serial, "VC0002");

  sim::CameraSet named;
  EXPECT_EQ(createVirtualCameras(named, "serial=AB12,pacing=fast,ambient=30; pid=0x33c0", error),
            2);
  entries = named.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].camera->options().serial, "AB12");
  EXPECT_EQ(entries[0].camera->options().pacing, sim::Pacing::Fast);
  EXPECT_DOUBLE_EQ(entries[0].camera->options().ambientC, 30.0);
  EXPECT_EQ(entries[1].camera->options().productId, 0x33C0);
  EXPECT_EQ(entries[1].camera->options().serial, "VC0002");

  sim::CameraSet bad;
  for (const char* text : {"serial=A,colour=red", "pacing=slow", "x", "40", "serial="}) {
    error.clear();
    EXPECT_EQ(createVirtualCameras(bad, text, error), 0) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  EXPECT_TRUE(bad.entries().empty());
}

TEST(VirtualCameraEnvironment, ProcessDriverFollowsTheVariableWhileNoDeviceIsOpen) {
  auto listed = [] { return fx3Driver().enumerate(kCameraInterfaceGuid); };
  ASSERT_TRUE(platform::setEnvironmentVariable(kVirtualCamerasVariable, "serial=ENV1;serial=ENV2"));
  const auto paths = listed();
  EXPECT_EQ(paths.size(), 2u);
  // Cameras made through sim:: calls are listed beside them and survive changes of the variable.
  auto extra = sim::createCamera({});
  EXPECT_EQ(listed().size(), 3u);

  // An open device keeps the cameras as they are, whatever the variable says meanwhile.
  ASSERT_FALSE(paths.empty());
  const DeviceHandle handle = fx3Driver().open(paths.front(), false);
  ASSERT_NE(handle, kInvalidDeviceHandle);
  ASSERT_TRUE(platform::setEnvironmentVariable(kVirtualCamerasVariable, "3"));
  EXPECT_EQ(listed().size(), 3u);
  fx3Driver().close(handle);

  // With nothing open, threads that enumerate at once make the new value's cameras once.
  std::vector<std::thread> threads;
  std::vector<size_t> counts(4);
  for (size_t i = 0; i < counts.size(); ++i) {
    threads.emplace_back([&, i] { counts[i] = listed().size(); });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (size_t count : counts) {
    EXPECT_EQ(count, 4u);
  }
  const auto now = listed();
  EXPECT_EQ(std::count(now.begin(), now.end(), paths.front()), 0);
  EXPECT_EQ(std::count(now.begin(), now.end(), paths.back()), 0);

  platform::setEnvironmentVariable(kVirtualCamerasVariable, nullptr);
  EXPECT_EQ(listed().size(), 1u);
  sim::removeCamera(extra);
  EXPECT_TRUE(listed().empty());
}

}  // namespace
}  // namespace nivexa::transport
