// The engine operations that only pass a setting or a query on to the sensor driver.
#include "engine/CNivexaU3R5Base.h"

namespace nivexa::engine {

namespace {

// Calls `op` on the driver, or answers `fallback` when there is none.
template <typename Op>
int forward(const std::unique_ptr<sensors::CSensorBase>& sensor, Op op, int fallback = 0) {
  return sensor ? op(*sensor) : fallback;
}

// The fastest clock mode, which only a SuperSpeed link carries.
constexpr int kClockModeFastest = 2;

}  // namespace

int CNivexaU3R5Base::CopySensorInfo(sensors::SensorInfo* out) {
  if (out == nullptr) {
    return 0;
  }
  return forward(sensor_, [&](sensors::CSensorBase& s) { return s.CopySensorInfo(out); });
}

int CNivexaU3R5Base::SetClockMode(int mode) {
  if (!sensor_) {
    return 0;
  }
  // The fastest readout needs SuperSpeed; on a slower link the camera falls back to mode 0.
  uint32_t speed = 0;
  if (mode == kClockModeFastest && !productHas(family::kAlternativeStreaming) && controller_ &&
      (!controller_->GetBusSpeed(speed) || speed != kBusSpeedSuper)) {
    mode = 0;
  }
  return sensor_->SetClockMode(mode);
}

int CNivexaU3R5Base::GetClockMode() {
  return forward(sensor_, [](auto& s) { return s.GetClockMode(); });
}

int CNivexaU3R5Base::SetMirrorH(int on) {
  return forward(sensor_, [&](auto& s) { return s.SetMirrorH(on); });
}
int CNivexaU3R5Base::SetMirrorV(int on) {
  return forward(sensor_, [&](auto& s) { return s.SetMirrorV(on); });
}
int CNivexaU3R5Base::GetMirrorH() {
  return forward(sensor_, [](auto& s) { return s.GetMirrorH(); });
}
int CNivexaU3R5Base::GetMirrorV() {
  return forward(sensor_, [](auto& s) { return s.GetMirrorV(); });
}
int CNivexaU3R5Base::GetMirrorVDefault() {
  return forward(sensor_, [](auto& s) { return s.GetMirrorVDefault(); });
}
int CNivexaU3R5Base::GetMirrorHDefault() {
  return forward(sensor_, [](auto& s) { return s.GetMirrorHDefault(); });
}
int CNivexaU3R5Base::MirrorVSupported() {
  return forward(sensor_, [](auto& s) { return s.MirrorVSupported(); });
}
int CNivexaU3R5Base::MirrorHSupported() {
  return forward(sensor_, [](auto& s) { return s.MirrorHSupported(); });
}
int CNivexaU3R5Base::GetTriggerMode() {
  return forward(sensor_, [](auto& s) { return s.GetTriggerMode(); });
}

int CNivexaU3R5Base::GetAttributeA() {
  return forward(sensor_, [](auto& s) { return s.info().attributeA; });
}
int CNivexaU3R5Base::GetMonochrome() {
  return forward(sensor_, [](auto& s) { return s.info().monochrome; });
}
int CNivexaU3R5Base::GetArrayWidth() {
  return forward(sensor_, [](auto& s) { return s.info().arrayWidth; });
}
int CNivexaU3R5Base::GetArrayHeight() {
  return forward(sensor_, [](auto& s) { return s.info().arrayHeight; });
}
int CNivexaU3R5Base::GetDefaultWidth() {
  return forward(sensor_, [](auto& s) { return s.info().defaultWidth; });
}
int CNivexaU3R5Base::GetDefaultHeight() {
  return forward(sensor_, [](auto& s) { return s.info().defaultHeight; });
}
int CNivexaU3R5Base::GetDefaultX() {
  return forward(sensor_, [](auto& s) { return s.info().defaultX; });
}
int CNivexaU3R5Base::GetDefaultY() {
  return forward(sensor_, [](auto& s) { return s.info().defaultY; });
}

int CNivexaU3R5Base::SetAnalogGain(int gain) {
  return forward(sensor_, [&](auto& s) { return s.SetAnalogGain(gain); });
}
int CNivexaU3R5Base::GetAnalogGain() {
  return forward(sensor_, [](auto& s) { return s.GetAnalogGain(); });
}
int CNivexaU3R5Base::GetAnalogGainMin() {
  return forward(sensor_, [](auto& s) { return s.GetAnalogGainMin(); });
}
int CNivexaU3R5Base::GetAnalogGainMax() {
  return forward(sensor_, [](auto& s) { return s.GetAnalogGainMax(); });
}
int CNivexaU3R5Base::GetAnalogGainDefault() {
  return forward(sensor_, [](auto& s) { return s.GetAnalogGainDefault(); });
}

int CNivexaU3R5Base::GetExposureTicks() {
  return forward(sensor_, [](auto& s) { return s.GetExposureTicks(); });
}
int CNivexaU3R5Base::GetExposureTicksMin() {
  return forward(sensor_, [](auto& s) { return s.GetExposureTicksMin(); });
}
int CNivexaU3R5Base::GetExposureTicksMax() {
  return forward(sensor_, [](auto& s) { return s.GetExposureTicksMax(); });
}
int CNivexaU3R5Base::GetExposureTicksDefault() {
  return forward(sensor_, [](auto& s) { return s.GetExposureTicksDefault(); });
}
int CNivexaU3R5Base::SetExposureLines(int lines) {
  return forward(sensor_, [&](auto& s) { return s.SetExposureLines(lines); });
}
int CNivexaU3R5Base::GetExposureLines() {
  return forward(sensor_, [](auto& s) { return s.GetExposureLines(); });
}
int CNivexaU3R5Base::GetExposureLinesMin() {
  return forward(sensor_, [](auto& s) { return s.GetExposureLinesMin(); });
}
int CNivexaU3R5Base::GetExposureLinesMax() {
  return forward(sensor_, [](auto& s) { return s.GetExposureLinesMax(); });
}
int CNivexaU3R5Base::GetExposureLinesDefault() {
  return forward(sensor_, [](auto& s) { return s.GetExposureLinesDefault(); });
}
int CNivexaU3R5Base::ExposureSecondsSupported() {
  return forward(sensor_, [](auto& s) { return s.ExposureSecondsSupported(); });
}
int CNivexaU3R5Base::GetExposureSeconds(double* seconds) {
  return forward(sensor_, [&](auto& s) { return s.GetExposureSecondsCurrent(seconds); });
}
int CNivexaU3R5Base::GetExposureSecondsMin(double* seconds) {
  return forward(sensor_, [&](auto& s) { return s.GetExposureSecondsMin(seconds); });
}
int CNivexaU3R5Base::GetExposureSecondsMax(double* seconds) {
  return forward(sensor_, [&](auto& s) { return s.GetExposureSecondsMax(seconds); });
}
int CNivexaU3R5Base::GetExposureSecondsDefault(double* seconds) {
  return forward(sensor_, [&](auto& s) { return s.GetExposureSecondsDefault(seconds); });
}

int CNivexaU3R5Base::CcdOperation87(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation37(v); });
}
int CNivexaU3R5Base::CcdOperation88(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation38(v); });
}
int CNivexaU3R5Base::CcdOperation89(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation39(v); });
}
int CNivexaU3R5Base::CcdOperation90(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation40(v); });
}
int CNivexaU3R5Base::CcdOperation91(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation41(v); });
}
int CNivexaU3R5Base::CcdOperation92(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation42(v); });
}
int CNivexaU3R5Base::CcdOperation93(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation43(v); });
}
int CNivexaU3R5Base::CcdOperation94(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation44(v); });
}
int CNivexaU3R5Base::CcdOperation95(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation45(v); });
}
int CNivexaU3R5Base::CcdOperation96(int v) {
  return forward(sensor_, [&](auto& s) { return s.CcdOperation46(v); });
}

