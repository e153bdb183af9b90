#pragma once

// Sensor temperature and cooler state over the last ten minutes, sampled once a second.

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>

#include "Camera.h"

namespace nivexa::viewer {

class TemperaturePlot {
 public:
  explicit TemperaturePlot(Camera& camera);
  GtkWidget* widget() const { return box_; }
  // Reads the temperature and the cooler once; called every second while a camera is open.
  void sample();
  void clear();

 private:
  struct Sample {
    int64_t timeUs;
    double celsius;
    bool cooler;
  };
  void draw(cairo_t* cr);

  Camera& camera_;
  GtkWidget* box_;
  GtkWidget* area_;
  GtkWidget* label_;
  std::deque<Sample> samples_;
};

}  // namespace nivexa::viewer
