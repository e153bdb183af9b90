// An application that never opens a dialog never loads a GUI toolkit; the first dialog loads
// it, and without a display the dialog export fails cleanly with error 4.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "NivexaSdk.h"
#include "api/ApiTestSupport.h"
#include "sim/CameraSet.h"

namespace nivexa::dialogs::test {
namespace {

using nivexa::test::drainErrors;

bool toolkitLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libgtk-3") != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(NoToolkitTest, OnlyTheFirstDialogLoadsTheToolkitAndNoDisplayIsErrorFour) {
  // Without a camera the dialog is not shown at all.
  {
    const LONG h = Nivexa_Initialize(nullptr);
    drainErrors(h);
    EXPECT_EQ(Nivexa_SetImageDlg(h, nullptr), 0);
    EXPECT_EQ(drainErrors(h), std::vector<LONG>{1});
    Nivexa_Release(h);
  }
  sim::CameraOptions options;
  options.pacing = sim::Pacing::Fast;
  auto camera = sim::createCamera(options);
  const LONG h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  std::vector<BYTE> frame(2048 * 1536 * 2);
  ASSERT_EQ(Nivexa_SnapShot(h, frame.data(), static_cast<LONG>(frame.size()), 0), 1);
  Nivexa_SetBrightness(h, 10);
  drainErrors(h);
  EXPECT_FALSE(toolkitLoaded()) << "nothing so far needed a dialog";

  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  const std::string module = std::getenv("NIVEXA_DIALOG_MODULE");
  setenv("NIVEXA_DIALOG_MODULE", "/nonexistent/libNivexaSdkDialogs.so", 1);
  EXPECT_EQ(Nivexa_SetAnalogDlg(h, nullptr), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{4}) << "no dialog module";
  EXPECT_FALSE(toolkitLoaded());

  setenv("NIVEXA_DIALOG_MODULE", module.c_str(), 1);
  EXPECT_EQ(Nivexa_SetImageDlg(h, nullptr), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{4}) << "no display";
  EXPECT_TRUE(toolkitLoaded()) << "the dialog module brought the toolkit in";
  EXPECT_EQ(Nivexa_SetCameraDlg(h, nullptr), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{4});
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetBrightness(h, &ok), 10) << "the failed dialogs changed nothing";
  Nivexa_Release(h);
  sim::removeCamera(camera);
}

}  // namespace
}  // namespace nivexa::dialogs::test