int CNivexaU3R5Base::SetColourGainRed(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetColourGainRed(v); });
}
int CNivexaU3R5Base::GetColourGainRed() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainRed(); });
}
int CNivexaU3R5Base::SetColourGainGreen1(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetColourGainGreen1(v); });
}
int CNivexaU3R5Base::GetColourGainGreen1() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainGreen1(); });
}
int CNivexaU3R5Base::SetColourGainGreen2(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetColourGainGreen2(v); });
}
int CNivexaU3R5Base::GetColourGainGreen2() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainGreen2(); });
}
int CNivexaU3R5Base::SetColourGainBlue(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetColourGainBlue(v); });
}
int CNivexaU3R5Base::GetColourGainBlue() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainBlue(); });
}
int CNivexaU3R5Base::GetColourGainMin() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainMin(); });
}
int CNivexaU3R5Base::GetColourGainMax() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainMax(); });
}
int CNivexaU3R5Base::GetColourGainDefault() {
  return forward(sensor_, [](auto& s) { return s.GetColourGainDefault(); });
}

int CNivexaU3R5Base::BlackLevelSupported() {
  return forward(sensor_, [](auto& s) { return s.BlackLevelSupported(); });
}
int CNivexaU3R5Base::SetBlackLevel(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetBlackLevel(v); });
}
int CNivexaU3R5Base::GetBlackLevel(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetBlackLevel(v); });
}
int CNivexaU3R5Base::GetBlackLevelMin(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetBlackLevelMin(v); });
}
int CNivexaU3R5Base::GetBlackLevelMax(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetBlackLevelMax(v); });
}
int CNivexaU3R5Base::GetBlackLevelDefault(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetBlackLevelDefault(v); });
}
int CNivexaU3R5Base::FeatureSwitchSupported() {
  return forward(sensor_, [](auto& s) { return s.FeatureSwitchSupported(); });
}
int CNivexaU3R5Base::SetFeatureSwitch(int on) {
  return forward(sensor_, [&](auto& s) { return s.SetFeatureSwitch(on); });
}
int CNivexaU3R5Base::GetFeatureSwitch(int* on) {
  return forward(sensor_, [&](auto& s) { return s.GetFeatureSwitch(on); });
}

