#include "platform/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Process.h"

namespace nivexa::log {
namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "nivexa-log-test.txt";
    std::remove(path_.c_str());
    platform::setEnvironmentVariable("NIVEXA_LOG_FILE", path_.c_str());
  }
  void TearDown() override {
    platform::setEnvironmentVariable("NIVEXA_LOG", nullptr);
    platform::setEnvironmentVariable("NIVEXA_LOG_FILE", nullptr);
    reconfigure();
    std::remove(path_.c_str());
  }
  std::string contents() {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string path_;
};

TEST_F(LogTest, SilentWithoutConfiguration) {
  platform::setEnvironmentVariable("NIVEXA_LOG", nullptr);
  reconfigure();
  EXPECT_FALSE(enabled(Category::Transport, Level::Error));
  NIVEXA_LOG(Transport, Error, "never %d", 1);
  EXPECT_EQ(contents(), "");
}

TEST_F(LogTest, PerCategoryLevelsWithWildcardAndLaterItemsWinning) {
  platform::setEnvironmentVariable("NIVEXA_LOG",
                                   "*:warning,transport:debug,engine,sensors:bogus,camera:error");
  reconfigure();
  EXPECT_TRUE(enabled(Category::Transport, Level::Debug));
  EXPECT_TRUE(enabled(Category::Engine, Level::Debug));     // a bare name means everything
  EXPECT_TRUE(enabled(Category::Sensors, Level::Warning));  // bad level ignored, '*' stays
  EXPECT_FALSE(enabled(Category::Sensors, Level::Info));
  EXPECT_TRUE(enabled(Category::Camera, Level::Error));
  EXPECT_FALSE(enabled(Category::Camera, Level::Warning));
  EXPECT_FALSE(enabled(Category::Settings, Level::Info));
  const std::string text = contents();
  EXPECT_NE(text.find("NIVEXA_LOG item \"sensors:bogus\" ignored"), std::string::npos) << text;
  EXPECT_EQ(text.find("\"camera:error\""), std::string::npos) << "only the bad item is named";
}

TEST_F(LogTest, AFileThatCannotBeOpenedIsSaidAndStderrTakesTheLines) {
  const std::string folder = ::testing::TempDir() + "no-such-folder-for-the-log/log.txt";
  platform::setEnvironmentVariable("NIVEXA_LOG_FILE", folder.c_str());
  platform::setEnvironmentVariable("NIVEXA_LOG", "camera:info");
  ::testing::internal::CaptureStderr();
  reconfigure();
  NIVEXA_LOG(Camera, Info, "still %s", "written");
  const std::string text = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(text.find("NIVEXA_LOG_FILE \"" + folder + "\" cannot be opened"), std::string::npos)
      << text;
  EXPECT_NE(text.find("camera info: still written"), std::string::npos) << text;
}

TEST_F(LogTest, LineCarriesTimestampThreadCategoryLevelAndText) {
  platform::setEnvironmentVariable("NIVEXA_LOG", "settings:info");
  reconfigure();
  int formatted = 0;
  auto count = [&formatted] { return ++formatted; };
  NIVEXA_LOG(Settings, Info, "kept %s as %d", "registry.reg.bad", 3);
  NIVEXA_LOG(Settings, Debug, "not written %d", count());
  EXPECT_EQ(formatted, 0) << "arguments of a disabled line must not be evaluated";
  const std::string text = contents();
  EXPECT_NE(text.find("settings info: kept registry.reg.bad as 3\n"), std::string::npos) << text;
  EXPECT_EQ(text.rfind('['), text.find("[t"));
  EXPECT_EQ(text.find("not written"), std::string::npos);
}

}  // namespace
}  // namespace nivexa::log
