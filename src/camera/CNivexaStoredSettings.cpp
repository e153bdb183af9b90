// The moments at which a camera object loads and saves its stored settings. There is no settings
// store yet: each load does what finding nothing stored means, and the saves have nowhere to
// write. The store replaces the bodies, not the moments.
#include "camera/CNivexa.h"

namespace nivexa::camera {

namespace {

constexpr int32_t kBayerGainUnity = 100;  // percent
constexpr int32_t kGammaOff = 100;
constexpr int32_t kDefaultBayerMode = 3;
constexpr int32_t kGrayDefault = 128;
constexpr int32_t kGrayOffsetNeutral = 0;

}  // namespace

// Nothing stored: the geometry stays as constructed (full sensor, no offset).
void CNivexa::LoadStoredGeometry() {}

// Nothing stored: colour mode, subsample code, wait time and clock stay as constructed.
void CNivexa::LoadStoredStreamSettings() {}

// Nothing stored: the engine's defaults, which are those of no sensor while no device is open.
void CNivexa::LoadStoredGainSettings() {
  const int32_t gain = engine_->GetAnalogGainDefault();
  const int32_t colourGain = engine_->GetColourGainDefault();
  analog_.globalGain = gain;
  analog_.colourGainRed = colourGain;
  analog_.colourGainGreen1 = colourGain;
  analog_.colourGainGreen2 = colourGain;
  analog_.colourGainBlue = colourGain;
  analog_.exposureTicks = engine_->GetExposureTicksDefault();
  params_.mirrorV = engine_->GetMirrorVDefault();
  params_.mirrorH = engine_->GetMirrorHDefault();
  params_.autoIris = 0;
  analog_.gainMode = 0;
  int blackLevel = 0;
  engine_->GetBlackLevelDefault(&blackLevel);
  analog_.blackLevel = blackLevel;
  if (engine_->ExposureSecondsSupported()) {
    double seconds = 0.0;
    engine_->GetExposureSecondsDefault(&seconds);
    analog_.exposureSeconds = seconds;
  }
}

void CNivexa::LoadStoredFilterSettings() {
  params_.brightness = 0;
  params_.contrast = 0;
  params_.hue = 0;
  params_.saturation = 0;
  params_.sharpness = 0;
  params_.bayerGainRed = kBayerGainUnity;
  params_.bayerGainGreen = kBayerGainUnity;
  params_.bayerGainBlue = kBayerGainUnity;
  params_.gamma = kGammaOff;
  params_.bayerMode = kDefaultBayerMode;
  params_.bayerGainAuto = 0;
  params_.bayerGainSingleShot = 0;
  params_.grayGainAutoOnce = 0;
}

void CNivexa::LoadStoredGraySettings() {
  params_.grayMode = 0;
  for (auto& gain : params_.grayGain) {
    gain = kGrayDefault;
  }
  // Offsets are added to the samples: the neutral one is 0, whatever the stored default once was.
  for (auto& offset : params_.grayOffset) {
    offset = kGrayOffsetNeutral;
  }
}

// No store to write to yet.
void CNivexa::SaveStoredGainSettings() {}
void CNivexa::SaveStoredFilterSettings() {}
void CNivexa::SaveStoredGraySettings() {}

void CNivexa::LoadDeviceSettings() {
  LoadStoredGainSettings();
  LoadStoredFilterSettings();
  LoadStoredGraySettings();
}

void CNivexa::SaveDeviceSettings() {
  SaveStoredGainSettings();
  SaveStoredFilterSettings();
  SaveStoredGraySettings();
}

}  // namespace nivexa::camera
