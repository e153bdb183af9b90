#include "platform/Process.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace nivexa::platform {
namespace {

TEST(ProcessTest, MainModuleDirectoryHoldsThisTestProgram) {
  const std::string dir = mainModuleDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(dir + "platform_tests"));
}

}  // namespace
}  // namespace nivexa::platform
