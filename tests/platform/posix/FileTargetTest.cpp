// What the atomic writer does with targets that are not plain files, as root and as a user with
// no privileges, and how it cleans up after writers that were killed.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "platform/FileIO.h"

namespace nivexa::platform {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr mode_t kSharedMode = 0666;
// The kernel's null and full devices, and a loop device number no test machine attaches.
constexpr unsigned kMemoryMajor = 1;
constexpr unsigned kNullMinor = 3;
constexpr unsigned kFullMinor = 7;
constexpr unsigned kLoopMajor = 7;
constexpr unsigned kUnusedLoopMinor = 250;

bool writeFile(const fs::path& path, const std::string& text) {
  AtomicFileWriter writer;
  return writer.open(path.c_str()) &&
         writer.write({reinterpret_cast<const uint8_t*>(text.data()), text.size()}) &&
         writer.commit();
}

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void makeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  fs::permissions(path, static_cast<fs::perms>(kSharedMode));
}

std::vector<std::string> hiddenEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().front() == '.') {
      names.push_back(entry.path().filename().string());
    }
  }
  return names;
}

// Every kind of target in `folder`, prepared by root (devices) or by whoever runs the test.
void prepareTargets(const fs::path& folder, bool devices) {
  fs::permissions(folder, fs::perms::all);
  if (devices) {
    ASSERT_EQ(
        mknod((folder / "null").c_str(), S_IFCHR | kSharedMode, makedev(kMemoryMajor, kNullMinor)),
        0);
    ASSERT_EQ(
        mknod((folder / "full").c_str(), S_IFCHR | kSharedMode, makedev(kMemoryMajor, kFullMinor)),
        0);
    ASSERT_EQ(
        mknod((folder / "block").c_str(), S_IFBLK | 0600, makedev(kLoopMajor, kUnusedLoopMinor)),
        0);
    fs::create_symlink("null", folder / "to-null");
    // The creation mode passes through the umask; the real devices are open to everyone.
    fs::permissions(folder / "null", static_cast<fs::perms>(kSharedMode));
    fs::permissions(folder / "full", static_cast<fs::perms>(kSharedMode));
  }
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), kSharedMode), 0);
  fs::permissions(folder / "fifo", static_cast<fs::perms>(kSharedMode));
  fs::create_directory(folder / "folder");
  fs::permissions(folder / "folder", fs::perms::all);
  makeFile(folder / "file", "old");
  fs::create_symlink("file", folder / "link");
  fs::create_symlink("sub/new", folder / "dangling");
  fs::create_directory(folder / "sub");
  fs::permissions(folder / "sub", fs::perms::all);
  makeFile(folder / "linked", "old linked");
  fs::create_hard_link(folder / "linked", folder / "second-name");
}

