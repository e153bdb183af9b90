// The settings file of the Linux store, damaged on disk: what a group load and save make of it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/RegistryTestSupport.h"
#include "settings/GainSettings.h"
#include "settings/Layout.h"

namespace nivexa::settings {
namespace {

using DamagedFileStore = TemporaryRegistry;

TEST_F(DamagedFileStore, GivesTheDefaultsAndTheNextSaveStartsAfresh) {
  writeFile("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + cameraKeyPath(0) +
            "\\Gain]\r\n\"Global\"=dword:0000");
  GainSettings settings;
  EXPECT_EQ(loadGainSettings(0, settings, GainDefaults{12, 13, 14, 0, 0, 0, {}}, {}), 0);
  EXPECT_NE(logText().find("kept as"), std::string::npos);
  EXPECT_EQ(settings.globalGain, 12);
  GainSettings saved;
  saved.globalGain = 64;
  saved.blackLevel = -12;
  saved.exposureTicks = 100;
  EXPECT_EQ(saveGainSettings(0, saved), 1);
  EXPECT_EQ(loadGainSettings(0, settings, {}, {}), 1);
  EXPECT_EQ(settings.globalGain, 64);
  EXPECT_EQ(settings.blackLevel, -12);
  EXPECT_EQ(settings.exposureTicks, 100);
  EXPECT_TRUE(std::filesystem::exists(file_.string() + ".bad"));
}

}  // namespace
}  // namespace nivexa::settings
