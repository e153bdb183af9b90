// Handles, and what a camera object answers before any camera is opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "api/ApiTestSupport.h"

namespace nivexa::test {
namespace {

TEST(Lifecycle, DllVersion) {
  EXPECT_EQ(Nivexa_GetDllVersion(), 0x022B0521);
}

TEST(Lifecycle, HandlesAreDistinctAndReleasedOnce) {
  const LONG first = Nivexa_Initialize(nullptr);
  const LONG second = Nivexa_Initialize(nullptr);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(first, second);
  ASSERT_EQ(Nivexa_SetWaitTime(second, 33), 1);
  EXPECT_EQ(Nivexa_Release(first), 1);
  EXPECT_EQ(Nivexa_Release(first), 0) << "a second release of the same handle";
  EXPECT_EQ(Nivexa_GetWaitTime(second), 33) << "the other handle is untouched";
  EXPECT_EQ(Nivexa_Release(second), 1);
}

TEST(Lifecycle, ManyHandlesCoexist) {
  std::vector<LONG> handles;
  for (int i = 0; i < 50; ++i) {
    handles.push_back(Nivexa_Initialize(nullptr));
    ASSERT_NE(handles.back(), 0);
  }
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end());
  for (LONG h : handles) {
    EXPECT_EQ(Nivexa_SetWaitTime(h, h & 0xFF), 1);
  }
  for (LONG h : handles) {
    EXPECT_EQ(Nivexa_GetWaitTime(h), h & 0xFF) << "each handle keeps its own object";
    EXPECT_EQ(Nivexa_Release(h), 1);
  }
}

TEST(WithoutCamera, InitializationFindingNoCameraRecordsNothing) {
  const LONG h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
  EXPECT_EQ(Nivexa_Release(h), 1);
}

TEST(WithoutCamera, StoredSettingsWorkAndCameraOperationsReportNoDevice) {
  Handle h;
  EXPECT_EQ(Nivexa_Width(h), 2048);
  EXPECT_EQ(Nivexa_Height(h), 1536);
  LONG geometry[6] = {-1, -1, -1, -1, -1, -1};
  EXPECT_EQ(Nivexa_GetCaptureWindowEx(h, &geometry[0], &geometry[1], &geometry[2], &geometry[3],
                                      &geometry[4], &geometry[5]),
            1);
  EXPECT_EQ(std::vector<LONG>(geometry, geometry + 6),
            (std::vector<LONG>{2048, 0, 2048, 1536, 0, 1536}));
  EXPECT_EQ(Nivexa_GetCaptureWindowEx(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);

  // A first run without a camera stores its first-run wait time (1 ms) and colour mode (24 bits,
  // as the engine without a sensor accepts colour) for device -1, and loads them back.
  EXPECT_EQ(Nivexa_GetWaitTime(h), 1);
  EXPECT_EQ(Nivexa_SetWaitTime(h, 0), 1);
  EXPECT_EQ(Nivexa_SetWaitTime(h, -1), 0);
  EXPECT_EQ(Nivexa_GetWaitTime(h), 0);

  EXPECT_EQ(Nivexa_GetSubSample(h), 0);
  EXPECT_EQ(Nivexa_SetSubSample(h, 1), 1);
  EXPECT_EQ(Nivexa_SetSubSample(h, 2), 0);
  EXPECT_EQ(Nivexa_GetSubSample(h), 1);

  EXPECT_EQ(Nivexa_GetColorMode(h), 24);
  EXPECT_EQ(Nivexa_SetColorMode(h, 16), 1);
  EXPECT_EQ(Nivexa_GetColorMode(h), 16);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{}) << "none of these records anything";
  EXPECT_EQ(Nivexa_SetColorMode(h, 12), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), NIVEXA_ERR_ARGUMENT);
  EXPECT_EQ(Nivexa_GetColorMode(h), 16);

  BOOL ok = 0;
  EXPECT_EQ(Nivexa_SetAutoIris(h, 2), 1);
  EXPECT_EQ(Nivexa_GetAutoIris(h, &ok), 2);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_SetSamplingRate(h, 5), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});

  EXPECT_EQ(Nivexa_SnapShot(h, nullptr, 0, 0), 0);
  EXPECT_EQ(Nivexa_SetDeviceNumber(h, 0), 0);
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{2, 2}));
}

