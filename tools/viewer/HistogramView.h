#pragma once

// The histogram of the frame shown, linear or logarithmic, with its minimum, maximum, mean and
// saturated share.

#include <gtk/gtk.h>

#include "ImageMath.h"

namespace nivexa::viewer {

class HistogramView {
 public:
  HistogramView();
  GtkWidget* widget() const { return box_; }
  void update(const FrameView& frame);
  const Histogram& histogram() const { return histogram_; }

 private:
  void draw(cairo_t* cr);

  GtkWidget* box_;
  GtkWidget* area_;
  GtkWidget* logarithmic_;
  GtkWidget* label_;
  Histogram histogram_;
};

}  // namespace nivexa::viewer
