// The numbered parameter space: object-side values from the filter table, the rest through the
// engine.
#include "camera/CNivexa.h"
#include "camera/FilterIds.h"
#include "camera/FilterTable.h"
#include "camera/OkFlag.h"

namespace nivexa::camera {

namespace {

// Engine ranges are asked at every call: they follow the open sensor (and its depth).
bool inRange(int32_t value, int minimum, int maximum) {
  return value >= static_cast<int32_t>(minimum) && value <= static_cast<int32_t>(maximum);
}

int32_t packRgb(const imaging::ProcessingParameters& p) {
  return (p.bayerGainRed & 0xFF) | (p.bayerGainGreen & 0xFF) << 8 | (p.bayerGainBlue & 0xFF) << 16;
}

using Engine = engine::CNivexaU3R5Base;

struct ColourGainRow {
  int32_t id;
  std::atomic<int32_t> AnalogSettings::*stored;
  int (Engine::*set)(int);
  int (Engine::*get)();
};

constexpr ColourGainRow kColourGains[] = {
    {kFilterColorGainRed, &AnalogSettings::colourGainRed, &Engine::SetColourGainRed,
     &Engine::GetColourGainRed},
    {kFilterColorGainGreen1, &AnalogSettings::colourGainGreen1, &Engine::SetColourGainGreen1,
     &Engine::GetColourGainGreen1},
    {kFilterColorGainGreen2, &AnalogSettings::colourGainGreen2, &Engine::SetColourGainGreen2,
     &Engine::GetColourGainGreen2},
    {kFilterColorGainBlue, &AnalogSettings::colourGainBlue, &Engine::SetColourGainBlue,
     &Engine::GetColourGainBlue},
};

const ColourGainRow* findColourGain(int32_t id) {
  for (const ColourGainRow& row : kColourGains) {
    if (row.id == id) {
      return &row;
    }
  }
  return nullptr;
}

}  // namespace

int CNivexa::DeviceCommand(int result) {
  if (result == 0) {
    RecordError(NIVEXA_ERR_REGISTER);
    return 0;
  }
  return 1;
}

int32_t CNivexa::GetFilterValue(int32_t id, BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  setOk(ok, 1);
  if (const ObjectFilterRow* row = findObjectFilter(id); row != nullptr && row->readable) {
    return row->field(params_).load();
  }
  switch (id) {
    case kFilterBayerGainRGB:
      return packRgb(params_);
    case kFilterBayerGainAuto:
      return params_.bayerGainAuto;
    default:
      return GetEngineFilter(id, ok);
  }
}

// Engine values are read and written under the command lock, so that a device change on another
// thread never swaps the sensor in the middle of one.
int32_t CNivexa::GetEngineFilter(int32_t id, BOOL* ok) {
  std::lock_guard command(commandLock_);
  if (const ColourGainRow* row = findColourGain(id)) {
    return (engine_.get()->*row->get)();
  }
  switch (id) {
    case kFilterGlobalGain:
      return engine_->GetAnalogGain();
    case kFilterExposureTime:
      return engine_->GetExposureTicks();
    case kFilterPeltier: {
      if (!engine_->HasCooling()) {
        RecordError(NIVEXA_ERR_UNSUPPORTED);
        setOk(ok, 0);
        return -1;
      }
      // The sensor leaves `on` alone when the camera does not answer.
      int on = -1;
      engine_->GetCooling(&on);
      if (on < 0) {
        RecordError(NIVEXA_ERR_REGISTER);
        setOk(ok, 0);
        return -1;
      }
      return on;
    }
    case kFilterTemperature:
      // Read as a double through the temperature export; the integer form never answers.
      RecordError(NIVEXA_ERR_UNSUPPORTED);
      setOk(ok, 0);
      return -1;
    case kFilterGainMode:
      return engine_->GetGainMode();
    case kFilterFeatureSwitch: {
      if (!engine_->FeatureSwitchSupported()) {
        RecordError(NIVEXA_ERR_UNSUPPORTED);
        setOk(ok, 0);
        return 0;
      }
      int on = 0;
      if (!engine_->GetFeatureSwitch(&on)) {
        RecordError(NIVEXA_ERR_REGISTER);
        setOk(ok, 0);
        return 0;
      }
      RecordError(NIVEXA_OK);
      return on != 0 ? 1 : 0;
    }
    case kFilterBlackLevel: {
      if (!engine_->BlackLevelSupported()) {
        RecordError(NIVEXA_ERR_UNSUPPORTED);
        setOk(ok, 0);
        return 0;
      }
      int level = 0;
      if (!engine_->GetBlackLevel(&level)) {
        RecordError(NIVEXA_ERR_REGISTER);
        setOk(ok, 0);
        return 0;
      }
      analog_.blackLevel = level;
      RecordError(NIVEXA_OK);
      return level;
    }
    default:
      // Not readable: the one-shot gray gain, the channel gains and offsets, unknown ids.
      RecordError(NIVEXA_ERR_ARGUMENT);
      setOk(ok, 0);
      return 0;
  }
}

int CNivexa::SetFilterValue(int32_t id, int32_t value) {
  if (!RequireEngine()) {
    return 0;
  }
  if (const ObjectFilterRow* row = findObjectFilter(id)) {
    if (value < row->minimum || value > row->maximum) {
      RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
    }
    row->field(params_) = value;
    return 1;
  }
  switch (id) {
    case kFilterBayerGainRGB:
      params_.bayerGainRed = value & 0xFF;
      params_.bayerGainGreen = (value >> 8) & 0xFF;
      params_.bayerGainBlue = (value >> 16) & 0xFF;
      return 1;
    case kFilterBayerGainAuto:
      params_.bayerGainAuto = value != 0 ? 1 : 0;
      return 1;
    default:
      return SetEngineFilter(id, value);
  }
}

int CNivexa::SetEngineFilter(int32_t id, int32_t value) {
  std::lock_guard command(commandLock_);
  if (const ColourGainRow* row = findColourGain(id)) {
    // A monochrome sensor has no colour gains: that is the answer, not a failed register write,
    // and nothing is stored that the sensor never took.
    if (currentDevice_ >= 0 && !engine_->SupportsGroup(family::kColourGains)) {
      RecordError(NIVEXA_ERR_UNSUPPORTED);
      return 0;
    }
    if (!inRange(value, engine_->GetColourGainMin(), engine_->GetColourGainMax())) {
      RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
    }
    analog_.*row->stored = value;
    return DeviceCommand((engine_.get()->*row->set)(value));
  }
  switch (id) {
    case kFilterGlobalGain:
      if (!inRange(value, engine_->GetAnalogGainMin(), engine_->GetAnalogGainMax())) {
        RecordError(NIVEXA_ERR_ARGUMENT);
        return 0;
      }
      // The colour gains follow the global gain; only the global gain goes to the engine.
      analog_.globalGain = value;
      for (const ColourGainRow& row : kColourGains) {
        analog_.*row.stored = value;
      }
      return DeviceCommand(engine_->SetAnalogGain(value));
    case kFilterExposureTime: {
      if (!inRange(value, engine_->GetExposureTicksMin(), engine_->GetExposureTicksMax())) {
        RecordError(NIVEXA_ERR_ARGUMENT);
        return 0;
      }
      analog_.exposureTicks = value;
      const int done = engine_->SetExposureTicks(value);
      RefreshExposureSeconds();
      return DeviceCommand(done);
    }
    case kFilterPeltier: {
      if (!engine_->HasCooling()) {
        RecordError(NIVEXA_ERR_UNSUPPORTED);
        return 0;
      }
      const int done = engine_->SetCooling(value);
      if (done != 0) {
        analog_.cooling = value > 0 ? 1 : 0;
      }
      return done;
    }
    case kFilterGainMode:
      // Straight to the sensor: the next stream preparation sets the stored gain mode again.
      return engine_->SetGainMode(value);
    case kFilterFeatureSwitch: {
      if (!engine_->FeatureSwitchSupported()) {
        RecordError(NIVEXA_ERR_UNSUPPORTED);
        return 0;
      }
      const int on = value > 0 ? 1 : 0;
      if (!DeviceCommand(engine_->SetFeatureSwitch(on))) {
        return 0;
      }
      analog_.featureSwitch = on;
      return 1;
    }
    case kFilterBlackLevel:
      if (!engine_->BlackLevelSupported()) {
        RecordError(NIVEXA_ERR_UNSUPPORTED);
        return 0;
      }
      if (!DeviceCommand(engine_->SetBlackLevel(value))) {
        return 0;
      }
      {
        // The sensor clamps to its limits; keep what it took.
        int level = value;
        engine_->GetBlackLevel(&level);
        analog_.blackLevel = level;
      }
      RecordError(NIVEXA_OK);
      return 1;
    default:
      // The temperature, the channel gains and offsets, and unknown ids take no value.
      RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
  }
}

}  // namespace nivexa::camera