TEST(WithoutCamera, PreviewStopsAgainAndReportsFrameError) {
  Handle h;
  EXPECT_EQ(Nivexa_Preview(h), 0);
  // No device to prepare the stream for (2), then the preview's own report (8).
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{8, 2}));
  EXPECT_EQ(Nivexa_Close(h), 1) << "Close always succeeds";
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
}

TEST(WithoutCamera, ChannelFunctionsMapOntoFilterIds) {
  Handle h;
  BOOL ok = 0x77;
  EXPECT_EQ(Nivexa_GetChannelGain(h, 5, &ok), 0);
  EXPECT_EQ(Nivexa_GetChannelGain(h, 0, &ok), 0);
  EXPECT_EQ(Nivexa_SetChannelOffset(h, -1, 3), 0);
  EXPECT_EQ(ok, 0x77) << "an unknown channel leaves ok alone";
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{}) << "and records nothing";
}

TEST(WithoutCamera, SerialNumberChecksItsBufferFirst) {
  Handle h;
  char buffer[64] = {};
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h, buffer, 31), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), NIVEXA_ERR_ARGUMENT);
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h, nullptr, 64), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), NIVEXA_ERR_ARGUMENT);
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h, buffer, 32), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), 0) << "an unread device memory is no recorded error";
}

TEST(WithoutCamera, WideDeviceNameFailsEmptyWhenTheLookupFails) {
  Handle h;
  wchar_t name[32];
  std::fill(std::begin(name), std::end(name), L'x');
  EXPECT_EQ(Nivexa_GetDeviceNameW(h, 0, name, 32), 0);
  EXPECT_EQ(name[0], L'\0');
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{2});
  EXPECT_EQ(Nivexa_GetDeviceNameW(h, 0, nullptr, 32), 0);
  EXPECT_EQ(Nivexa_GetDeviceNameW(h, 0, name, 0), 0);
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{12, 2, 12, 2}));
}

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("nivexa-config-" + std::to_string(std::random_device{}()) + ".bin"))
                .string();
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  std::string path_;
};

TEST_F(ConfigFile, LoadsWithoutACameraAndIgnoresATrailingPart) {
  Handle h;
  write(std::string("\x01\x00\x00\x00\xff\xff\xff\xff\x02\x00\x00\x00\x03\x00\x00\x00\x09", 17));
  EXPECT_EQ(Nivexa_LoadConfigFileA(h, path_.c_str()), 1);
  const std::wstring wide(path_.begin(), path_.end());
  EXPECT_EQ(Nivexa_LoadConfigFileW(h, wide.c_str()), 1);
  write("short");
  EXPECT_EQ(Nivexa_LoadConfigFileA(h, path_.c_str()), 1) << "fewer than 8 bytes: empty list";
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
}

TEST_F(ConfigFile, MissingFileFailsSilently) {
  Handle h;
  EXPECT_EQ(Nivexa_LoadConfigFileA(h, "/nonexistent/dir/config.bin"), 0);
  EXPECT_EQ(Nivexa_LoadConfigFileA(h, nullptr), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
}

TEST(WidePaths, PathsThatDoNotFit1024BytesRecordError12) {
  Handle h;
  const std::wstring fits = L"/" + std::wstring(1022, L'a');  // 1023 bytes + terminator
  EXPECT_EQ(Nivexa_LoadConfigFileW(h, fits.c_str()), 0) << "converts, but no such file";
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
  const std::wstring tooLong = L"/" + std::wstring(1023, L'a');
  EXPECT_EQ(Nivexa_LoadConfigFileW(h, tooLong.c_str()), 0);
  EXPECT_EQ(Nivexa_SaveImageW(h, tooLong.c_str(), 0), 0);
  EXPECT_EQ(Nivexa_RecordW(h, tooLong.c_str(), 10, 0), 0);
  EXPECT_EQ(Nivexa_LoadMaskFileW(h, tooLong.c_str()), 0);
  EXPECT_EQ(Nivexa_SaveMaskFileW(h, tooLong.c_str()), 0);
  EXPECT_EQ(Nivexa_LoadConfigFileW(h, nullptr), 0);
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{12, 12, 12, 12, 12, 12}));
  // Outside ASCII there is no narrow form in the default locale.
  EXPECT_EQ(Nivexa_SaveImageW(h, L"/tmp/\u65e5.bmp", 0), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), NIVEXA_ERR_TEXT);
}

}  // namespace
}  // namespace nivexa::test
