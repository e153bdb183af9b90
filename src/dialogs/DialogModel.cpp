#include "dialogs/DialogModel.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "dialogs/ControlIds.h"

namespace nivexa::dialogs {

namespace {

constexpr int32_t kEditWidth = 30;
constexpr int32_t kUpDownWidth = 10;
constexpr int32_t kGap = 2;
constexpr int32_t kButtonWidth = 50;
constexpr int32_t kButtonHeight = 14;

}  // namespace

int32_t DialogModel::find(int32_t page, int32_t id) const {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].page == page && controls_[i].id == id) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

const Control& DialogModel::control(int32_t page, int32_t id) const {
  const int32_t index = find(page, id);
  if (index < 0) {
    throw std::out_of_range("no such control");
  }
  return controls_[static_cast<size_t>(index)];
}

Control& DialogModel::at(int32_t page, int32_t id) {
  const int32_t index = find(page, id);
  if (index < 0) {
    throw std::out_of_range("no such control");
  }
  return controls_[static_cast<size_t>(index)];
}

void DialogModel::setFrame(Text caption, int32_t width, int32_t height, int32_t japanese,
                           int32_t english) {
  caption_ = text(caption, language_);
  frameResource_ = language_ == Language::Japanese ? japanese : english;
  frameWidth_ = width;
  frameHeight_ = height;
}

int32_t DialogModel::addPage(Text title, int32_t width, int32_t height, int32_t japanese,
                             int32_t english) {
  pages_.push_back(Page{text(title, language_), width, height,
                        language_ == Language::Japanese ? japanese : english});
  return static_cast<int32_t>(pages_.size()) - 1;
}

int32_t DialogModel::add(Control control) {
  controls_.push_back(std::move(control));
  return static_cast<int32_t>(controls_.size()) - 1;
}

int32_t DialogModel::addText(int32_t page, int32_t id, Text label, Rect rect) {
  return addText(page, id, std::string(text(label, language_)), rect);
}

int32_t DialogModel::addText(int32_t page, int32_t id, const std::string& label, Rect rect) {
  Control c;
  c.page = page;
  c.id = id;
  c.kind = Kind::Text;
  c.rect = rect;
  c.text = label;
  return add(std::move(c));
}

int32_t DialogModel::addTab(Rect rect) {
  Control c;
  c.page = kFramePage;
  c.id = ids::kTab;
  c.kind = Kind::Tab;
  c.rect = rect;
  return add(std::move(c));
}

int32_t DialogModel::addGroupBox(int32_t page, int32_t id, Text label, Rect rect) {
  Control c;
  c.page = page;
  c.id = id;
  c.kind = Kind::Group;
  c.rect = rect;
  c.text = text(label, language_);
  return add(std::move(c));
}

int32_t DialogModel::addButton(int32_t page, int32_t id, Kind kind, Text label, Rect rect,
                               std::function<void()> onClick) {
  Control c;
  c.page = page;
  c.id = id;
  c.kind = kind;
  c.rect = rect;
  c.text = text(label, language_);
  c.onClick = std::move(onClick);
  return add(std::move(c));
}

int32_t DialogModel::addCombo(int32_t page, int32_t id, Rect rect,
                              std::function<void(int32_t)> onChoose) {
  Control c;
  c.page = page;
  c.id = id;
  c.kind = Kind::Combo;
  c.rect = rect;
  c.value = -1;
  c.onChoose = std::move(onChoose);
  return add(std::move(c));
}

int32_t DialogModel::addEdit(int32_t page, int32_t id, Rect rect, std::function<void()> onCommit) {
  Control c;
  c.page = page;
  c.id = id;
  c.kind = Kind::Edit;
  c.rect = rect;
  c.onCommit = std::move(onCommit);
  return add(std::move(c));
}

int32_t DialogModel::addSliderGroup(int32_t page, const int32_t (&ids)[3], const std::string& label,
                                    Rect row, int32_t labelWidth, std::function<int32_t()> read,
                                    std::function<bool(int32_t)> write) {
  const int32_t number = static_cast<int32_t>(groups_.size());
  addText(page, ids::kNoId, label, Rect{row.x, row.y + 2, labelWidth, row.height - 2});
  const int32_t editX = row.x + row.width - kUpDownWidth - kEditWidth;
  const int32_t trackX = row.x + labelWidth + kGap;
  SliderGroup g;
  g.read = std::move(read);
  g.write = std::move(write);
  Control track;
  track.page = page;
  track.id = ids[0];
  track.kind = Kind::Slider;
  track.rect = Rect{trackX, row.y, editX - kGap - trackX, row.height};
  track.group = number;
  g.trackbar = add(std::move(track));
  Control edit;
  edit.page = page;
  edit.id = ids[1];
  edit.kind = Kind::Edit;
  edit.rect = Rect{editX, row.y, kEditWidth, row.height};
  edit.group = number;
  g.edit = add(std::move(edit));
  Control updown;
  updown.page = page;
  updown.id = ids[2];
  updown.kind = Kind::UpDown;
  updown.rect = Rect{editX + kEditWidth, row.y, kUpDownWidth, row.height};
  updown.group = number;
  g.updown = add(std::move(updown));
  groups_.push_back(std::move(g));
  return number;
}

