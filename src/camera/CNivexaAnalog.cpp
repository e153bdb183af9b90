// The analog settings between the camera object and the engine: defaults of an open device,
// re-application at device opening and stream preparation, and the pipeline's automatic control.
#include "camera/CNivexa.h"

namespace nivexa::camera {

namespace {

// Device opening and stream preparation send the colour gains in this order, so that with
// several of them equal the last one written through the filter ids still wins on the sensor.
constexpr AnalogSettings::ColourGain kColourGainOrder[] = {
    AnalogSettings::kGreen1, AnalogSettings::kRed, AnalogSettings::kBlue, AnalogSettings::kGreen2};

void sendColourGains(engine::CNivexaU3R5Base& engine, const AnalogSettings& analog) {
  for (const auto index : kColourGainOrder) {
    const int32_t gain = analog.colourGain[index];
    switch (index) {
      case AnalogSettings::kRed:
        engine.SetColourGainRed(gain);
        break;
      case AnalogSettings::kGreen1:
        engine.SetColourGainGreen1(gain);
        break;
      case AnalogSettings::kGreen2:
        engine.SetColourGainGreen2(gain);
        break;
      case AnalogSettings::kBlue:
        engine.SetColourGainBlue(gain);
        break;
    }
  }
}

}  // namespace

void CNivexa::TakeEngineGainDefaults() {
  if (!engine_) {
    return;
  }
  analog_.globalGain = engine_->GetAnalogGainDefault();
  for (auto& gain : analog_.colourGain) {
    gain = engine_->GetColourGainDefault();
  }
  analog_.exposureTicks = engine_->GetExposureTicksDefault();
  params_.mirrorV = engine_->GetMirrorVDefault();
  params_.mirrorH = engine_->GetMirrorHDefault();
  params_.autoIris = 0;
  analog_.gainMode = 0;
  int level = 0;
  if (engine_->GetBlackLevelDefault(&level)) {
    analog_.blackLevel = level;
  }
  double seconds = 0.0;
  if (engine_->ExposureSecondsSupported() && engine_->GetExposureSecondsDefault(&seconds)) {
    analog_.exposureSeconds = seconds;
  }
}

int CNivexa::ApplyExposure() {
  if (engine_->ExposureSecondsSupported()) {
    return engine_->SetExposureSeconds(analog_.exposureSeconds);
  }
  return engine_->SetExposureTicks(analog_.exposureTicks);
}

void CNivexa::RefreshExposureSeconds() {
  double seconds = 0.0;
  if (engine_->ExposureSecondsSupported() && engine_->GetExposureSeconds(&seconds)) {
    analog_.exposureSeconds = seconds;
  }
}

void CNivexa::ApplyAnalogSettingsOnOpen() {
  if (!engine_) {
    return;
  }
  engine_->SetAnalogGain(analog_.globalGain);
  sendColourGains(*engine_, analog_);
  ApplyExposure();
  engine_->SetMirrorV(params_.mirrorV);
  engine_->SetMirrorH(params_.mirrorH);
  if (engine_->BlackLevelSupported()) {
    engine_->SetBlackLevel(analog_.blackLevel);
  }
  if (engine_->HasCooling()) {
    engine_->SetCooling(1);
    analog_.cooling = 1;
  }
  if (engine_->FeatureSwitchSupported()) {
    engine_->SetFeatureSwitch(0);
    analog_.featureSwitch = 0;
  }
  if (engine_->HasGainMode()) {
    engine_->SetGainMode(analog_.gainMode);
  }
}

void CNivexa::ApplyAnalogSettingsForStream() {
  if (!engine_) {
    return;
  }
  engine_->SetMirrorV(params_.mirrorV);
  engine_->SetMirrorH(params_.mirrorH);
  engine_->SetTriggerMode(0, 1);
  engine_->SetAnalogGain(analog_.globalGain);
  sendColourGains(*engine_, analog_);
  ApplyExposure();
  analog_.realExposureUs = analog_.exposureTicks * kMicrosecondsPerTick;
  if (engine_->HasGainMode()) {
    // A gain mode written straight through filter id 104 gives way to the stored one here.
    engine_->SetGainMode(0);
    engine_->SetGainMode(analog_.gainMode);
  }
  if (engine_->BlackLevelSupported()) {
    engine_->SetBlackLevel(analog_.blackLevel);
  }
  engine_->SensorHook();
}

void CNivexa::SetAutoExposure(int32_t ticks) {
  if (!engine_) {
    return;
  }
  analog_.exposureTicks = ticks;
  engine_->SetExposureTicks(ticks);
  RefreshExposureSeconds();
}

void CNivexa::SetAutoGain(int32_t gain) {
  if (!engine_) {
    return;
  }
  analog_.globalGain = gain;
  for (auto& colour : analog_.colourGain) {
    colour = gain;
  }
  engine_->SetAnalogGain(gain);
}

}  // namespace nivexa::camera
