#include "dialogs/AnalogDialog.h"

#include <algorithm>

#include "dialogs/ControlIds.h"

namespace nivexa::dialogs {

namespace {

constexpr int32_t kColourGainIds[4] = {15, 14, 17, 16};  // G1, R, B, G2: the page's row order
constexpr int32_t kRowWidth = 200;
constexpr int32_t kLabelWidth = 62;
constexpr int32_t kRowHeight = 11;
constexpr int32_t kRowPitch = 12;

int32_t pageSizeOf(const IntLimits& limits) {
  return std::max(1, (limits.maximum - limits.minimum) / 8);
}

}  // namespace

AnalogDialog::AnalogDialog(CameraPort& camera, Language language)
    : DialogModel(language), camera_(camera) {
  colourPage_ = camera_.colourSensor();
  seconds_ = camera_.secondsLimits();
  // What Cancel restores.
  saved_.gain = camera_.gain();
  for (size_t i = 0; i < 4; ++i) {
    saved_.colourGains[i] = camera_.colourGain(kColourGainIds[i]);
  }
  saved_.exposureTicks = camera_.exposureTicks();
  saved_.exposureSeconds = seconds_ ? camera_.exposureSeconds() : 0.0;
  saved_.blackLevel = camera_.blackLevelLimits() ? camera_.blackLevel() : 0;
  saved_.mirrorV = camera_.mirrorV();
  saved_.mirrorH = camera_.mirrorH();
  saved_.autoIris = camera_.autoIris();
  saved_.cooling = camera_.coolingSupported() && camera_.cooling();
  saved_.shortExposure = camera_.shortExposureSupported() && camera_.shortExposure();
  saved_.gainMode = camera_.gainModeSupported() ? camera_.gainMode() : 0;

  setFrame(Text::Property, 294, language == Language::Japanese ? 199 : 178, 104, 111);
  addTab(Rect{7, 7, 280, language == Language::Japanese ? 165 : 146});
  if (colourPage_) {
    addPage(Text::TabAnalogGain, 251, 146, 105, 110);
  } else {
    addPage(Text::TabAnalogGain, 251, 146, 116, 117);
  }

  int32_t y = 3;
  const IntLimits gain = camera_.gainLimits();
  const int32_t gainGroup = addRow(
      ids::kGlobalGain, Text::GlobalGain, y, [this] { return camera_.gain(); },
      [this](int32_t v) { return camera_.setGain(v); });
  loadGroup(gainGroup, gain.minimum, gain.maximum, pageSizeOf(gain));
  y += kRowPitch;
  if (colourPage_) {
    const IntLimits colour = camera_.colourGainLimits();
    const Text labels[4] = {Text::ColourGainG1, Text::ColourGainR, Text::ColourGainB,
                            Text::ColourGainG2};
    const int32_t(*rows[4])[3] = {&ids::kColourGainG1, &ids::kColourGainR, &ids::kColourGainB,
                                  &ids::kColourGainG2};
    for (size_t i = 0; i < 4; ++i) {
      const int32_t id = kColourGainIds[i];
      const int32_t g = addRow(
          *rows[i], labels[i], y, [this, id] { return camera_.colourGain(id); },
          [this, id](int32_t v) { return camera_.setColourGain(id, v); });
      loadGroup(g, colour.minimum, colour.maximum, pageSizeOf(colour));
      // The colour gains follow the global gain on this page.
      enableGroup(g, false);
      y += kRowPitch;
    }
  }
  const IntLimits exposure = camera_.exposureLimits();
  exposureGroup_ = addRow(
      ids::kExposure, Text::Exposure, y, [this] { return camera_.exposureTicks(); },
      [this](int32_t v) { return camera_.setExposureTicks(v); });
  loadGroup(exposureGroup_, exposure.minimum, exposure.maximum, pageSizeOf(exposure));
  addText(0, ids::kExposureMsec, Text::ExposureMsec, Rect{4 + kRowWidth + 2, y + 2, 44, 9});
  y += kRowPitch;
  if (!colourPage_) {
    const std::optional<IntLimits> black = camera_.blackLevelLimits();
    const int32_t g = addRow(
        ids::kBlackLevel, Text::BlackLevel, y, [this] { return camera_.blackLevel(); },
        [this](int32_t v) { return camera_.setBlackLevel(v); });
    loadGroup(g, black ? black->minimum : 0, black ? black->maximum : 0,
              black ? pageSizeOf(*black) : 1);
    enableGroup(g, black.has_value());
    y += kRowPitch;
  }
  buildRealTimeRow(y);
  y += kRowPitch + 3;
  buildSwitches(y);
  addFrameButtons(ids::kDefault);

  // Real time units: the exposure is typed in a unit; the lines trackbar and its text go.
  if (seconds_) {
    at(group(exposureGroup_).trackbar).visible = false;
    at(0, ids::kExposureMsec).visible = false;
  } else {
    for (int32_t id : {ids::kRealExposureLabel, ids::kRealExposureEdit, ids::kRealExposureUnit,
                       ids::kRealExposureRange}) {
      at(0, id).visible = false;
    }
  }
  reload();
}

int32_t AnalogDialog::addRow(const int32_t (&rowIds)[3], Text label, int32_t y,
                             std::function<int32_t()> read, std::function<bool(int32_t)> write) {
  const int32_t g =
      addSliderGroup(0, rowIds, text(label, language()), Rect{4, y, kRowWidth, kRowHeight},
                     kLabelWidth, std::move(read), std::move(write));
  groups_.push_back(g);
  return g;
}

void AnalogDialog::buildRealTimeRow(int32_t y) {
  addText(0, ids::kRealExposureLabel, Text::ExposureEx, Rect{4, y + 2, kLabelWidth, 9});
  addEdit(0, ids::kRealExposureEdit, Rect{4 + kLabelWidth + 2, y, 50, kRowHeight},
          [this] { commitRealTime(); });
  addCombo(0, ids::kRealExposureUnit, Rect{120, y, 34, 12},
           [this](int32_t item) { chooseUnit(item); });
  addText(0, ids::kRealExposureRange, "", Rect{156, y + 2, 92, 9});
  if (seconds_) {
    units_ = unitsSpanning(seconds_->minimum, seconds_->maximum);
    Control& combo = at(0, ids::kRealExposureUnit);
    for (TimeUnit unit : units_) {
      combo.items.emplace_back(unitName(unit));
    }
    at(0, ids::kRealExposureRange).text =
        formatRange(seconds_->minimum, seconds_->maximum, language());
    // The unit of the exposure in force, when the list offers it.
    const TimeUnit now = unitFor(camera_.exposureSeconds());
    unit_ = std::clamp(now, units_.front(), units_.back());
  }
}

void AnalogDialog::buildSwitches(int32_t y) {
  addGroupBox(0, ids::kAutoIrisGroup, Text::AutoIris, Rect{4, y, 80, 36});
  addButton(0, ids::kAutoIrisGain, Kind::Check, Text::AutoIrisGain, Rect{10, y + 11, 70, 10},
            [this] {
              camera_.setAutoIris(camera_.autoIris() == 2 ? 0 : 2);
              reload();
            });
  addButton(0, ids::kAutoIrisExposure, Kind::Check, Text::AutoIrisExposure,
            Rect{10, y + 23, 70, 10}, [this] {
              camera_.setAutoIris(camera_.autoIris() == 1 ? 0 : 1);
              reload();
            });
  addButton(0, ids::kMirrorV, Kind::Check, Text::MirrorV, Rect{90, y + 4, 62, 10}, [this] {
    camera_.setMirrorV(!camera_.mirrorV());
    reload();
  });
  addButton(0, ids::kMirrorH, Kind::Check, Text::MirrorH, Rect{90, y + 16, 62, 10}, [this] {
    camera_.setMirrorH(!camera_.mirrorH());
    reload();
  });
  if (colourPage_) {
    return;
  }
  addButton(0, ids::kPeltier, Kind::Check, Text::Peltier, Rect{90, y + 28, 62, 10}, [this] {
    camera_.setCooling(!camera_.cooling());
    reload();
  });
  at(0, ids::kPeltier).enabled = camera_.coolingSupported();
  addButton(0, ids::kShortExposure, Kind::Check, Text::ShortExposure, Rect{156, y + 4, 92, 10},
            [this] {
              camera_.setShortExposure(!camera_.shortExposure());
              reload();
            });
  at(0, ids::kShortExposure).enabled = camera_.shortExposureSupported();
  addCombo(0, ids::kGainMode, Rect{156, y + 17, 70, 12}, [this](int32_t item) {
    camera_.setGainMode(item);
    reload();
  });
  Control& modes = at(0, ids::kGainMode);
  modes.items = {text(Text::HighGain, language()), text(Text::LowGain, language())};
  modes.enabled = camera_.gainModeSupported();
}

void AnalogDialog::reload() {
  updating_ = true;
  for (int32_t g : groups_) {
    showValue(g);
  }
  at(0, ids::kExposureMsec).text = formatMilliseconds(camera_.exposureTicks(), language());
  showRealTime();
  const int32_t iris = camera_.autoIris();
  at(0, ids::kAutoIrisGain).value = iris == 2 ? 1 : 0;
  at(0, ids::kAutoIrisExposure).value = iris == 1 ? 1 : 0;
  at(0, ids::kMirrorV).value = camera_.mirrorV() ? 1 : 0;
  at(0, ids::kMirrorH).value = camera_.mirrorH() ? 1 : 0;
  if (!colourPage_) {
    at(0, ids::kPeltier).value = camera_.coolingSupported() && camera_.cooling() ? 1 : 0;
    at(0, ids::kShortExposure).value =
        camera_.shortExposureSupported() && camera_.shortExposure() ? 1 : 0;
    const int32_t mode = camera_.gainModeSupported() ? camera_.gainMode() : -1;
    at(0, ids::kGainMode).value = mode == 0 || mode == 1 ? mode : -1;
  }
  updating_ = false;
}

void AnalogDialog::showRealTime() {
  if (!seconds_) {
    return;
  }
  at(0, ids::kRealExposureEdit).text = formatTime(camera_.exposureSeconds(), unit_);
  const auto found = std::find(units_.begin(), units_.end(), unit_);
  at(0, ids::kRealExposureUnit).value = static_cast<int32_t>(found - units_.begin());
}

void AnalogDialog::chooseUnit(int32_t item) {
  unit_ = units_.at(static_cast<size_t>(item));
  showRealTime();
}

void AnalogDialog::commitRealTime() {
  double seconds = 0.0;
  if (parseTime(at(0, ids::kRealExposureEdit).text, unit_, seconds)) {
    // The engine takes or refuses the value; the edit box then shows the exposure in force.
    camera_.setExposureSeconds(seconds);
  }
  reload();
}

bool AnalogDialog::poll() {
  if (!camera_.takeRefresh()) {
    return false;
  }
  reload();
  return true;
}

void AnalogDialog::restore(const Saved& values) {
  // The global gain first: it overwrites the colour gains, which then get their own values.
  camera_.setGain(values.gain);
  if (colourPage_) {
    for (size_t i = 0; i < 4; ++i) {
      camera_.setColourGain(kColourGainIds[i], values.colourGains[i]);
    }
  }
  if (seconds_) {
    camera_.setExposureSeconds(values.exposureSeconds);
  } else {
    camera_.setExposureTicks(values.exposureTicks);
  }
  if (camera_.blackLevelLimits()) {
    camera_.setBlackLevel(values.blackLevel);
  }
  camera_.setMirrorV(values.mirrorV);
  camera_.setMirrorH(values.mirrorH);
  camera_.setAutoIris(values.autoIris);
  if (camera_.coolingSupported()) {
    camera_.setCooling(values.cooling);
  }
  if (camera_.shortExposureSupported()) {
    camera_.setShortExposure(values.shortExposure);
  }
  if (camera_.gainModeSupported()) {
    camera_.setGainMode(values.gainMode);
  }
}

void AnalogDialog::onCancel() {
  restore(saved_);
  reload();
}

void AnalogDialog::onDefault() {
  Saved defaults = saved_;
  defaults.gain = camera_.gainLimits().defaultValue;
  defaults.colourGains.fill(camera_.colourGainLimits().defaultValue);
  defaults.exposureTicks = camera_.exposureLimits().defaultValue;
  defaults.exposureSeconds = seconds_ ? seconds_->defaultValue : 0.0;
  if (const std::optional<IntLimits> black = camera_.blackLevelLimits()) {
    defaults.blackLevel = black->defaultValue;
  }
  defaults.cooling = true;
  defaults.shortExposure = false;
  defaults.gainMode = 0;
  // Mirrors and auto iris are not part of the defaults: they keep what they are now.
  defaults.mirrorV = camera_.mirrorV();
  defaults.mirrorH = camera_.mirrorH();
  defaults.autoIris = camera_.autoIris();
  restore(defaults);
  reload();
}

}  // namespace nivexa::dialogs
