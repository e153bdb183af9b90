#include "platform/SharedMemory.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace nivexa::platform {
namespace {

TEST(SharedMemory, FirstOpenCreatesZeroedLaterOpensShare) {
  bool created = false;
  auto first = SharedMemory::openOrCreate("shared-test-a", 8584, created);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(created);
  EXPECT_EQ(first->bytes().size(), 8584u);
  EXPECT_EQ(first->bytes()[100], 0);
  first->bytes()[100] = 42;

  auto second = SharedMemory::openOrCreate("shared-test-a", 8584, created);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(created);
  EXPECT_EQ(second->bytes()[100], 42);
}

TEST(SharedMemory, GoesAwayWithItsLastHolder) {
  bool created = false;
  {
    auto block = SharedMemory::openOrCreate("shared-test-b", 64, created);
    ASSERT_NE(block, nullptr);
    block->bytes()[0] = 7;
  }
  auto fresh = SharedMemory::openOrCreate("shared-test-b", 64, created);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(created);
  EXPECT_EQ(fresh->bytes()[0], 0);
}

TEST(SharedMemory, AnotherProcessSeesTheSameBytes) {
  bool created = false;
  auto block = SharedMemory::openOrCreate("shared-test-c", 64, created);
  ASSERT_NE(block, nullptr);
  std::memcpy(block->bytes().data(), "parent", 7);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool childCreated = true;
    auto view = SharedMemory::openOrCreate("shared-test-c", 64, childCreated);
    const bool ok = view && !childCreated && std::memcmp(view->bytes().data(), "parent", 7) == 0;
    if (view) {
      std::memcpy(view->bytes().data() + 8, "child", 6);
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(std::memcmp(block->bytes().data() + 8, "child", 6), 0);
}

TEST(SharedMemory, HolderThatDiedDoesNotKeepItAlive) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool created = false;
    auto block = SharedMemory::openOrCreate("shared-test-d", 64, created);
    if (block) {
      block->bytes()[0] = 9;
    }
    _exit(0);  // no destructor runs: the holder vanishes as a crashed process would
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  bool created = false;
  auto block = SharedMemory::openOrCreate("shared-test-d", 64, created);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(created);
  EXPECT_EQ(block->bytes()[0], 0);
}

}  // namespace
}  // namespace nivexa::platform
