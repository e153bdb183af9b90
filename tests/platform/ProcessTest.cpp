#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace nivexa::platform {
namespace {

TEST(ProcessTest, MainModuleDirectoryHoldsThisTestProgram) {
  const std::string dir = mainModuleDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(dir.back() == '/' || dir.back() == '\\') << dir;
  EXPECT_TRUE(std::filesystem::exists(dir + NIVEXA_TEST_PROGRAM)) << dir;
}

TEST(ProcessTest, ChildGetsArgumentsAndEnvironmentAndReportsItsExitCode) {
  ASSERT_TRUE(setEnvironmentVariable("NIVEXA_CHILD_TEST", "inherited value"));
  // Arguments with spaces, quotes and backslashes arrive as they were given.
  const std::vector<std::string> arguments{"a b", "say \"hi\"", "C:\\dir\\", ""};
  auto child = ChildProcess::start(mainModuleDirectory() + NIVEXA_ECHO_HELPER, arguments);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->wait(), 0);
  EXPECT_EQ(child->wait(), 0) << "a second wait gives the same code";
  ASSERT_TRUE(setEnvironmentVariable("NIVEXA_CHILD_TEST", nullptr));
  EXPECT_EQ(std::getenv("NIVEXA_CHILD_TEST"), nullptr);
  auto without = ChildProcess::start(mainModuleDirectory() + NIVEXA_ECHO_HELPER, arguments);
  ASSERT_NE(without, nullptr);
  EXPECT_EQ(without->wait(), 4) << "the removed variable is not passed on";
  EXPECT_EQ(ChildProcess::start(mainModuleDirectory() + "no-such-program", {}), nullptr);
}

}  // namespace
}  // namespace nivexa::platform
