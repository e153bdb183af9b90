// The settings file of the Linux store, damaged on disk: what a handle makes of it.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "camera/CameraTestSupport.h"
#include "platform/Registry.h"
#include "platform/RegistryText.h"
#include "settings/Layout.h"

namespace nivexa::camera::test {
namespace {

TEST(DamagedSettingsFile, IsSetAsideAndTheHandleStartsFromDefaults) {
  const std::string path = platform::registryFilePath();
  ASSERT_FALSE(path.empty());
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n[HKEY_CUR";
  auto camera = sim::createCamera(fastCamera());
  Sink notify;
  const LONG h = Nivexa_Initialize(notify);
  ASSERT_NE(h, 0);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetGamma(h, &ok), 100);
  EXPECT_EQ(Nivexa_GetBayerGainRed(h, &ok), 100);
  Nivexa_Release(h);
  sim::removeCamera(camera);
  EXPECT_TRUE(std::filesystem::exists(path + ".bad"));
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto parsed = platform::regtext::parse(text);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_TRUE(parsed.document.exists(settings::cameraKeyPath(0) + "\\Gain"));
}

}  // namespace
}  // namespace nivexa::camera::test
