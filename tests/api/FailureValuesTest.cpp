// Every export answers an unknown handle with its failure value and touches nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "api/ApiTestSupport.h"

namespace nivexa::test {
namespace {

constexpr BOOL kUntouched = 0x5A5A;

struct Call {
  std::string name;
  std::function<double(LONG)> invoke;
  double failure;
};

// Output arguments shared by the calls; each must come back untouched.
struct Outputs {
  BOOL ok = kUntouched;
  LONG value = kUntouched;
  BYTE byte = 0x5A;
  char text[10][256] = {};
  wchar_t wide[10][256] = {};
  NivexaCameraInfo info{};
  BYTE image[64] = {};
};

std::vector<Call> everyExport(Outputs& o) {
  LONG* v = &o.value;
  return {
      {"Release", [](LONG h) { return Nivexa_Release(h); }, 0},
      {"GetLastError", [](LONG h) { return Nivexa_GetLastError(h); }, 0},
      {"GetStatus", [](LONG h) { return Nivexa_GetStatus(h, nullptr); }, 0},
      {"EnumDevice", [&](LONG h) { return Nivexa_EnumDevice(h, o.text); }, 0},
      {"EnumDeviceW", [&](LONG h) { return Nivexa_EnumDeviceW(h, o.wide); }, 0},
      {"GetDeviceName", [&](LONG h) { return Nivexa_GetDeviceName(h, 0, o.text[0], 256); }, 0},
      {"GetDeviceNameW", [&](LONG h) { return Nivexa_GetDeviceNameW(h, 0, o.wide[0], 256); }, 0},
      {"SetDeviceNumber", [](LONG h) { return Nivexa_SetDeviceNumber(h, 0); }, 0},
      {"ReadSerialNumberA", [&](LONG h) { return Nivexa_ReadSerialNumberA(h, o.text[0], 256); }, 0},
      {"ReadSerialNumberW", [&](LONG h) { return Nivexa_ReadSerialNumberW(h, o.wide[0], 256); }, 0},
      {"GetCameraInfo", [&](LONG h) { return Nivexa_GetCameraInfo(h, &o.info); }, 0},
      {"Preview", [](LONG h) { return Nivexa_Preview(h); }, 0},
      {"CallBackPreview",
       [&](LONG h) { return Nivexa_CallBackPreview(h, nullptr, o.image, 64, 0); }, 0},
      {"StartPreview", [](LONG h) { return Nivexa_StartPreview(h); }, 0},
      {"StopPreview", [](LONG h) { return Nivexa_StopPreview(h); }, 0},
      {"Capture", [](LONG h) { return Nivexa_Capture(h); }, 0},
      {"SnapShot", [&](LONG h) { return Nivexa_SnapShot(h, o.image, 64, 0); }, 0},
      {"GetImage", [&](LONG h) { return Nivexa_GetImage(h, o.image, 64, 0); }, 0},
      {"Trigger", [&](LONG h) { return Nivexa_Trigger(h, nullptr, o.image, 64, 0); }, 0},
      {"Close", [](LONG h) { return Nivexa_Close(h); }, 0},
      {"Width", [](LONG h) { return Nivexa_Width(h); }, 0},
      {"Height", [](LONG h) { return Nivexa_Height(h); }, 0},
      {"GetFilterValue", [&](LONG h) { return Nivexa_GetFilterValue(h, 1, &o.ok); }, 0},
      {"SetFilterValue", [](LONG h) { return Nivexa_SetFilterValue(h, 1, 1); }, 0},
      {"GetBrightness", [&](LONG h) { return Nivexa_GetBrightness(h, &o.ok); }, 0},
      {"SetBrightness", [](LONG h) { return Nivexa_SetBrightness(h, 1); }, 0},
      {"GetContrast", [&](LONG h) { return Nivexa_GetContrast(h, &o.ok); }, 0},
      {"SetContrast", [](LONG h) { return Nivexa_SetContrast(h, 1); }, 0},
      {"GetHue", [&](LONG h) { return Nivexa_GetHue(h, &o.ok); }, 0},
      {"SetHue", [](LONG h) { return Nivexa_SetHue(h, 1); }, 0},
      {"GetSaturation", [&](LONG h) { return Nivexa_GetSaturation(h, &o.ok); }, 0},
      {"SetSaturation", [](LONG h) { return Nivexa_SetSaturation(h, 1); }, 0},
      {"GetSharpness", [&](LONG h) { return Nivexa_GetSharpness(h, &o.ok); }, 0},
      {"SetSharpness", [](LONG h) { return Nivexa_SetSharpness(h, 1); }, 0},
      {"GetBayerGainRGB", [&](LONG h) { return Nivexa_GetBayerGainRGB(h, &o.ok); }, 0},
      {"SetBayerGainRGB", [](LONG h) { return Nivexa_SetBayerGainRGB(h, 1); }, 0},
      {"GetBayerGainRed", [&](LONG h) { return Nivexa_GetBayerGainRed(h, &o.ok); }, 0},
      {"SetBayerGainRed", [](LONG h) { return Nivexa_SetBayerGainRed(h, 1); }, 0},
      {"GetBayerGainGreen", [&](LONG h) { return Nivexa_GetBayerGainGreen(h, &o.ok); }, 0},
      {"SetBayerGainGreen", [](LONG h) { return Nivexa_SetBayerGainGreen(h, 1); }, 0},
      {"GetBayerGainBlue", [&](LONG h) { return Nivexa_GetBayerGainBlue(h, &o.ok); }, 0},
      {"SetBayerGainBlue", [](LONG h) { return Nivexa_SetBayerGainBlue(h, 1); }, 0},
      {"GetBayerGainAuto", [&](LONG h) { return Nivexa_GetBayerGainAuto(h, &o.ok); }, 0},
      {"SetBayerGainAuto", [](LONG h) { return Nivexa_SetBayerGainAuto(h, 1); }, 0},
      {"GetGamma", [&](LONG h) { return Nivexa_GetGamma(h, &o.ok); }, 0},
      {"SetGamma", [](LONG h) { return Nivexa_SetGamma(h, 1); }, 0},
      {"GetBayerMode", [&](LONG h) { return Nivexa_GetBayerMode(h, &o.ok); }, 0},
      {"SetBayerMode", [](LONG h) { return Nivexa_SetBayerMode(h, 1); }, 0},
      {"GetGlobalGain", [&](LONG h) { return Nivexa_GetGlobalGain(h, &o.ok); }, 0},
      {"SetGlobalGain", [](LONG h) { return Nivexa_SetGlobalGain(h, 1); }, 0},
      {"GetColorGainRed", [&](LONG h) { return Nivexa_GetColorGainRed(h, &o.ok); }, 0},
      {"SetColorGainRed", [](LONG h) { return Nivexa_SetColorGainRed(h, 1); }, 0},
      {"GetColorGainGreen1", [&](LONG h) { return Nivexa_GetColorGainGreen1(h, &o.ok); }, 0},
      {"SetColorGainGreen1", [](LONG h) { return Nivexa_SetColorGainGreen1(h, 1); }, 0},
      {"GetColorGainGreen2", [&](LONG h) { return Nivexa_GetColorGainGreen2(h, &o.ok); }, 0},
      {"SetColorGainGreen2", [](LONG h) { return Nivexa_SetColorGainGreen2(h, 1); }, 0},
      {"GetColorGainBlue", [&](LONG h) { return Nivexa_GetColorGainBlue(h, &o.ok); }, 0},
      {"SetColorGainBlue", [](LONG h) { return Nivexa_SetColorGainBlue(h, 1); }, 0},
      {"GetExposureTime", [&](LONG h) { return Nivexa_GetExposureTime(h, &o.ok); }, 0},
      {"SetExposureTime", [](LONG h) { return Nivexa_SetExposureTime(h, 1); }, 0},
      {"GetGrayMode", [&](LONG h) { return Nivexa_GetGrayMode(h, &o.ok); }, 0},
      {"SetGrayMode", [](LONG h) { return Nivexa_SetGrayMode(h, 1); }, 0},
      {"GetGrayGainR", [&](LONG h) { return Nivexa_GetGrayGainR(h, &o.ok); }, 0},
      {"SetGrayGainR", [](LONG h) { return Nivexa_SetGrayGainR(h, 1); }, 0},
      {"GetGrayGainG1", [&](LONG h) { return Nivexa_GetGrayGainG1(h, &o.ok); }, 0},
      {"SetGrayGainG1", [](LONG h) { return Nivexa_SetGrayGainG1(h, 1); }, 0},
      {"GetGrayGainG2", [&](LONG h) { return Nivexa_GetGrayGainG2(h, &o.ok); }, 0},
      {"SetGrayGainG2", [](LONG h) { return Nivexa_SetGrayGainG2(h, 1); }, 0},
      {"GetGrayGainB", [&](LONG h) { return Nivexa_GetGrayGainB(h, &o.ok); }, 0},
      {"SetGrayGainB", [](LONG h) { return Nivexa_SetGrayGainB(h, 1); }, 0},
      {"GetGrayOffsetR", [&](LONG h) { return Nivexa_GetGrayOffsetR(h, &o.ok); }, 0},
      {"SetGrayOffsetR", [](LONG h) { return Nivexa_SetGrayOffsetR(h, 1); }, 0},
      {"GetGrayOffsetG1", [&](LONG h) { return Nivexa_GetGrayOffsetG1(h, &o.ok); }, 0},
      {"SetGrayOffsetG1", [](LONG h) { return Nivexa_SetGrayOffsetG1(h, 1); }, 0},
      {"GetGrayOffsetG2", [&](LONG h) { return Nivexa_GetGrayOffsetG2(h, &o.ok); }, 0},
      {"SetGrayOffsetG2", [](LONG h) { return Nivexa_SetGrayOffsetG2(h, 1); }, 0},
      {"GetGrayOffsetB", [&](LONG h) { return Nivexa_GetGrayOffsetB(h, &o.ok); }, 0},
      {"SetGrayOffsetB", [](LONG h) { return Nivexa_SetGrayOffsetB(h, 1); }, 0},
      {"GetPeltier", [&](LONG h) { return Nivexa_GetPeltier(h, &o.ok); }, 0},
      {"SetPeltier", [](LONG h) { return Nivexa_SetPeltier(h, 1); }, 0},
      {"GetTemperature", [&](LONG h) { return Nivexa_GetTemperature(h, &o.ok); }, 0},
      {"GetDotFilter", [&](LONG h) { return Nivexa_GetDotFilter(h, &o.ok); }, 0},
      {"SetDotFilter", [](LONG h) { return Nivexa_SetDotFilter(h, 1); }, 0},
      {"GetMaskFilter", [&](LONG h) { return Nivexa_GetMaskFilter(h, &o.ok); }, 0},
      {"SetMaskFilter", [](LONG h) { return Nivexa_SetMaskFilter(h, 1); }, 0},
      {"GetChannelGain", [&](LONG h) { return Nivexa_GetChannelGain(h, 1, &o.ok); }, 0},
      {"SetChannelGain", [](LONG h) { return Nivexa_SetChannelGain(h, 1, 1); }, 0},
      {"GetChannelOffset", [&](LONG h) { return Nivexa_GetChannelOffset(h, 1, &o.ok); }, 0},
      {"SetChannelOffset", [](LONG h) { return Nivexa_SetChannelOffset(h, 1, 1); }, 0},
      {"GetExposureTimeEx", [&](LONG h) { return Nivexa_GetExposureTimeEx(h, &o.ok); }, 0.0},
      {"SetExposureTimeEx", [](LONG h) { return Nivexa_SetExposureTimeEx(h, 0.01); }, 0},
      {"GetRealExposureTime", [&](LONG h) { return Nivexa_GetRealExposureTime(h, &o.ok); }, 0},
      {"SetRealExposureTime", [](LONG h) { return Nivexa_SetRealExposureTime(h, 1000); }, 0},
      {"GetTemperatureEx", [&](LONG h) { return Nivexa_GetTemperatureEx(h, &o.ok); }, 0.0},
      {"GetMirrorH", [](LONG h) { return Nivexa_GetMirrorH(h); }, 0},
      {"SetMirrorH", [](LONG h) { return Nivexa_SetMirrorH(h, 1); }, 0},
      {"GetMirrorV", [](LONG h) { return Nivexa_GetMirrorV(h); }, 0},
      {"SetMirrorV", [](LONG h) { return Nivexa_SetMirrorV(h, 1); }, 0},
      {"GetSubSample", [](LONG h) { return Nivexa_GetSubSample(h); }, -1},
      {"SetSubSample", [](LONG h) { return Nivexa_SetSubSample(h, 1); }, 0},
      {"GetColorMode", [](LONG h) { return Nivexa_GetColorMode(h); }, -1},
      {"SetColorMode", [](LONG h) { return Nivexa_SetColorMode(h, 16); }, 0},
      {"GetWaitTime", [](LONG h) { return Nivexa_GetWaitTime(h); }, -1},
      {"SetWaitTime", [](LONG h) { return Nivexa_SetWaitTime(h, 5); }, 0},
      {"GetIOPort", [&](LONG h) { return Nivexa_GetIOPort(h, &o.byte); }, 0},
      {"SetIOPort", [](LONG h) { return Nivexa_SetIOPort(h, 1); }, 0},
      {"GetInternalCorrection", [&](LONG h) { return Nivexa_GetInternalCorrection(h, &o.ok); }, 0},
      {"SetInternalCorrection", [](LONG h) { return Nivexa_SetInternalCorrection(h, 1); }, 0},
      {"GetAutoIris", [&](LONG h) { return Nivexa_GetAutoIris(h, &o.ok); }, 0},
      {"SetAutoIris", [](LONG h) { return Nivexa_SetAutoIris(h, 1); }, 0},
      {"SetSamplingRate", [](LONG h) { return Nivexa_SetSamplingRate(h, 1); }, 0},
      {"GetSamplingRate", [=](LONG h) { return Nivexa_GetSamplingRate(h, v); }, 0},
      {"GetVideoFormat", [=](LONG h) { return Nivexa_GetVideoFormat(h, v); }, 0},
      {"GetConfigFilter", [](LONG h) { return Nivexa_GetConfigFilter(h); }, 0},
      {"SetConfigFilter", [](LONG h) { return Nivexa_SetConfigFilter(h); }, 0},
      {"SendText", [&](LONG h) { return Nivexa_SendText(h, o.text[0]); }, 0},
      {"ReceiveText", [&](LONG h) { return Nivexa_ReceiveText(h, o.text[0]); }, 0},
      {"Fps", [](LONG h) { return Nivexa_Fps(h); }, 0},
      {"GetHalfClock", [](LONG h) { return Nivexa_GetHalfClock(h); }, 0},
      {"SetCrossbar", [](LONG h) { return Nivexa_SetCrossbar(h); }, 0},
      {"SetHalfClock", [](LONG h) { return Nivexa_SetHalfClock(h); }, 0},
      {"Fpga_ReadRegister", [&](LONG h) { return Nivexa_Fpga_ReadRegister(h, 8, &o.ok); }, 0},
      {"Fpga_WriteRegister", [](LONG h) { return Nivexa_Fpga_WriteRegister(h, 8, 1); }, 0},
      {"ReadRegister", [&](LONG h) { return Nivexa_ReadRegister(h, 8, &o.ok); }, 0},
      {"ReadRegisterEx", [&](LONG h) { return Nivexa_ReadRegisterEx(h, 8, &o.ok); }, 0},
      {"WriteRegister", [](LONG h) { return Nivexa_WriteRegister(h, 8, 1); }, 0},
      {"WriteRegisterEx", [](LONG h) { return Nivexa_WriteRegisterEx(h, 8, 1); }, 0},
      {"ReadSromID", [&](LONG h) { return Nivexa_ReadSromID(h, 0, &o.ok); }, 0},
      {"WriteSromID", [](LONG h) { return Nivexa_WriteSromID(h, 0, 1); }, 0},
      {"SetPreviewWindow",
       [](LONG h) { return Nivexa_SetPreviewWindow(h, nullptr, 0, 0, 640, 480); }, 0},
      {"SetCaptureWindow", [](LONG h) { return Nivexa_SetCaptureWindow(h, 2048, 1536); }, 0},
      {"SetCaptureWindowEx",
       [](LONG h) { return Nivexa_SetCaptureWindowEx(h, 2048, 0, 2048, 1536, 0, 1536); }, 0},
      {"GetCaptureWindowEx", [=](LONG h) { return Nivexa_GetCaptureWindowEx(h, v, v, v, v, v, v); },
       0},
      {"SaveImage", [](LONG h) { return Nivexa_SaveImage(h, "/tmp/x.bmp", 0); }, 0},
      {"SaveImageW", [](LONG h) { return Nivexa_SaveImageW(h, L"/tmp/x.bmp", 0); }, 0},
      {"Record", [](LONG h) { return Nivexa_Record(h, "/tmp/x.avi", 100, 0); }, 0},
      {"RecordW", [](LONG h) { return Nivexa_RecordW(h, L"/tmp/x.avi", 100, 0); }, 0},
      {"LoadMaskFile", [](LONG h) { return Nivexa_LoadMaskFile(h, "/tmp/x.msk"); }, 0},
      {"LoadMaskFileW", [](LONG h) { return Nivexa_LoadMaskFileW(h, L"/tmp/x.msk"); }, 0},
      {"SaveMaskFile", [](LONG h) { return Nivexa_SaveMaskFile(h, "/tmp/x.msk"); }, 0},
      {"SaveMaskFileW", [](LONG h) { return Nivexa_SaveMaskFileW(h, L"/tmp/x.msk"); }, 0},
      {"UpdateMaskData", [](LONG h) { return Nivexa_UpdateMaskData(h, 0); }, 0},
      {"LoadConfigFileA", [](LONG h) { return Nivexa_LoadConfigFileA(h, "/dev/null"); }, 0},
      {"LoadConfigFileW", [](LONG h) { return Nivexa_LoadConfigFileW(h, L"/dev/null"); }, 0},
      {"SetCameraDlg", [](LONG h) { return Nivexa_SetCameraDlg(h, nullptr); }, 0},
      {"SetImageDlg", [](LONG h) { return Nivexa_SetImageDlg(h, nullptr); }, 0},
      {"SetAnalogDlg", [](LONG h) { return Nivexa_SetAnalogDlg(h, nullptr); }, 0},
  };
}

void expectFailureEverywhere(LONG h, const char* what) {
  Outputs outputs;
  const auto calls = everyExport(outputs);
  EXPECT_EQ(calls.size(), 147u) << "every export but Initialize and GetDllVersion";
  for (const auto& call : calls) {
    EXPECT_EQ(call.invoke(h), call.failure) << call.name << " with " << what;
  }
  EXPECT_EQ(outputs.ok, kUntouched) << "no ok flag is written for " << what;
  EXPECT_EQ(outputs.value, kUntouched) << "no output is written for " << what;
  EXPECT_EQ(outputs.byte, 0x5A);
  EXPECT_EQ(outputs.info.size, 0);
}

TEST(InvalidHandle, EveryExportFailsWithHandleZero) {
  expectFailureEverywhere(0, "handle 0");
}

TEST(InvalidHandle, EveryExportFailsWithAReleasedHandle) {
  const LONG h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  ASSERT_EQ(Nivexa_Release(h), 1);
  expectFailureEverywhere(h, "a released handle");
}

TEST(InvalidHandle, NothingIsPostedForAnUnknownHandle) {
  Sink sink;
  ASSERT_EQ(Nivexa_Fps(0), 0);
  ASSERT_EQ(Nivexa_SendText(0, nullptr), 0);
  TestMessage message{};
  EXPECT_FALSE(takeMessage(nullptr, message)) << "no post reaches the caller's queue";
  EXPECT_TRUE(sink.take().empty());
}

}  // namespace
}  // namespace nivexa::test
