#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace nivexa::dialogs::test {

// Plays steps into the modal loop of a dialog export, as a user at the screen would act: each
// step runs from the dialog's own main loop once the dialog window is up, one step per tick, so
// that the toolkit draws and handles events in between. A step returns false to be called again
// on the next tick (waiting for something), true when done.
class Script {
 public:
  using Step = std::function<bool()>;
  Script& then(Step step);
  // A step that always finishes at once.
  Script& act(std::function<void()> action);
  // Calls `open` (which runs the dialog) with the steps playing; returns its result. A script
  // that has not finished after 30 s fails the test and cancels the dialog.
  int run(const std::function<int()>& open);
  bool finished() const { return next_ == steps_.size(); }

 private:
  static gboolean tick(gpointer self);
  std::vector<Step> steps_;
  size_t next_ = 0;
  int ticks_ = 0;
};

// The open dialog window, or nullptr.
GtkWidget* dialogWindow();
// The widget named with control `id` on tab page `page` (-1: the frame's own controls).
GtkWidget* control(int page, int id);
// The text of every label under `widget`, in widget order.
std::vector<std::string> labelsUnder(GtkWidget* widget);

// What a user does.
void moveSlider(int page, int id, double value);
void typeAndEnter(int page, int id, const std::string& text);
void press(int page, int id);  // button, check box or radio button
// Clicks the up (delta > 0) or down arrow of an up-down control.
void clickArrow(int page, int id, int delta);
void chooseEntry(int page, int id, int entry);
std::string entryText(int page, int id);
std::string activeEntry(int page, int id);
void showPage(int page);
// The dialog window as drawn, into a PNG file; false when it could not be taken.
bool screenshot(const std::string& path);

}  // namespace nivexa::dialogs::test