// The expectations, as failures described in words: run in this process and in a child that
// has given up root.
std::vector<std::string> checkTargets(const fs::path& folder, bool devices) {
  std::vector<std::string> failures;
  const auto expect = [&failures](bool condition, const std::string& what) {
    if (!condition) {
      failures.push_back(what);
    }
  };
  const auto mode = [](const fs::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : mode_t{0};
  };
  if (devices) {
    expect(writeFile(folder / "null", "abc"), "the null device takes the bytes");
    expect(S_ISCHR(mode(folder / "null")), "the null device stays a device");
    expect(!writeFile(folder / "full", "abc"), "the full device reports its failure");
    expect(S_ISCHR(mode(folder / "full")), "the full device stays a device");
    expect(!writeFile(folder / "block", "abc"), "a block device is refused");
    expect(S_ISBLK(mode(folder / "block")), "the block device stays a device");
    expect(writeFile(folder / "to-null", "abc"), "a link to the null device is followed");
    expect(S_ISLNK(mode(folder / "to-null")) && S_ISCHR(mode(folder / "null")),
           "the link and the device stay");
  }
  expect(!writeFile(folder / "folder", "abc"), "a folder is refused");
  expect(S_ISDIR(mode(folder / "folder")) && fs::is_empty(folder / "folder"),
         "the folder stays as it was");

  expect(!writeFile(folder / "fifo", "abc"), "a pipe with no reader is refused, not waited on");
  const int reader = open((folder / "fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  expect(reader >= 0, "the pipe opens for reading");
  expect(writeFile(folder / "fifo", "abc"), "a pipe with a reader takes the bytes");
  char received[8] = {};
  expect(
      reader >= 0 && read(reader, received, sizeof received) == 3 && std::string(received) == "abc",
      "the reader gets them");
  AtomicFileWriter orphan;
  expect(orphan.open((folder / "fifo").c_str()), "the pipe opens while read");
  if (reader >= 0) {
    close(reader);
  }
  const uint8_t byte[] = {1};
  expect(!orphan.write(byte), "a write after the reader has gone fails, the process lives on");
  expect(S_ISFIFO(mode(folder / "fifo")), "the pipe stays a pipe");

  expect(writeFile(folder / "link", "new"), "a link to a file is followed");
  expect(S_ISLNK(mode(folder / "link")), "the link stays a link");
  expect(contents(folder / "file") == "new", "the linked file has the new bytes");
  expect((mode(folder / "file") & 07777) == kSharedMode, "the replaced file keeps its mode");
  expect(writeFile(folder / "dangling", "created"), "a link to no file yet creates it");
  expect(S_ISLNK(mode(folder / "dangling")) && contents(folder / "sub" / "new") == "created",
         "the link stays and its target holds the bytes");

  expect(writeFile(folder / "linked", "new linked"), "a file with two names is replaced");
  expect(contents(folder / "linked") == "new linked" &&
             (mode(folder / "linked") & 07777) == kSharedMode,
         "it has the new bytes and its mode");
  expect(contents(folder / "second-name") == "old linked",
         "the other name keeps the whole previous file");
  expect(hiddenEntries(folder).empty() && hiddenEntries(folder / "sub").empty(),
         "no temporary is left");
  return failures;
}

class FileTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::makeTestFolder("nivexa-file-targets");
    ASSERT_FALSE(dir_.empty());
    fs::permissions(dir_, fs::perms::all);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(FileTargetTest, DevicesPipesLinksAndFoldersAreNeverReplacedAsRootOrAsAUser) {
  const bool root = geteuid() == 0;
  const fs::path asRoot = dir_ / "root";
  fs::create_directory(asRoot);
  prepareTargets(asRoot, root);
  for (const auto& failure : checkTargets(asRoot, root)) {
    ADD_FAILURE() << (root ? "root: " : "user: ") << failure;
  }
  if (!root) {
    GTEST_SKIP() << "devices and another user need root";
  }
  // The same in a child that has dropped to an unprivileged user, with devices made for it.
  const fs::path asUser = dir_ / "user";
  fs::create_directory(asUser);
  prepareTargets(asUser, true);
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(report[0]);
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
      _exit(2);
    }
    std::string text;
    for (const auto& failure : checkTargets(asUser, true)) {
      text += "user: " + failure + "\n";
    }
    const bool sent =
        write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    _exit(sent ? 0 : 1);
  }
  close(report[1]);
  std::string text;
  char chunk[256];
  for (ssize_t got; (got = read(report[0], chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<size_t>(got));
  }
  close(report[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not report";
  EXPECT_EQ(text, "");
}

// A recording killed midway leaves its temporary; the next writer in that folder removes it,
// and only it: a live process's temporary and other hidden files stay.
TEST_F(FileTargetTest, TemporariesOfKilledWritersAreRemovedByTheNextWriter) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    AtomicFileWriter writer;
    const std::vector<uint8_t> frame(1 << 20, 0x5A);
    const char done = 1;
    if (writer.open((dir_ / "recording.avi").c_str()) && writer.write(frame) &&
        write(ready[1], &done, 1) == 1) {
      pause();
    }
    _exit(1);
  }
  close(ready[1]);
  char done = 0;
  const bool started = read(ready[0], &done, 1) == 1;
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(started);
  ASSERT_TRUE(WIFSIGNALED(status));
  const auto leftovers = hiddenEntries(dir_);
  ASSERT_EQ(leftovers.size(), 1u);
  ASSERT_TRUE(leftovers[0].starts_with(".recording.avi." + std::to_string(child) + "."))
      << leftovers[0];

  // Process 1 runs as long as the system does.
  const std::string live = ".settings.1.0.tmp";
  const std::string notOurs = ".notes.tmp";
  makeFile(dir_ / live, "");
  makeFile(dir_ / notOurs, "");
  EXPECT_TRUE(writeFile(dir_ / "image.bmp", "bmp"));
  auto left = hiddenEntries(dir_);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{notOurs, live}));
}

}  // namespace
}  // namespace nivexa::platform
