#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace nivexa::dialogs::test {

// One dialog export running on a thread of its own, as an application's GUI thread would run
// it, and the test acting on its window from outside: controls found by id and driven with the
// messages that the controls themselves would send their dialog. Every action is a SendMessage,
// so it has been handled by the dialog when it returns.
class OpenDialog {
 public:
  // Calls `open` on its own thread and waits up to 10 s for a dialog window of that thread
  // titled `caption` (UTF-8); window() is null when none came.
  OpenDialog(std::function<BOOL()> open, const std::string& caption);
  // A dialog still open is cancelled, and the thread joined.
  ~OpenDialog();
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;

  HWND window() const { return window_; }
  // What the export returned; -1 when it has not returned within 10 s.
  int result();

  // The control `id`: one of the frame's, else the first of that id on any page.
  HWND control(int id) const;
  std::string caption() const;
  std::string text(int id) const;
  std::string selectedEntry(int id) const;
  int entryCount(int id) const;
  int sliderMaximum(int id) const;
  // Where a trackbar's thumb sits along its channel, as the control computed it for drawing:
  // 0 at the left end, 1 at the right end.
  double thumbPlace(int id) const;
  bool visible(int id) const;
  bool enabled(int id) const;
  bool checked(int id) const;
  // The labels of the tab control, in order.
  std::vector<std::string> tabs() const;

  void moveSlider(int id, int position);
  // Types `text` into an edit box and, unless `leave` is false, leaves it, which commits it.
  void type(int id, const std::string& text, bool leave = true);
  // The Enter key in a dialog: a click of its default button.
  void pressEnter();
  void press(int id);
  // The up (delta > 0) or down arrow of an up-down control.
  void clickArrow(int id, int delta);
  void choose(int id, int entry);
  void showPage(int page);

  // Every shown control whose text does not fit it in its own font, or that reaches outside
  // the window holding it, described as "<id> \"<text>\" <why>".
  std::vector<std::string> layoutFaults() const;

 private:
  std::thread thread_;
  std::future<BOOL> done_;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
};

std::wstring wide(const std::string& utf8);
std::string narrow(const std::wstring& text);

}  // namespace nivexa::dialogs::test
