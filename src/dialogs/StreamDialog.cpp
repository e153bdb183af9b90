#include "dialogs/StreamDialog.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "dialogs/ControlIds.h"
#include "settings/Layout.h"

namespace nivexa::dialogs {

namespace {

constexpr int32_t kDeepMonochromeBits = 12;
constexpr int32_t kHighClockMHz = 54;
constexpr int32_t kHighClockEntry = 2;
constexpr int32_t kSkip = 1;

struct GeometryEdit {
  int32_t id;
  Text label;
  bool horizontal;
  int32_t settings::GeometrySettings::*field;
};

// In the order of the size set's values.
constexpr GeometryEdit kGeometryEdits[] = {
    {ids::kHTotal, Text::HTotal, true, &settings::GeometrySettings::horizontalTotal},
    {ids::kVTotal, Text::VTotal, false, &settings::GeometrySettings::verticalTotal},
    {ids::kHEffective, Text::HEffective, true, &settings::GeometrySettings::frameWidth},
    {ids::kVEffective, Text::VEffective, false, &settings::GeometrySettings::frameHeight},
    {ids::kHStart, Text::HStart, true, &settings::GeometrySettings::horizontalStart},
    {ids::kVStart, Text::VStart, false, &settings::GeometrySettings::verticalStart},
};

}  // namespace

StreamDialog::StreamDialog(CameraPort& camera, Language language)
    : DialogModel(language), camera_(camera) {
  paused_ = camera_.pauseAcquisition();
  position_ = camera_.position();
  settings::FormatCapabilities formats{camera_.acceptsMonochrome8(), camera_.acceptsMonochrome16(),
                                       camera_.acceptsColour()};
  settings::loadStreamSettings(position_, stream_, formats);
  sizes_ = settings::loadSizeSets(position_);
  if (sizes_.empty()) {
    // A position that never stored a size set (the first run stores them for the position
    // before any device opened): the geometry in force is its first set.
    sizes_.push_back(camera_.captureGeometry());
  }

  setFrame(Text::Property, 313, 229, 101, 106);
  addTab(Rect{7, 7, 299, 193});
  // One page, whose controls the frame's template carries itself.
  addPage(Text::TabStreamFormat, 270, 170, 0, 0);
  buildPage();
  addFrameButtons(ids::kApply);
  updating_ = true;
  fillColourModes();
  fillSizes();
  const int32_t active = settings::loadSizeNumber(position_);
  Control& size = at(0, ids::kSizeCombo);
  size.value = active < static_cast<int32_t>(sizes_.size()) ? active : -1;
  if (size.value >= 0) {
    showGeometry(sizes_[static_cast<size_t>(size.value)]);
  }
  at(0, ids::kSubSampleCombo).value = stream_.subsample == kSkip ? 1 : 0;
  at(0, ids::kWaitTime).text = std::to_string(stream_.waitTimeMs);
  applySubSampleState();
  updating_ = false;
  at(kFramePage, ids::kApply).enabled = false;
}

StreamDialog::~StreamDialog() {
  camera_.resumeAcquisition(paused_);
}

void StreamDialog::buildPage() {
  constexpr int32_t kLabelX = 6;
  constexpr int32_t kFieldX = 96;
  addText(0, ids::kNoId, Text::ColourCompression, Rect{kLabelX, 8, 88, 9});
  addCombo(0, ids::kColorCombo, Rect{kFieldX, 6, 120, 12}, [this](int32_t item) {
    stream_.colorMode = colourModes_.at(static_cast<size_t>(item));
    changed();
  });
  addText(0, ids::kNoId, Text::Size, Rect{kLabelX, 26, 88, 9});
  addCombo(0, ids::kSizeCombo, Rect{kFieldX, 24, 120, 12},
           [this](int32_t item) { chooseSize(item); });
  addText(0, ids::kNoId, Text::SubSample, Rect{kLabelX, 44, 88, 9});
  addCombo(0, ids::kSubSampleCombo, Rect{kFieldX, 42, 60, 12},
           [this](int32_t item) { chooseSubSample(item); });
  at(0, ids::kSubSampleCombo).items = {text(Text::SubSampleFull, language()),
                                       text(Text::SubSampleSkip, language())};
  for (size_t i = 0; i < std::size(kGeometryEdits); ++i) {
    const GeometryEdit& e = kGeometryEdits[i];
    const int32_t column = e.horizontal ? 0 : 1;
    const int32_t row = static_cast<int32_t>(i / 2);
    const int32_t x = kLabelX + column * 130;
    const int32_t y = 64 + row * 16;
    addText(0, ids::kNoId, e.label, Rect{x, y + 2, 60, 9});
    addEdit(0, e.id, Rect{x + 64, y, 50, 12}, [this] { changed(); });
    at(0, e.id).enabled =
        e.horizontal ? camera_.horizontalChangeAllowed() : camera_.verticalChangeAllowed();
  }
  addText(0, ids::kNoId, Text::WaitTime, Rect{kLabelX, 118, 88, 9});
  addEdit(0, ids::kWaitTime, Rect{kFieldX, 116, 50, 12}, [this] { changed(); });
  addText(0, ids::kNoId, Text::Clock, Rect{kLabelX, 136, 88, 9});
  addCombo(0, ids::kClockCombo, Rect{kFieldX, 134, 80, 12}, nullptr);
  Control& clock = at(0, ids::kClockCombo);
  clock.items = {text(Text::ClockNormal, language()), text(Text::ClockHalf, language()),
                 formatText(Text::ClockHighFormat, language(), kHighClockMHz)};
  clock.value = kHighClockEntry;
  clock.enabled = false;
}

void StreamDialog::fillColourModes() {
  Control& combo = at(0, ids::kColorCombo);
  combo.items.clear();
  colourModes_.clear();
  auto offer = [&](int32_t mode, std::string label) {
    colourModes_.push_back(mode);
    combo.items.push_back(std::move(label));
  };
  if (camera_.acceptsMonochrome8()) {
    offer(0, text(Text::Monochrome8, language()));
  }
  if (camera_.acceptsMonochrome16()) {
    offer(1, formatText(Text::MonochromeDeepFormat, language(), kDeepMonochromeBits));
  }
  if (camera_.acceptsColour()) {
    offer(2, text(Text::Colour24, language()));
    offer(3, text(Text::Colour32, language()));
    offer(4, text(Text::Colour48, language()));
    offer(5, text(Text::Colour64, language()));
  }
  const auto found = std::find(colourModes_.begin(), colourModes_.end(), stream_.colorMode);
  combo.value =
      found == colourModes_.end() ? -1 : static_cast<int32_t>(found - colourModes_.begin());
}

void StreamDialog::fillSizes() {
  Control& combo = at(0, ids::kSizeCombo);
  combo.items.clear();
  for (const settings::GeometrySettings& g : sizes_) {
    combo.items.push_back(formatText(Text::SizeFormat, language(), g.frameWidth, g.frameHeight));
  }
  // The store holds so many sets and no more: a full list offers no new one, and what the edit
  // boxes hold goes into the chosen set instead.
  if (sizes_.size() < static_cast<size_t>(settings::kMaxSizeSets)) {
    combo.items.emplace_back(text(Text::Custom, language()));
  }
  combo.enabled = camera_.horizontalChangeAllowed() || camera_.verticalChangeAllowed();
}

void StreamDialog::showGeometry(const settings::GeometrySettings& geometry) {
  for (const GeometryEdit& e : kGeometryEdits) {
    at(0, e.id).text = std::to_string(geometry.*e.field);
  }
}

void StreamDialog::chooseSize(int32_t item) {
  if (item < static_cast<int32_t>(sizes_.size())) {
    showGeometry(sizes_[static_cast<size_t>(item)]);
  }
  changed();
}

void StreamDialog::chooseSubSample(int32_t item) {
  stream_.subsample = item == 1 ? kSkip : 0;
  if (stream_.subsample == kSkip) {
    // Skipping reads the whole sensor: the full-size set, added when the list has none.
    const settings::GeometrySettings fullSize = settings::fullSensorGeometry(camera_.sensorSize());
    auto full =
        std::find_if(sizes_.begin(), sizes_.end(), [&](const settings::GeometrySettings& g) {
          return g.frameWidth == fullSize.frameWidth && g.frameHeight == fullSize.frameHeight &&
                 g.horizontalStart == 0 && g.verticalStart == 0;
        });
    Control& size = at(0, ids::kSizeCombo);
    if (full != sizes_.end()) {
      size.value = static_cast<int32_t>(full - sizes_.begin());
    } else if (sizes_.size() < static_cast<size_t>(settings::kMaxSizeSets)) {
      sizes_.push_back(fullSize);
      fillSizes();
      size.value = static_cast<int32_t>(sizes_.size()) - 1;
    } else if (size.value < 0 || size.value >= static_cast<int32_t>(sizes_.size())) {
      size.value = 0;  // a full list: the chosen set becomes the full-size one when stored
    }
    showGeometry(fullSize);
  }
  applySubSampleState();
  changed();
}

void StreamDialog::applySubSampleState() {
  const bool skip = stream_.subsample == kSkip;
  const bool horizontal = camera_.horizontalChangeAllowed();
  const bool vertical = camera_.verticalChangeAllowed();
  at(0, ids::kSizeCombo).enabled = !skip && (horizontal || vertical);
  at(0, ids::kHEffective).enabled = !skip && horizontal;
  at(0, ids::kHStart).enabled = !skip && horizontal;
  at(0, ids::kVEffective).enabled = !skip && vertical;
  at(0, ids::kVStart).enabled = !skip && vertical;
}

void StreamDialog::changed() {
  if (!updating_) {
    at(kFramePage, ids::kApply).enabled = true;
  }
}

bool StreamDialog::readGeometry(settings::GeometrySettings& geometry) {
  for (const GeometryEdit& e : kGeometryEdits) {
    if (!parseNumber(at(0, e.id).text, geometry.*e.field)) {
      return false;
    }
  }
  return settings::validCaptureWindow(geometry, camera_.sensorSize());
}

bool StreamDialog::store() {
  Control& size = at(0, ids::kSizeCombo);
  int32_t number = size.value;
  const bool custom = number < 0 || number >= static_cast<int32_t>(sizes_.size());
  settings::GeometrySettings geometry = custom ? settings::fullSensorGeometry(camera_.sensorSize())
                                               : sizes_[static_cast<size_t>(number)];
  int32_t wait = 0;
  if (!readGeometry(geometry) || !parseNumber(at(0, ids::kWaitTime).text, wait) || wait < 0) {
    // A window the sensor cannot read out, or a negative wait: nothing is stored, and the
    // edit boxes show the values in force again.
    updating_ = true;
    if (!custom) {
      showGeometry(sizes_[static_cast<size_t>(number)]);
    }
    at(0, ids::kWaitTime).text = std::to_string(stream_.waitTimeMs);
    updating_ = false;
    return false;
  }
  std::vector<settings::GeometrySettings> sizes = sizes_;
  if (custom) {
    sizes.push_back(geometry);
    number = static_cast<int32_t>(sizes.size()) - 1;
  } else {
    sizes[static_cast<size_t>(number)] = geometry;
  }
  // Every set the list shows is stored, so that the numbers stay contiguous from 00 (a set the
  // dialog added, or one the store never held, would otherwise leave a gap).
  settings::StreamSettings stream = stream_;
  stream.waitTimeMs = wait;
  if (!settings::saveStreamSettings(position_, stream, number, sizes)) {
    return false;
  }
  stream_ = stream;
  sizes_ = std::move(sizes);
  updating_ = true;
  fillSizes();
  size.value = number;
  applySubSampleState();
  updating_ = false;
  at(kFramePage, ids::kApply).enabled = false;
  return true;
}

void StreamDialog::onApply() {
  store();
}

bool StreamDialog::onOk() {
  if (!store()) {
    return false;
  }
  camera_.reloadStreamSettings();
  return true;
}

}  // namespace nivexa::dialogs
