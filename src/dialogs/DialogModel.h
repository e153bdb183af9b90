#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/DialogTexts.h"

namespace nivexa::dialogs {

enum class Kind : int32_t { Text, Group, Slider, Edit, UpDown, Check, Radio, Button, Combo, Tab };

// Dialog units, relative to the page (or to the frame for the frame's own controls).
struct Rect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

inline constexpr int32_t kFramePage = -1;

struct Control {
  int32_t page = 0;
  int32_t id = 0;
  Kind kind = Kind::Text;
  Rect rect;
  std::string text;   // label, or what the edit box shows
  int32_t value = 0;  // trackbar position, check state, combo selection (-1: none)
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t pageSize = 0;
  bool enabled = true;
  bool visible = true;
  std::vector<std::string> items;
  int32_t group = -1;  // the slider group of a trackbar, edit box or up-down
  std::function<void()> onClick;
  std::function<void(int32_t)> onChoose;
  std::function<void()> onCommit;  // edit boxes outside slider groups
};

// The toolkit-free state of one settings dialog: its frame, pages and controls, what each user
// action does to the camera, and OK / Cancel / Default / Apply. Views (the GTK module, the
// Windows dialog procedures) draw `controls()` and report actions by control index.
class DialogModel {
 public:
  struct Page {
    std::string title;
    int32_t width = 0;
    int32_t height = 0;
    // The Windows dialog template of the page in the dialog's language; 0: the page's controls
    // are part of the frame's template.
    int32_t resource = 0;
  };

  explicit DialogModel(Language language) : language_(language) {}
  virtual ~DialogModel() = default;
  DialogModel(const DialogModel&) = delete;
  DialogModel& operator=(const DialogModel&) = delete;

  Language language() const { return language_; }
  const std::string& caption() const { return caption_; }
  int32_t frameWidth() const { return frameWidth_; }
  int32_t frameHeight() const { return frameHeight_; }
  // The Windows dialog template of the frame in the dialog's language.
  int32_t frameResource() const { return frameResource_; }
  const std::vector<Page>& pages() const { return pages_; }
  const std::vector<Control>& controls() const { return controls_; }
  // The index of control `id` on `page`, or -1.
  int32_t find(int32_t page, int32_t id) const;
  // The control `id` on `page`; throws std::out_of_range when there is none.
  const Control& control(int32_t page, int32_t id) const;

  // User actions by control index; an index out of range, a hidden or disabled control and
  // anything arriving while the dialog fills itself are ignored.
  void slide(int32_t index, int32_t position);
  void step(int32_t index, int32_t delta);
  void type(int32_t index, const std::string& text);
  void commit(int32_t index);
  void click(int32_t index);
  void choose(int32_t index, int32_t item);
  // A frame button; true when the dialog closes. Any other id is Cancel (closing the window).
  bool press(int32_t buttonId);
  // Live refreshes: true when the model re-read values changed behind the dialog.
  virtual bool poll() { return false; }

  // How the dialog ended: ids::kOk or ids::kCancel; 0 while open.
  int32_t result() const { return result_; }

 protected:
  struct SliderGroup {
    int32_t trackbar = -1;
    int32_t edit = -1;
    int32_t updown = -1;
    std::function<int32_t()> read;
    std::function<bool(int32_t)> write;  // false: the value was refused
  };

  // Resource ids come in pairs: the Japanese template first, then the English one.
  void setFrame(Text caption, int32_t width, int32_t height, int32_t japanese, int32_t english);
  int32_t addPage(Text title, int32_t width, int32_t height, int32_t japanese, int32_t english);
  int32_t add(Control control);
  int32_t addText(int32_t page, int32_t id, Text label, Rect rect);
  int32_t addText(int32_t page, int32_t id, const std::string& label, Rect rect);
  // The frame's tab control, whose pages are the dialog's pages.
  int32_t addTab(Rect rect);
  int32_t addGroupBox(int32_t page, int32_t id, Text label, Rect rect);
  int32_t addButton(int32_t page, int32_t id, Kind kind, Text label, Rect rect,
                    std::function<void()> onClick);
  int32_t addCombo(int32_t page, int32_t id, Rect rect, std::function<void(int32_t)> onChoose);
  int32_t addEdit(int32_t page, int32_t id, Rect rect, std::function<void()> onCommit);
  // A labelled trackbar, edit box and up-down in one row of `row`'s height; returns the group.
  int32_t addSliderGroup(int32_t page, const int32_t (&ids)[3], const std::string& label, Rect row,
                         int32_t labelWidth, std::function<int32_t()> read,
                         std::function<bool(int32_t)> write);
  // The frame's buttons: OK, Cancel and Default (3) or Apply (1002).
  void addFrameButtons(int32_t thirdButton);

  Control& at(int32_t index) { return controls_.at(static_cast<size_t>(index)); }
  std::vector<Control>& editableControls() { return controls_; }
  Control& at(int32_t page, int32_t id);
  SliderGroup& group(int32_t index) { return groups_.at(static_cast<size_t>(index)); }

  // Sets the range, page size and position of a slider group from its value in force.
  void loadGroup(int32_t group, int32_t minimum, int32_t maximum, int32_t pageSize);
  // Re-reads a slider group's value in force into its trackbar and edit box.
  void showValue(int32_t group);
  void enableGroup(int32_t group, bool enabled);
  void showGroup(int32_t group, bool visible);
  // Parses a whole signed decimal number; false for anything else.
  static bool parseNumber(const std::string& text, int32_t& value);

  // Frame button behaviour; OK and Cancel return whether the dialog closes.
  virtual bool onOk() { return true; }
  virtual void onCancel() {}
  virtual void onDefault() {}
  virtual void onApply() {}
  // Commits every edit box of the dialog that the user left without Enter.
  void commitAll();

  // Set while the dialog fills its controls: change notifications are then not actions.
  bool updating_ = false;

 private:
  void writeGroup(int32_t group, int32_t value);

  Language language_;
  std::string caption_;
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
  int32_t frameResource_ = 0;
  std::vector<Page> pages_;
  std::vector<Control> controls_;
  std::vector<SliderGroup> groups_;
  int32_t result_ = 0;
};

}  // namespace nivexa::dialogs