int CNivexaU3R5Base::WriteSensorRegisterRaw(uint32_t address, uint32_t value) {
  return forward(sensor_, [&](auto& s) {
    return s.WriteSensorRegisterRaw(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
  });
}

int CNivexaU3R5Base::ReadSensorRegisterRaw(uint32_t address, int* ok) {
  uint8_t value = 0;
  const int done = forward(sensor_, [&](auto& s) {
    return s.ReadSensorRegisterRaw(static_cast<uint16_t>(address), &value);
  });
  if (ok != nullptr) {
    *ok = done != 0 ? 1 : 0;
  }
  return done != 0 ? value : 0;
}

int CNivexaU3R5Base::SensorHook() {
  if (!sensor_) {
    return 0;
  }
  sensor_->Hook93();
  return 1;
}

int CNivexaU3R5Base::SensorHook2() {
  if (!sensor_) {
    return 0;
  }
  sensor_->Hook94();
  return 1;
}

int CNivexaU3R5Base::FramePeriodHook(int) {
  return forward(sensor_, [](auto& s) { return s.FramePeriodHook(); });
}

int CNivexaU3R5Base::HasGainMode() {
  return forward(sensor_, [](auto& s) { return s.HasGainMode(); });
}
int CNivexaU3R5Base::SetGainMode(int mode) {
  return forward(sensor_, [&](auto& s) { return s.SetGainMode(mode); });
}
int CNivexaU3R5Base::GetGainMode() {
  return forward(
      sensor_, [](auto& s) { return s.GetGainMode(); }, -1);
}

int CNivexaU3R5Base::ReadSerialText(char* text, size_t size) {
  return forward(sensor_, [&](auto& s) { return s.ReadSerialText(text, size); });
}
int CNivexaU3R5Base::WriteSerialText(const char* text) {
  return forward(sensor_, [&](auto& s) { return s.WriteSerialText(text); });
}

int CNivexaU3R5Base::HasCooling() {
  return forward(sensor_, [](auto& s) { return s.HasCooling(); });
}
int CNivexaU3R5Base::GetCooling(int* on) {
  return forward(sensor_, [&](auto& s) { return s.GetCooling(on); });
}
int CNivexaU3R5Base::SetCooling(int on) {
  return forward(sensor_, [&](auto& s) { return s.SetCooling(on); });
}
int CNivexaU3R5Base::HasTemperature() {
  return forward(sensor_, [](auto& s) { return s.HasTemperature(); });
}
int CNivexaU3R5Base::ReadTemperature(double* celsius) {
  return forward(sensor_, [&](auto& s) { return s.ReadTemperature(celsius); });
}

int CNivexaU3R5Base::OtherOperation149(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation106(v); });
}
int CNivexaU3R5Base::OtherOperation150(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation107(v); });
}
int CNivexaU3R5Base::OtherOperation151(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation108(v); });
}
int CNivexaU3R5Base::OtherOperation152(int* v) {
  return forward(sensor_, [&](auto& s) { return s.FpgaStatusRead111(v); });
}
int CNivexaU3R5Base::OtherOperation153(int* v) {
  return forward(sensor_, [&](auto& s) { return s.FpgaStatusRead112(v); });
}
int CNivexaU3R5Base::OtherOperation154(int* v) {
  return forward(sensor_, [&](auto& s) { return s.FpgaStatusRead113(v); });
}
int CNivexaU3R5Base::OtherOperation155(int* v) {
  return forward(sensor_, [&](auto& s) { return s.FpgaStatusRead114(v); });
}
int CNivexaU3R5Base::OtherOperation156(int* v) {
  return forward(sensor_, [&](auto& s) { return s.FpgaStatusRead115(v); });
}
int CNivexaU3R5Base::OtherOperation157(int* v) {
  return forward(sensor_, [&](auto& s) { return s.FpgaStatusRead116(v); });
}
int CNivexaU3R5Base::OtherOperation158(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetThermistorSetPoint(v); });
}
int CNivexaU3R5Base::OtherOperation159(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetThermistorSetPoint(v); });
}
int CNivexaU3R5Base::OtherOperation162(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation128(v); });
}
int CNivexaU3R5Base::OtherOperation163(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation129(v); });
}
int CNivexaU3R5Base::OtherOperation164(int v) {
  return forward(sensor_, [&](auto& s) { return s.StoreValue(v); });
}
int CNivexaU3R5Base::OtherOperation165(int) {
  return forward(sensor_, [](auto& s) { return s.FpgaStartupSequence(); });
}
int CNivexaU3R5Base::OtherOperation166(int) {
  return forward(sensor_, [](auto& s) { return s.FpgaVersionAbove4(); });
}
int CNivexaU3R5Base::OtherOperation167(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation125(v); });
}
int CNivexaU3R5Base::OtherOperation168(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation126(v); });
}
int CNivexaU3R5Base::OtherOperation169(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation127(v); });
}

