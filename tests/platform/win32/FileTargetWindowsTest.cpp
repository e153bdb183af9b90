// What the atomic writer does on Windows with targets other than a plain file: the null device
// and a pipe written in place, a folder refused, a link followed to the file it names, and the
// temporaries of writers whose process has ended removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/FileIO.h"
#include "platform/TemporaryName.h"

namespace nivexa::platform {
namespace {

namespace fs = std::filesystem;

class FileTargetWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / "nivexa-filetarget-test";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static bool writeAll(const std::string& target, const std::string& text) {
    AtomicFileWriter w;
    return w.open(target.c_str()) &&
           w.write({reinterpret_cast<const uint8_t*>(text.data()), text.size()}) && w.commit();
  }
  fs::path dir_;
};

TEST_F(FileTargetWindowsTest, DevicesAndPipesAreWrittenInPlaceAndFoldersRefused) {
  EXPECT_TRUE(writeAll("NUL", "discarded"));
  AtomicFileWriter folder;
  EXPECT_FALSE(folder.open(dir_.string().c_str()));

  const std::string pipeName =
      "\\\\.\\pipe\\nivexa-filetarget-" + std::to_string(GetCurrentProcessId());
  constexpr DWORD kBuffer = 4096;
  HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                 1, kBuffer, kBuffer, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  std::string received;
  std::thread reader([&] {
    ConnectNamedPipe(pipe, nullptr);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      received.append(buffer, got);
    }
  });
  EXPECT_TRUE(writeAll(pipeName, "through the pipe"));
  reader.join();
  CloseHandle(pipe);
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(FileTargetWindowsTest, LinksAreFollowedAndLeftoversOfEndedWritersRemoved) {
  const fs::path file = dir_ / "real.bin";
  std::ofstream(file) << "old";
  const fs::path link = dir_ / "link.bin";
  // Wine reports success without making the link: only a link that is there is checked.
  if (CreateSymbolicLinkA(link.string().c_str(), file.string().c_str(), 0) != 0 &&
      fs::is_symlink(link)) {
    EXPECT_TRUE(writeAll(link.string(), "new"));
    EXPECT_EQ(contents(file), "new");
    EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
    fs::remove(link);
  }

  // Process ids are multiples of 4: no process has an odd one.
  constexpr uint64_t kEnded = 4000001;
  const fs::path ended = dir_ / temporaryName("real.bin", kEnded, 1);
  const fs::path ours = dir_ / temporaryName("other.bin", GetCurrentProcessId(), 999);
  std::ofstream(ended) << "left";
  std::ofstream(ours) << "mine";
  EXPECT_TRUE(writeAll(file.string(), "newer"));
  EXPECT_EQ(contents(file), "newer");
  EXPECT_FALSE(fs::exists(ended));
  EXPECT_TRUE(fs::exists(ours)) << "a running writer's temporary stays";
}

}  // namespace
}  // namespace nivexa::platform
