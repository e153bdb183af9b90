// The shared device table between processes of different users: each user has a table of its
// own, as each Windows session has its own named mappings, so nobody rewrites another's entries.
#include <gtest/gtest.h>
#include <sys/stat.h>
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
constexpr const char* kOtherUser = "65534";
constexpr const char* kRunAs = "/usr/bin/setpriv";

// Runs a program as kOtherUser; its exit code, or -1.
int runAsOtherUser(const std::vector<std::string>& command) {
  std::vector<std::string> arguments = {std::string("--reuid=") + kOtherUser,
                                        std::string("--regid=") + kOtherUser, "--clear-groups"};
  arguments.insert(arguments.end(), command.begin(), command.end());
  auto child = platform::ChildProcess::start(kRunAs, arguments);
  return child ? child->wait() : -1;
}

std::filesystem::path folderForEveryone() {
  const auto dir = std::filesystem::temp_directory_path() /
                   std::string("nivexa-users-").append(std::to_string(std::random_device{}()));
  std::filesystem::create_directory(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::all);
  return dir;
}

TEST(CFx3ApiUsersTest, AnotherUserHasATableOfItsOwnAndCannotTakeOurs) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run the second process under another user id";
  }
  auto camera = sim::createCamera({.productId = 0x3070, .serial = "U1"});
  const auto dir = folderForEveryone();
  {
    CVelCy3Cam cam;
    ASSERT_GT(cam.EnumerateDevices(), 0);

    const auto report = dir / "report";
    const std::string helper = platform::mainModuleDirectory() + NIVEXA_TABLE_HELPER;
    EXPECT_EQ(runAsOtherUser({helper, report.string()}), 0)
        << "uid " << kOtherUser << " must be able to run " << helper;
    std::ifstream in(report);
    int devices = -1;
    in >> devices;
    EXPECT_EQ(devices, 0) << "the other user's process saw our table";
    EXPECT_GT(cam.DeviceCount(), 0);
  }

  // Another user who creates our table's name before us, open to all, is refused rather than
  // trusted: the entries would be theirs to rewrite. The same for the lock.
  const std::string object = platform::SharedMemory::objectName(kDeviceTableName);
  for (const std::string& planted : {object + ".lock", object}) {
    SCOPED_TRACE(planted);
    const std::string path = "/dev/shm" + planted;
    ASSERT_EQ(runAsOtherUser({"/bin/sh", "-c", "umask 0 && echo planted > '" + path + "'"}), 0);
    bool created = true;
    EXPECT_EQ(platform::SharedMemory::openOrCreate(kDeviceTableName, kDeviceTableBytes, created),
              nullptr);
    std::ifstream in(path);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "planted");
    std::filesystem::remove(path);
  }
  std::filesystem::remove_all(dir);
  sim::removeCamera(camera);
}

TEST(CFx3ApiUsersTest, TableAndLockArePrivateToTheirUserWhateverTheUmask) {
  const mode_t previous = umask(0);
  {
    CVelCy3Cam cam;
    const std::string object = "/dev/shm" + platform::SharedMemory::objectName(kDeviceTableName);
    EXPECT_TRUE(object.ends_with("-uid" + std::to_string(geteuid()))) << object;
    struct stat table {};
    struct stat lock {};
    ASSERT_EQ(stat(object.c_str(), &table), 0);
    ASSERT_EQ(stat((object + ".lock").c_str(), &lock), 0);
    EXPECT_EQ(table.st_mode & 0777, 0600u);
    EXPECT_EQ(lock.st_mode & 0777, 0600u);
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