int CNivexaU3R5Base::FifthParameterSupported() {
  return forward(sensor_, [](auto& s) { return s.FifthParameterSupported(); });
}
int CNivexaU3R5Base::GetFifthParameterMin(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetFifthParameterMin(v); });
}
int CNivexaU3R5Base::GetFifthParameterMax(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetFifthParameterMax(v); });
}
int CNivexaU3R5Base::GetFifthParameterDefault(int* v) {
  return forward(sensor_, [&](auto& s) { return s.GetFifthParameterDefault(v); });
}
int CNivexaU3R5Base::ReadFifthParameter(int* v) {
  return forward(sensor_, [&](auto& s) { return s.ReadFifthParameter(v); });
}
int CNivexaU3R5Base::SetFifthParameter(int v) {
  return forward(sensor_, [&](auto& s) { return s.SetFifthParameter(v); });
}
int CNivexaU3R5Base::GetFifthParameterLabel(int step, char* text, size_t size) {
  return forward(sensor_, [&](auto& s) { return s.GetFifthParameterLabel(step, text, size); });
}
int CNivexaU3R5Base::OtherOperation177(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation133(v); });
}
int CNivexaU3R5Base::OtherOperation178(int v) {
  return forward(sensor_, [&](auto& s) { return s.OtherOperation135(v); });
}
int CNivexaU3R5Base::FrameWidthFactor() {
  return forward(
      sensor_, [](auto& s) { return s.FrameWidthFactor(); }, -1);
}
int CNivexaU3R5Base::AcceptsMonochromeFormats() {
  return forward(
      sensor_, [](auto& s) { return s.AcceptsMonochromeFormats(); }, 1);
}
int CNivexaU3R5Base::SecondFormatCapability() {
  return forward(
      sensor_, [](auto& s) { return s.SecondFormatCapability(); }, 1);
}
int CNivexaU3R5Base::AcceptsColourFormats() {
  return forward(
      sensor_, [](auto& s) { return s.AcceptsColourFormats(); }, 1);
}
int CNivexaU3R5Base::OlderSwirOperation183(int v) {
  return forward(
      sensor_, [&](auto& s) { return s.FpgaRegister23Operation(v); }, 1);
}
int CNivexaU3R5Base::OlderSwirOperation184(int v) {
  return forward(
      sensor_, [&](auto& s) { return s.FpgaRegister24Operation(v); }, 1);
}

}  // namespace nivexa::engine
