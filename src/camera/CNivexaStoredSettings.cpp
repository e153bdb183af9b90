// The moments at which a camera object loads and saves its stored settings: what it hands the
// settings store and what it takes back. The geometry and colour loads name the object's own
// device number; the gain, filter and gray groups that of the engine.
#include "camera/CNivexa.h"
#include "settings/FilterSettings.h"
#include "settings/GainSettings.h"
#include "settings/GraySettings.h"
#include "settings/StreamSettings.h"

namespace nivexa::camera {

namespace {

settings::FormatCapabilities formatsOf(engine::CNivexaU3R5Base& engine) {
  return {engine.AcceptsMonochromeFormats() != 0, engine.SecondFormatCapability() != 0,
          engine.AcceptsColourFormats() != 0};
}

settings::GainDefaults gainDefaultsOf(engine::CNivexaU3R5Base& engine) {
  settings::GainDefaults defaults;
  defaults.globalGain = engine.GetAnalogGainDefault();
  defaults.colourGain = engine.GetColourGainDefault();
  defaults.exposureTicks = engine.GetExposureTicksDefault();
  defaults.mirrorV = engine.GetMirrorVDefault();
  defaults.mirrorH = engine.GetMirrorHDefault();
  int blackLevel = 0;
  engine.GetBlackLevelDefault(&blackLevel);
  defaults.blackLevel = blackLevel;
  if (engine.ExposureSecondsSupported()) {
    double seconds = 0.0;
    engine.GetExposureSecondsDefault(&seconds);
    defaults.exposureSeconds = seconds;
  }
  return defaults;
}

// The engine's ranges are those of its sensor; without one they say nothing, and the stored
// values wait for the load that follows the opening of a device.
settings::GainLimits gainLimitsOf(engine::CNivexaU3R5Base& engine) {
  settings::GainLimits limits;
  if (!engine.HasSensor()) {
    return limits;
  }
  limits.globalGain = settings::IntRange{engine.GetAnalogGainMin(), engine.GetAnalogGainMax()};
  limits.colourGain = settings::IntRange{engine.GetColourGainMin(), engine.GetColourGainMax()};
  limits.exposureTicks =
      settings::IntRange{engine.GetExposureTicksMin(), engine.GetExposureTicksMax()};
  int low = 0;
  int high = 0;
  if (engine.BlackLevelSupported() && engine.GetBlackLevelMin(&low) &&
      engine.GetBlackLevelMax(&high)) {
    limits.blackLevel = settings::IntRange{low, high};
  }
  double shortest = 0.0;
  double longest = 0.0;
  if (engine.ExposureSecondsSupported() && engine.GetExposureSecondsMin(&shortest) &&
      engine.GetExposureSecondsMax(&longest)) {
    limits.exposureSeconds = settings::SecondsRange{shortest, longest};
  }
  return limits;
}

}  // namespace

settings::GainSettings CNivexa::StoredGainGroup() const {
  settings::GainSettings gain;
  gain.globalGain = analog_.globalGain;
  gain.colourGainGreen1 = analog_.colourGainGreen1;
  gain.colourGainRed = analog_.colourGainRed;
  gain.colourGainBlue = analog_.colourGainBlue;
  gain.colourGainGreen2 = analog_.colourGainGreen2;
  gain.exposureTicks = analog_.exposureTicks;
  gain.mirrorV = params_.mirrorV;
  gain.mirrorH = params_.mirrorH;
  gain.autoIris = params_.autoIris;
  gain.gainMode = analog_.gainMode;
  gain.blackLevel = analog_.blackLevel;
  gain.exposureSeconds = analog_.exposureSeconds;
  return gain;
}

settings::FilterSettings CNivexa::StoredFilterGroup() const {
  settings::FilterSettings filter;
  filter.brightness = params_.brightness;
  filter.contrast = params_.contrast;
  filter.hue = params_.hue;
  filter.saturation = params_.saturation;
  filter.sharpness = params_.sharpness;
  filter.redGain = params_.bayerGainRed;
  filter.greenGain = params_.bayerGainGreen;
  filter.blueGain = params_.bayerGainBlue;
  filter.gamma = params_.gamma;
  filter.bayerMode = params_.bayerMode;
  filter.autoWhiteBalance = params_.bayerGainAuto;
  filter.autoGrayOnce = params_.grayGainAutoOnce;
  return filter;
}

settings::GraySettings CNivexa::StoredGrayGroup() const {
  settings::GraySettings gray;
  gray.mode = params_.grayMode;
  gray.gainR = params_.grayGain[imaging::kGrayR];
  gray.gainG1 = params_.grayGain[imaging::kGrayG1];
  gray.gainG2 = params_.grayGain[imaging::kGrayG2];
  gray.gainB = params_.grayGain[imaging::kGrayB];
  gray.offsetR = params_.grayOffset[imaging::kGrayR];
  gray.offsetG1 = params_.grayOffset[imaging::kGrayG1];
  gray.offsetG2 = params_.grayOffset[imaging::kGrayG2];
  gray.offsetB = params_.grayOffset[imaging::kGrayB];
  return gray;
}

void CNivexa::LoadStoredGeometry() {
  settings::GeometrySettings geometry{horizontalTotal_, verticalTotal_, frameWidth_, frameHeight_,
                                      horizontalStart_, verticalStart_, bufferValue_};
  if (settings::loadGeometry(currentDevice_, geometry, formatsOf(*engine_))) {
    horizontalTotal_ = geometry.horizontalTotal;
    verticalTotal_ = geometry.verticalTotal;
    frameWidth_ = geometry.frameWidth;
    frameHeight_ = geometry.frameHeight;
    horizontalStart_ = geometry.horizontalStart;
    verticalStart_ = geometry.verticalStart;
    bufferValue_ = geometry.buffer;
  }
}

void CNivexa::LoadStoredStreamSettings() {
  settings::StreamSettings stream{colorMode_, subsample_, waitTimeMs_, clockValue_};
  settings::loadStreamSettings(currentDevice_, stream, formatsOf(*engine_));
  colorMode_ = stream.colorMode;
  subsample_ = stream.subsample;
  waitTimeMs_ = stream.waitTimeMs;
  clockValue_ = stream.clock;
}

void CNivexa::LoadStoredGainSettings() {
  settings::GainSettings gain = StoredGainGroup();
  settings::loadGainSettings(engine_->GetDeviceNumber(), gain, gainDefaultsOf(*engine_),
                             gainLimitsOf(*engine_));
  analog_.globalGain = gain.globalGain;
  analog_.colourGainGreen1 = gain.colourGainGreen1;
  analog_.colourGainRed = gain.colourGainRed;
  analog_.colourGainBlue = gain.colourGainBlue;
  analog_.colourGainGreen2 = gain.colourGainGreen2;
  analog_.exposureTicks = gain.exposureTicks;
  params_.mirrorV = gain.mirrorV;
  params_.mirrorH = gain.mirrorH;
  params_.autoIris = gain.autoIris;
  analog_.gainMode = gain.gainMode;
  analog_.blackLevel = gain.blackLevel;
  analog_.exposureSeconds = gain.exposureSeconds;
}

void CNivexa::LoadStoredFilterSettings() {
  settings::FilterSettings filter = StoredFilterGroup();
  if (!settings::loadFilterSettings(engine_->GetDeviceNumber(), filter)) {
    params_.bayerGainSingleShot = 0;
  }
  params_.brightness = filter.brightness;
  params_.contrast = filter.contrast;
  params_.hue = filter.hue;
  params_.saturation = filter.saturation;
  params_.sharpness = filter.sharpness;
  params_.bayerGainRed = filter.redGain;
  params_.bayerGainGreen = filter.greenGain;
  params_.bayerGainBlue = filter.blueGain;
  params_.gamma = filter.gamma;
  params_.bayerMode = filter.bayerMode;
  params_.bayerGainAuto = filter.autoWhiteBalance;
  params_.grayGainAutoOnce = filter.autoGrayOnce;
}

void CNivexa::LoadStoredGraySettings() {
  settings::GraySettings gray = StoredGrayGroup();
  settings::loadGraySettings(engine_->GetDeviceNumber(), gray);
  params_.grayMode = gray.mode;
  params_.grayGain[imaging::kGrayR] = gray.gainR;
  params_.grayGain[imaging::kGrayG1] = gray.gainG1;
  params_.grayGain[imaging::kGrayG2] = gray.gainG2;
  params_.grayGain[imaging::kGrayB] = gray.gainB;
  params_.grayOffset[imaging::kGrayR] = gray.offsetR;
  params_.grayOffset[imaging::kGrayG1] = gray.offsetG1;
  params_.grayOffset[imaging::kGrayG2] = gray.offsetG2;
  params_.grayOffset[imaging::kGrayB] = gray.offsetB;
}

// A save that cannot write changes nothing the application could act on; it is not reported.
void CNivexa::SaveStoredGainSettings() {
  settings::saveGainSettings(engine_->GetDeviceNumber(), StoredGainGroup());
}

void CNivexa::SaveStoredFilterSettings() {
  settings::saveFilterSettings(engine_->GetDeviceNumber(), StoredFilterGroup());
}

void CNivexa::SaveStoredGraySettings() {
  settings::saveGraySettings(engine_->GetDeviceNumber(), StoredGrayGroup());
}

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
