#include "platform/SharedMemory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Process.h"

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

int runHelper(const char* name, const char* mode) {
  auto child = ChildProcess::start(mainModuleDirectory() + NIVEXA_SHM_HELPER, {name, mode});
  return child ? child->wait() : -100;
}

TEST(SharedMemory, AnotherProcessSeesTheSameBytes) {
  bool created = false;
  auto block = SharedMemory::openOrCreate("shared-test-c", 64, created);
  ASSERT_NE(block, nullptr);
  std::memcpy(block->bytes().data(), "parent", 7);
  EXPECT_EQ(runHelper("shared-test-c", "check"), 0);
  EXPECT_EQ(std::memcmp(block->bytes().data() + 8, "child", 6), 0);
}

TEST(SharedMemory, HolderThatDiedDoesNotKeepItAlive) {
  ASSERT_EQ(runHelper("shared-test-d", "die"), 0);
  bool created = false;
  auto block = SharedMemory::openOrCreate("shared-test-d", 64, created);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(created);
  EXPECT_EQ(block->bytes()[0], 0);
}

TEST(SharedMemory, ExistingBlockSmallerThanAskedIsRefused) {
  bool created = false;
  auto small = SharedMemory::openOrCreate("shared-test-e", 64, created);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(SharedMemory::openOrCreate("shared-test-e", 8584, created), nullptr);
  EXPECT_FALSE(created);
}

}  // namespace
}  // namespace nivexa::platform
