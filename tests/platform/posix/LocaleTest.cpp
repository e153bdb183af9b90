#include "platform/Locale.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>

namespace nivexa::platform {
namespace {

// The environment as a program that never called setlocale() would pass it on.
class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      unsetenv(name);
    }
  }
  void TearDown() override { SetUp(); }
};

TEST_F(LocaleTest, TheFirstSetVariableOfTheEnvironmentDecides) {
  ASSERT_STREQ(std::setlocale(LC_MESSAGES, nullptr), "C");
  EXPECT_FALSE(japaneseLanguage());
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_TRUE(japaneseLanguage());
  setenv("LC_MESSAGES", "en_GB.UTF-8", 1);
  EXPECT_FALSE(japaneseLanguage()) << "LC_MESSAGES before LANG";
  setenv("LC_ALL", "ja_JP.eucJP", 1);
  EXPECT_TRUE(japaneseLanguage()) << "LC_ALL before both";
  setenv("LC_ALL", "", 1);
  EXPECT_FALSE(japaneseLanguage()) << "an empty LC_ALL counts as unset";
}

}  // namespace
}  // namespace nivexa::platform
