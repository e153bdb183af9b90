#pragma once

// The camera's settings: exposure (slider and field, in seconds), gain, black level, output
// depth, mirrors and cooler, and the library's three settings dialogs.

#include <gtk/gtk.h>

#include <functional>

#include "Camera.h"

namespace nivexa::viewer {

class Controls {
 public:
  // restartStream is called after a change that applies from the next stream (depth, dialogs).
  Controls(Camera& camera, std::function<void()> restartStream);
  GtkWidget* widget() const { return grid_; }
  // Reads every value from the open camera into the widgets.
  void load();
  void setSensitive(bool sensitive) { gtk_widget_set_sensitive(grid_, sensitive); }
  GtkWidget* exposureField() const { return exposureField_; }
  GtkWidget* coolerSwitch() const { return cooler_; }
  GtkWidget* depthChoice() const { return depth_; }

 private:
  void setExposure(double seconds);
  double sliderToSeconds(double position) const;
  double secondsToSlider(double seconds) const;

  Camera& camera_;
  std::function<void()> restartStream_;
  GtkWidget* grid_;
  GtkWidget* exposureSlider_;
  GtkWidget* exposureField_;
  GtkWidget* gain_;
  GtkWidget* blackLevel_;
  GtkWidget* depth_;
  GtkWidget* mirrorH_;
  GtkWidget* mirrorV_;
  GtkWidget* cooler_;
  double exposureMin_ = 0.0;
  double exposureMax_ = 1.0;
  // Set while load() writes the widgets, so that their signals do not write back to the camera.
  bool loading_ = false;
};

}  // namespace nivexa::viewer
