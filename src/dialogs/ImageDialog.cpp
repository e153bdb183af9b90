#include "dialogs/ImageDialog.h"

#include "dialogs/ControlIds.h"

namespace nivexa::dialogs {

namespace {

// Filter ids of the processing values (the public filter-value numbering).
constexpr int32_t kBayerGainAuto = 10;
constexpr int32_t kBayerMode = 12;
constexpr int32_t kGrayMode = 19;
constexpr int32_t kGrayGainFirst = 20;
constexpr int32_t kGrayOffsetFirst = 24;
constexpr int32_t kGrayGainOnce = 28;

struct SliderRow {
  const int32_t (&ids)[3];
  Text label;
  int32_t filterId;
  int32_t minimum;
  int32_t maximum;
  int32_t pageSize;
  bool monochrome;  // enabled for monochrome colour modes too
};

// Ranges are those of the filter-value setters, so the dialog never offers what they refuse.
const SliderRow kImageRows[] = {
    {ids::kBrightness, Text::Brightness, 1, -255, 255, 64, true},
    {ids::kContrast, Text::Contrast, 2, -127, 127, 32, true},
    {ids::kHue, Text::Hue, 3, -360, 360, 90, false},
    {ids::kSaturation, Text::Saturation, 4, -255, 255, 64, false},
    {ids::kSharpness, Text::Sharpness, 5, 0, 30, 4, true},
    {ids::kRedGain, Text::RedGain, 7, 0, 400, 32, false},
    {ids::kGreenGain, Text::GreenGain, 8, 0, 400, 32, false},
    {ids::kBlueGain, Text::BlueGain, 9, 0, 400, 32, false},
    {ids::kGamma, Text::Gamma, 11, 0, 200, 32, true},
};

constexpr Text kSiteTexts[] = {Text::Red, Text::Green1, Text::Green2, Text::Blue};
constexpr int32_t kGrayGainMaximum = 255;  // the setter's range, not the 0..400 of the colour gains
constexpr int32_t kGrayOffsetLimit = 255;
constexpr int32_t kGrayPageSize = 32;

// The gray gains' one-frame request (never readable, so found as 0) is among them: Cancel
// withdraws a request that no frame has taken yet.
constexpr int32_t kSavedIds[] = {1,  2,  3,  4,  5,  7,  8,  9,  kBayerGainAuto, 11, kBayerMode, 19,
                                 20, 21, 22, 23, 24, 25, 26, 27, kGrayGainOnce};

constexpr int32_t kPageWidth = 251;
constexpr int32_t kPageHeight = 142;

}  // namespace

ImageDialog::ImageDialog(CameraPort& camera, Language language)
    : DialogModel(language), camera_(camera) {
  colour_ = camera_.colorMode() >= 2;
  for (int32_t id : kSavedIds) {
    saved_.emplace_back(id, camera_.filterValue(id));
  }
  setFrame(Text::Property, 294, 194, 102, 108);
  addTab(Rect{7, 7, 280, 160});
  addPage(Text::TabImageFilter, kPageWidth, kPageHeight, 103, 107);
  buildImagePage();
  if (!colour_) {
    grayPage_ = addPage(Text::TabGrayFilter, kPageWidth, kPageHeight, 113, 112);
    buildGrayPage();
  }
  addFrameButtons(ids::kDefault);
  reload();
}

void ImageDialog::addBayerRadios(int32_t page, int32_t x, int32_t y, int32_t columns) {
  for (int32_t pattern = 0; pattern < 4; ++pattern) {
    Control c;
    c.page = page;
    c.id = ids::kBayerRadio0 + pattern;
    c.kind = Kind::Radio;
    c.rect = Rect{x + (pattern % columns) * 32, y + (pattern / columns) * 13, 30, 10};
    c.text = std::to_string(pattern);
    c.onClick = [this, pattern] {
      camera_.setFilterValue(kBayerMode, pattern);
      reload();
    };
    add(std::move(c));
  }
}

void ImageDialog::buildImagePage() {
  const int32_t page = imagePage();
  int32_t y = 3;
  for (const SliderRow& row : kImageRows) {
    const int32_t id = row.filterId;
    const int32_t g = addSliderGroup(
        page, row.ids, text(row.label, language()), Rect{4, y, 243, 11}, 60,
        [this, id] { return camera_.filterValue(id); },
        [this, id](int32_t v) { return camera_.setFilterValue(id, v); });
    groups_.push_back(g);
    loadGroup(g, row.minimum, row.maximum, row.pageSize);
    enableGroup(g, colour_ || row.monochrome);
    y += 12;
  }
  addGroupBox(page, ids::kBayerGroup, Text::BayerMode, Rect{4, 112, 130, 28});
  addBayerRadios(page, 10, 124, 4);
  addGroupBox(page, ids::kAutoGroup, Text::AutoWhiteBalance, Rect{138, 112, 109, 28});
  addButton(page, ids::kAutoOnce, Kind::Button, Text::Once, Rect{144, 123, 40, 13}, [this] {
    camera_.requestWhiteBalanceOnce();
    whiteBalanceOnce_ = true;
    reload();
  });
  addButton(page, ids::kAutoAllFrames, Kind::Check, Text::AllFrames, Rect{190, 124, 54, 10},
            [this] {
              camera_.setFilterValue(kBayerGainAuto, camera_.filterValue(kBayerGainAuto) ? 0 : 1);
              reload();
            });
  for (int32_t id : {ids::kBayerGroup, ids::kAutoGroup, ids::kAutoOnce, ids::kAutoAllFrames}) {
    at(page, id).enabled = colour_;
  }
  for (int32_t pattern = 0; pattern < 4; ++pattern) {
    at(page, ids::kBayerRadio0 + pattern).enabled = colour_;
  }
}

void ImageDialog::buildGrayPage() {
  const int32_t page = grayPage_;
  addGroupBox(page, ids::kGrayGainGroup, Text::Gain, Rect{2, 1, 166, 66});
  addGroupBox(page, ids::kGrayOffsetGroup, Text::Offset, Rect{2, 70, 166, 66});
  for (int32_t site = 0; site < 4; ++site) {
    const int32_t gainId = kGrayGainFirst + site;
    const int32_t offsetId = kGrayOffsetFirst + site;
    const int32_t gainIds[3] = {ids::kGrayGainFirst + 3 * site, ids::kGrayGainFirst + 3 * site + 1,
                                ids::kGrayGainFirst + 3 * site + 2};
    const int32_t offsetIds[3] = {ids::kGrayOffsetFirst + 3 * site,
                                  ids::kGrayOffsetFirst + 3 * site + 1,
                                  ids::kGrayOffsetFirst + 3 * site + 2};
    const std::string label = text(kSiteTexts[site], language());
    const int32_t gain = addSliderGroup(
        page, gainIds, label, Rect{6, 10 + site * 13, 158, 11}, 34,
        [this, gainId] { return camera_.filterValue(gainId); },
        [this, gainId](int32_t v) { return camera_.setFilterValue(gainId, v); });
    loadGroup(gain, 0, kGrayGainMaximum, kGrayPageSize);
    groups_.push_back(gain);
    const int32_t offset = addSliderGroup(
        page, offsetIds, label, Rect{6, 79 + site * 13, 158, 11}, 34,
        [this, offsetId] { return camera_.filterValue(offsetId); },
        [this, offsetId](int32_t v) { return camera_.setFilterValue(offsetId, v); });
    loadGroup(offset, -kGrayOffsetLimit, kGrayOffsetLimit, kGrayPageSize);
    groups_.push_back(offset);
  }
  addGroupBox(page, ids::kGrayModeGroup, Text::FilterMode, Rect{172, 1, 76, 46});
  const std::pair<int32_t, Text> modes[] = {{ids::kGrayModeBayer, Text::Bayer},
                                            {ids::kGrayModeConvert, Text::BayerConvert},
                                            {ids::kGrayModeGrayscale, Text::Grayscale}};
  for (int32_t mode = 0; mode < 3; ++mode) {
    addButton(page, modes[mode].first, Kind::Radio, modes[mode].second,
              Rect{178, 12 + mode * 11, 68, 10}, [this, mode] {
                camera_.setFilterValue(kGrayMode, mode);
                reload();
              });
  }
  addGroupBox(page, ids::kBayerGroup, Text::BayerMode, Rect{172, 49, 76, 40});
  addBayerRadios(page, 178, 60, 2);
  addGroupBox(page, ids::kAutoGroup, Text::AutoGain, Rect{172, 92, 76, 46});
  addButton(page, ids::kAutoOnce, Kind::Button, Text::Once, Rect{178, 104, 40, 13}, [this] {
    camera_.setFilterValue(kGrayGainOnce, 1);
    reload();
  });
  addButton(page, ids::kAutoAllFrames, Kind::Check, Text::AllFrames, Rect{178, 121, 66, 10},
            [this] {
              camera_.setFilterValue(kBayerGainAuto, camera_.filterValue(kBayerGainAuto) ? 0 : 1);
              reload();
            });
}

void ImageDialog::reload() {
  updating_ = true;
  for (int32_t g : groups_) {
    showValue(g);
  }
  const int32_t pattern = camera_.filterValue(kBayerMode);
  const int32_t automatic = camera_.filterValue(kBayerGainAuto) != 0 ? 1 : 0;
  const int32_t grayMode = camera_.filterValue(kGrayMode);
  for (Control& c : editableControls()) {
    if (c.page == kFramePage) {
      continue;
    }
    if (c.kind == Kind::Radio && c.id >= ids::kBayerRadio0 && c.id < ids::kBayerRadio0 + 4) {
      c.value = c.id - ids::kBayerRadio0 == pattern ? 1 : 0;
    } else if (c.kind == Kind::Radio) {
      c.value = c.id - ids::kGrayModeBayer == grayMode ? 1 : 0;
    } else if (c.id == ids::kAutoAllFrames) {
      c.value = automatic;
    }
  }
  updating_ = false;
}

bool ImageDialog::poll() {
  if (!camera_.takeRefresh()) {
    return false;
  }
  reload();
  return true;
}

bool ImageDialog::onOk() {
  // The edit boxes were committed by the frame; their values are already in force.
  return true;
}

void ImageDialog::onCancel() {
  // A request left pending would end the next automatic balance, whoever turns it on, after
  // one frame.
  if (whiteBalanceOnce_) {
    camera_.cancelWhiteBalanceOnce();
  }
  for (const auto& [id, value] : saved_) {
    camera_.setFilterValue(id, value);
  }
  reload();
}

void ImageDialog::onDefault() {
  for (int32_t id : {1, 2, 3, 4, 5}) {
    camera_.setFilterValue(id, 0);
  }
  for (int32_t id : {7, 8, 9, 11}) {
    camera_.setFilterValue(id, 100);
  }
  camera_.setFilterValue(kBayerMode, 3);
  if (grayPage_ >= 0) {
    for (int32_t site = 0; site < 4; ++site) {
      camera_.setFilterValue(kGrayGainFirst + site, 128);
      // The pipeline's neutral offset is 0; 128 would brighten every default image.
      camera_.setFilterValue(kGrayOffsetFirst + site, 0);
    }
  }
  reload();
}

}  // namespace nivexa::dialogs