void DialogModel::addFrameButtons(int32_t thirdButton) {
  const int32_t y = frameHeight_ - kButtonHeight - 7;
  const int32_t right = frameWidth_ - 7;
  addButton(kFramePage, ids::kOk, Kind::Button, Text::Ok,
            Rect{right - 3 * kButtonWidth - 8, y, kButtonWidth, kButtonHeight}, nullptr);
  addButton(kFramePage, ids::kCancel, Kind::Button, Text::Cancel,
            Rect{right - 2 * kButtonWidth - 4, y, kButtonWidth, kButtonHeight}, nullptr);
  addButton(kFramePage, thirdButton, Kind::Button,
            thirdButton == ids::kApply ? Text::Apply : Text::Default,
            Rect{right - kButtonWidth, y, kButtonWidth, kButtonHeight}, nullptr);
}

void DialogModel::loadGroup(int32_t number, int32_t minimum, int32_t maximum, int32_t pageSize) {
  SliderGroup& g = group(number);
  for (int32_t index : {g.trackbar, g.updown}) {
    Control& c = at(index);
    c.minimum = minimum;
    c.maximum = maximum;
    c.pageSize = pageSize;
  }
  showValue(number);
}

void DialogModel::showValue(int32_t number) {
  SliderGroup& g = group(number);
  const int32_t value = g.read();
  Control& track = at(g.trackbar);
  // The trackbar cannot show a value outside its range; the edit box shows it as it is.
  track.value = std::clamp(value, track.minimum, track.maximum);
  at(g.updown).value = track.value;
  at(g.edit).text = std::to_string(value);
}

void DialogModel::enableGroup(int32_t number, bool enabled) {
  const SliderGroup& g = group(number);
  for (int32_t index : {g.trackbar, g.edit, g.updown}) {
    at(index).enabled = enabled;
  }
  // The label before the trackbar follows its group.
  at(g.trackbar - 1).enabled = enabled;
}

void DialogModel::showGroup(int32_t number, bool visible) {
  const SliderGroup& g = group(number);
  for (int32_t index : {g.trackbar - 1, g.trackbar, g.edit, g.updown}) {
    at(index).visible = visible;
  }
}

bool DialogModel::parseNumber(const std::string& text, int32_t& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
  }
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last;
}

void DialogModel::writeGroup(int32_t number, int32_t value) {
  SliderGroup& g = group(number);
  const Control& track = at(g.trackbar);
  // The setter's range is the trackbar's range: a value outside is refused, not stored.
  if (value >= track.minimum && value <= track.maximum) {
    g.write(value);
  }
  showValue(number);
}

namespace {
bool actionable(const std::vector<Control>& controls, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= controls.size()) {
    return false;
  }
  const Control& c = controls[static_cast<size_t>(index)];
  return c.enabled && c.visible;
}
}  // namespace

void DialogModel::slide(int32_t index, int32_t position) {
  if (updating_ || !actionable(controls_, index) || at(index).kind != Kind::Slider) {
    return;
  }
  const Control& track = at(index);
  writeGroup(track.group, std::clamp(position, track.minimum, track.maximum));
}

void DialogModel::step(int32_t index, int32_t delta) {
  if (updating_ || !actionable(controls_, index) || at(index).kind != Kind::UpDown) {
    return;
  }
  const Control& updown = at(index);
  const SliderGroup& g = group(updown.group);
  const int32_t now = g.read();
  writeGroup(updown.group, std::clamp(now + delta, updown.minimum, updown.maximum));
}

void DialogModel::type(int32_t index, const std::string& text) {
  if (updating_ || !actionable(controls_, index) || at(index).kind != Kind::Edit) {
    return;
  }
  at(index).text = text;
}

void DialogModel::commit(int32_t index) {
  if (updating_ || !actionable(controls_, index) || at(index).kind != Kind::Edit) {
    return;
  }
  Control& edit = at(index);
  if (edit.group < 0) {
    if (edit.onCommit) {
      edit.onCommit();
    }
    return;
  }
  int32_t value = 0;
  if (parseNumber(edit.text, value)) {
    writeGroup(edit.group, value);
  } else {
    showValue(edit.group);
  }
}

void DialogModel::commitAll() {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].kind == Kind::Edit) {
      commit(static_cast<int32_t>(i));
    }
  }
}

void DialogModel::click(int32_t index) {
  if (updating_ || !actionable(controls_, index)) {
    return;
  }
  Control& c = at(index);
  if (c.onClick) {
    c.onClick();
  }
}

void DialogModel::choose(int32_t index, int32_t item) {
  if (updating_ || !actionable(controls_, index) || at(index).kind != Kind::Combo) {
    return;
  }
  Control& c = at(index);
  if (item < 0 || static_cast<size_t>(item) >= c.items.size()) {
    return;
  }
  c.value = item;
  if (c.onChoose) {
    c.onChoose(item);
  }
}

bool DialogModel::press(int32_t buttonId) {
  if (result_ != 0) {
    return true;
  }
  switch (buttonId) {
    case ids::kOk:
      commitAll();
      if (!onOk()) {
        return false;
      }
      result_ = ids::kOk;
      return true;
    case ids::kDefault:
      if (find(kFramePage, ids::kDefault) >= 0) {
        onDefault();
      }
      return false;
    case ids::kApply:
      if (find(kFramePage, ids::kApply) >= 0 && at(kFramePage, ids::kApply).enabled) {
        commitAll();
        onApply();
      }
      return false;
    default:
      onCancel();
      result_ = ids::kCancel;
      return true;
  }
}

}  // namespace nivexa::dialogs
