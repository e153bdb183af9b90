// The shared device table between processes of different users: the second user's process must
// see the cameras the first one found, not fall back to a table of its own.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "platform/SharedMemory.h"
#include "sim/CameraSet.h"
#include "transport/CVelCy3Cam.h"
#include "transport/DeviceTable.h"
#include "transport/drivers/VirtualCameraBackend.h"

namespace nivexa::transport {
namespace {

// The conventional unprivileged account; any uid other than ours would do.
constexpr uid_t kOtherUser = 65534;

// The helper's exit code when the other user cannot reach the build tree (a checkout in a home
// folder that only its owner may enter): nothing about the table can be learnt then.
constexpr int kHelperUnreachable = 92;

// Runs the table helper as kOtherUser; its exit code, or -1.
int runHelperAsOtherUser(const std::string& report) {
  const std::string program = platform::mainModuleDirectory() + NIVEXA_TABLE_HELPER;
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) {
      _exit(90);
    }
    if (access(program.c_str(), X_OK) != 0) {
      _exit(kHelperUnreachable);
    }
    execl(program.c_str(), program.c_str(), report.c_str(), static_cast<char*>(nullptr));
    _exit(91);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

TEST(CFx3ApiUsersTest, AnotherUserSeesOurCamerasInTheSharedTable) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run the second process under another user id";
  }
  // The usual umask, which made the table and its lock 0644 and so private to their creator.
  const mode_t previous = umask(022);
  auto camera = sim::createCamera({.productId = 0x3070, .serial = "U1"});
  {
    CVelCy3Cam cam;
    int index = -1;
    for (int i = 0; i < cam.EnumerateDevices(); ++i) {
      if (cam.ProductIdAt(i) == 0x3070) {
        index = i;
      }
    }
    ASSERT_GE(index, 0);

    const auto dir = std::filesystem::temp_directory_path() /
                     std::string("nivexa-users-").append(std::to_string(std::random_device{}()));
    std::filesystem::create_directory(dir);
    chmod(dir.c_str(), 0777);  // the helper writes its report here
    const auto report = dir / "report";
    const int exitCode = runHelperAsOtherUser(report.string());
    if (exitCode == kHelperUnreachable) {
      std::filesystem::remove_all(dir);
      sim::removeCamera(camera);
      umask(previous);
      GTEST_SKIP() << "uid " << kOtherUser << " cannot reach the test programs' folder";
    }
    std::ifstream in(report);
    int devices = -1;
    in >> devices;
    std::vector<unsigned> products;
    unsigned product = 0;
    int instance = 0;
    while (in >> std::hex >> product >> std::dec >> instance) {
      products.push_back(product);
    }
    std::filesystem::remove_all(dir);

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(devices, cam.DeviceCount());
    ASSERT_GT(products.size(), static_cast<size_t>(index));
    EXPECT_EQ(products[static_cast<size_t>(index)], 0x3070u);
  }
  sim::removeCamera(camera);
  umask(previous);
}

TEST(CFx3ApiUsersTest, TableAndLockAreOpenToEveryUserWhateverTheUmask) {
  const mode_t previous = umask(077);
  {
    CVelCy3Cam cam;
    const std::string object = "/dev/shm" + platform::SharedMemory::objectName(kDeviceTableName);
    struct stat table {};
    struct stat lock {};
    ASSERT_EQ(stat(object.c_str(), &table), 0);
    ASSERT_EQ(stat((object + ".lock").c_str(), &lock), 0);
    EXPECT_EQ(table.st_mode & 0777, 0666u);
    EXPECT_EQ(lock.st_mode & 0777, 0666u);
  }
  umask(previous);
}

TEST(CFx3ApiUsersTest, LastHolderLeavesNoLockFileBehind) {
  {
    CVelCy3Cam cam;
    bool created = false;
    auto probe = platform::SharedMemory::openOrCreate(kDeviceTableName, kDeviceTableBytes, created);
    ASSERT_NE(probe, nullptr);
  }
  const std::string object = platform::SharedMemory::objectName(kDeviceTableName);
  EXPECT_FALSE(std::filesystem::exists("/dev/shm" + object));
  EXPECT_FALSE(std::filesystem::exists("/dev/shm" + object + ".lock"));
}

}  // namespace
}  // namespace nivexa::transport
