#include "transport/CFx3Api.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "RecordingBackend.h"
#include "TransportTestSupport.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"
#include "sim/CameraSet.h"
#include "transport/CVelCy3Cam.h"
#include "transport/drivers/VirtualCameraBackend.h"

namespace nivexa::transport {
namespace {

using testing::indexOfPath;
using testing::RecordingBackend;

// What another process sees in the shared block right now.
DeviceTableImage sharedBlock() {
  bool created = false;
  auto block = platform::SharedMemory::openOrCreate(kDeviceTableName, kDeviceTableBytes, created);
  if (!block) {
    return {};
  }
  return decodeDeviceTable(block->bytes().first<kDeviceTableBytes>());
}

std::string pathOf(const std::shared_ptr<sim::Camera>& camera) {
  for (const auto& entry : sim::cameras().entries()) {
    if (entry.camera == camera) {
      return VirtualCameraBackend::devicePath(camera->options(), entry.instance);
    }
  }
  return {};
}

struct HelperReport {
  int deviceCount = -1;
  std::vector<std::pair<unsigned, int>> entries;  // product, instance
};

// The helper program sits next to this test program.
std::unique_ptr<platform::ChildProcess> runTableHelper(const std::vector<std::string>& arguments) {
  return platform::ChildProcess::start(platform::mainModuleDirectory() + NIVEXA_TABLE_HELPER,
                                       arguments);
}

std::filesystem::path scratchFile(const char* name) {
  auto path = std::filesystem::temp_directory_path() /
              (std::string("nivexa-transport-") + std::to_string(std::random_device{}()) + name);
  std::filesystem::remove(path);
  return path;
}

bool waitForFile(const std::filesystem::path& path) {
  for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::filesystem::exists(path);
}

HelperReport readReport(const std::filesystem::path& path) {
  HelperReport report;
  std::ifstream in(path);
  in >> report.deviceCount;
  unsigned product = 0;
  int instance = 0;
  while (in >> std::hex >> product >> std::dec >> instance) {
    report.entries.emplace_back(product, instance);
  }
  return report;
}

TEST(CFx3ApiTest, FirstUserResetsAndTheLastUserLeavesTheTableToBeResetAgain) {
  auto camera = sim::createCamera({.productId = 0x3030, .serial = "T1"});
  {
    CVelCy3Cam first;
    EXPECT_EQ(first.DeviceCount(), 0);
    EXPECT_EQ(sharedBlock().userCount, 1);
    ASSERT_GE(indexOfPath(first, pathOf(camera)), 0);
    EXPECT_GE(sharedBlock().deviceCount, 1);
    {
      CVelCy3Cam second;  // same process: shares the table, no reset
      EXPECT_EQ(second.DeviceCount(), first.DeviceCount());
      EXPECT_EQ(sharedBlock().userCount, 2);
    }
    EXPECT_EQ(sharedBlock().userCount, 1);
  }
  CVelCy3Cam next;
  EXPECT_EQ(next.DeviceCount(), 0);
  EXPECT_EQ(next.FindDevice(0x3030, 0), -1);
  EXPECT_EQ(sharedBlock().userCount, 1);
  sim::removeCamera(camera);
}

TEST(CFx3ApiTest, AnotherProcessSeesOurDevicesWithoutScanning) {
  auto camera = sim::createCamera({.productId = 0x3040, .serial = "T2"});
  CVelCy3Cam cam;
  const int index = indexOfPath(cam, pathOf(camera));
  ASSERT_GE(index, 0);
  const auto report = scratchFile("report");
  auto helper = runTableHelper({report.string()});
  ASSERT_NE(helper, nullptr);
  ASSERT_EQ(helper->wait(), 0);
  const HelperReport seen = readReport(report);
  std::filesystem::remove(report);
  EXPECT_EQ(seen.deviceCount, cam.DeviceCount());
  ASSERT_GT(seen.entries.size(), static_cast<size_t>(index));
  EXPECT_EQ(seen.entries[index], std::make_pair(0x3040u, 0));
  EXPECT_EQ(sharedBlock().userCount, 1);  // the helper counted itself out again
  sim::removeCamera(camera);
}

TEST(CFx3ApiTest, TableSurvivesWhileAnotherProcessHoldsIt) {
  auto camera = sim::createCamera({.productId = 0x3050, .serial = "T3"});
  const auto report = scratchFile("report");
  const auto release = scratchFile("release");
  auto first = std::make_unique<CVelCy3Cam>();
  ASSERT_GE(indexOfPath(*first, pathOf(camera)), 0);
  const int devices = first->DeviceCount();
  auto helper = runTableHelper({report.string(), release.string()});
  ASSERT_NE(helper, nullptr);
  ASSERT_TRUE(waitForFile(report));
  EXPECT_EQ(sharedBlock().userCount, 2);
  // Our last controller goes while the helper still holds the table: it must not look unused.
  first.reset();
  EXPECT_EQ(sharedBlock().userCount, 1);
  CVelCy3Cam again;
  EXPECT_EQ(again.DeviceCount(), devices);
  EXPECT_GE(again.FindDevice(0x3050, 0), 0);
  std::ofstream(release).put('x');
  EXPECT_EQ(helper->wait(), 0);
  std::filesystem::remove(report);
  std::filesystem::remove(release);
  sim::removeCamera(camera);
}

TEST(CFx3ApiTest, RescanKeepsKnownCamerasAndNumbersInstancesPerProduct) {
  auto a = sim::createCamera({.productId = 0x3060, .serial = "A"});
  auto b = sim::createCamera({.productId = 0x3060, .serial = "B"});
  CVelCy3Cam cam;
  const int count = cam.EnumerateDevices();
  EXPECT_EQ(cam.EnumerateDevices(), count);
  const int ia = cam.FindDevice(0x3060, 0);
  const int ib = cam.FindDevice(0x3060, 1);
  ASSERT_GE(ia, 0);
  ASSERT_GE(ib, 0);
  EXPECT_EQ(cam.FindDevice(0x3060, 2), -1);
  EXPECT_EQ(cam.PathAt(ia), pathOf(a));
  EXPECT_EQ(cam.PathAt(ib), pathOf(b));
  EXPECT_EQ(cam.InstanceAt(kMaxDevices), -1);

  // An unplugged camera keeps its entry but no longer opens.
  a->unplug();
  EXPECT_EQ(cam.EnumerateDevices(), count);
  EXPECT_EQ(cam.PathAt(ia), pathOf(a));
  EXPECT_FALSE(cam.IsOpenable(ia));
  EXPECT_TRUE(cam.IsOpenable(ib));
  a->replug();
  EXPECT_TRUE(cam.IsOpenable(ia));
  sim::removeCamera(a);
  sim::removeCamera(b);
}

TEST(CFx3ApiTest, FullTableDropsFurtherCameras) {
  std::vector<std::shared_ptr<sim::Camera>> many;
  for (int i = 0; i < kMaxDevices + 2; ++i) {
    // Appended: GCC 12 at -O3 warns falsely (-Wrestrict) about a literal + std::string.
    const std::string serial = std::string("F").append(std::to_string(i));
    many.push_back(sim::createCamera({.productId = 0x3110, .serial = serial}));
  }
  {
    CVelCy3Cam cam;
    EXPECT_EQ(cam.EnumerateDevices(), kMaxDevices);
    EXPECT_EQ(cam.EnumerateDevices(), kMaxDevices);
    EXPECT_EQ(cam.FindDevice(0x3110, kMaxDevices), -1);
    EXPECT_EQ(sharedBlock().deviceCount, kMaxDevices);
  }
  for (auto& camera : many) {
    sim::removeCamera(camera);
  }
}

TEST(CFx3ApiTest, MalformedInterfacePathsAreSkippedUnopened) {
  auto& backend = RecordingBackend::instance();
  const std::vector<std::string> bad = {
      "",
      "\\\\?\\usb#vid_04b4&pid_33",
      "\\\\?\\usb#vid_zz04&pid_33d0#1#{x}",
      "\\\\?\\usb#vid_04b4&pid_33d0#" + std::string(300, 'a'),
  };
  backend.setExtraPaths(bad);
  CVelCy3Cam cam;
  cam.EnumerateDevices();
  for (const auto& path : bad) {
    EXPECT_EQ(backend.opensOf(path), 0) << path;
    for (int i = 0; i < cam.DeviceCount(); ++i) {
      EXPECT_NE(cam.PathAt(i), path);
    }
  }
  backend.setExtraPaths({});
}

}  // namespace
}  // namespace nivexa::transport
