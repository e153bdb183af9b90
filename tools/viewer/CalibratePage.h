#pragma once

// The calibration page: cool the sensor and wait for it to settle, take the dark reference
// (lens capped) and the flat reference (evenly lit), then check the corrected image and save
// the references to a mask file. Works through the library's exports directly.

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <vector>

#include "Calibration.h"
#include "Camera.h"
#include "FrameSource.h"

namespace nivexa::viewer {

class CalibratePage {
 public:
  CalibratePage(Camera& camera, GtkWindow* parent, std::function<const Frame*()> shownFrame);
  GtkWidget* widget() const { return box_; }
  void cameraChanged();
  // Follows the temperature while settling.
  void everySecond();

  GtkWidget* coolButton() const { return cool_; }
  GtkWidget* darkButton() const { return dark_; }
  GtkWidget* flatButton() const { return flat_; }
  GtkWidget* checkButton() const { return check_; }

 private:
  void cool();
  void takeReference(NivexaLong kind);
  void checkCorrection();
  void saveMask();
  void setStep(GtkWidget* label, const std::string& text);

  Camera& camera_;
  GtkWindow* parent_;
  std::function<const Frame*()> shownFrame_;
  GtkWidget* box_;
  GtkWidget* cool_;
  GtkWidget* dark_;
  GtkWidget* flat_;
  GtkWidget* check_;
  GtkWidget* save_;
  GtkWidget* coolState_;
  GtkWidget* darkState_;
  GtkWidget* flatState_;
  GtkWidget* checkState_;
  bool settling_ = false;
  std::vector<TemperatureSample> samples_;
  std::optional<Evenness> beforeCorrection_;
};

}  // namespace nivexa::viewer
