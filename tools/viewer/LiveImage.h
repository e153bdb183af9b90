#pragma once

// The live image: scaled to fit or zoomed with the mouse wheel and scrolled, the pixel under the
// pointer with its value, and a rectangle the user drags whose statistics are shown.

#include <cairo.h>
#include <gtk/gtk.h>

#include <optional>
#include <vector>

#include "FrameSource.h"
#include "ImageMath.h"

namespace nivexa::viewer {

class LiveImage {
 public:
  LiveImage();
  ~LiveImage();
  LiveImage(const LiveImage&) = delete;
  LiveImage& operator=(const LiveImage&) = delete;

  GtkWidget* widget() const { return box_; }
  // Takes the frame to show (swapped with the one shown before).
  void show(Frame& frame);
  void clear();
  const Frame& frame() const { return frame_; }
  bool hasFrame() const { return frame_.width > 0; }

 private:
  ZoomMapping mapping() const;
  void draw(cairo_t* cr);
  void convert();
  void applyZoom(double scale, Point pointerInView);
  void pointerAt(Point surface);
  void updateRectangleStatistics();

  GtkWidget* box_;
  GtkWidget* scroller_;
  GtkWidget* area_;
  GtkWidget* fit_;
  GtkWidget* pixelLabel_;
  GtkWidget* rectangleLabel_;
  Frame frame_;
  cairo_surface_t* surface_ = nullptr;
  std::vector<uint8_t> greys_;  // one row's grey levels while converting
  double scale_ = 1.0;
  std::optional<Point> pointer_;
  bool dragging_ = false;
  std::optional<Rect> rectangle_;
};

}  // namespace nivexa::viewer
