// The settings dialog exports: each builds its dialog over the camera object and shows it
// through the dialog module; without a module or a display the dialog cannot be shown (error 4).
#include <mutex>

#include "camera/CNivexa.h"
#include "camera/DialogPort.h"
#include "dialogs/AnalogDialog.h"
#include "dialogs/DialogRunner.h"
#include "dialogs/ImageDialog.h"
#include "dialogs/StreamDialog.h"
#include "platform/Locale.h"

namespace nivexa::camera {

namespace {

dialogs::Language userLanguage() {
  return platform::japaneseLanguage() ? dialogs::Language::Japanese : dialogs::Language::English;
}

}  // namespace

bool CNivexa::RequireOpenCamera() {
  std::lock_guard command(commandLock_);
  if (!RequireEngine()) {
    return false;
  }
  if (currentDevice_ < 0 || !engine_->HasSensor()) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return false;
  }
  return true;
}

// No lock is held while the dialog runs: its controls call back into the object, and other
// threads keep using the handle meanwhile.
int CNivexa::ShowDialog(dialogs::DialogModel& dialog, HWND parent) {
  if (dialogs::runDialog(dialog, reinterpret_cast<uintptr_t>(parent)) ==
      dialogs::RunResult::Unavailable) {
    RecordError(NIVEXA_ERR_WINDOW);
    return 0;
  }
  return 1;
}

int CNivexa::SetCameraDlg(HWND parent) {
  if (!RequireOpenCamera()) {
    return 0;
  }
  DialogPort port(*this);
  dialogs::StreamDialog dialog(port, userLanguage());
  return ShowDialog(dialog, parent);
}

int CNivexa::SetImageDlg(HWND parent) {
  if (!RequireOpenCamera()) {
    return 0;
  }
  DialogPort port(*this);
  dialogs::ImageDialog dialog(port, userLanguage());
  return ShowDialog(dialog, parent);
}

int CNivexa::SetAnalogDlg(HWND parent) {
  if (!RequireOpenCamera()) {
    return 0;
  }
  DialogPort port(*this);
  dialogs::AnalogDialog dialog(port, userLanguage());
  return ShowDialog(dialog, parent);
}

void CNivexa::processingValuesChanged() {
  dialogRefresh_ = 1;
}

}  // namespace nivexa::camera
