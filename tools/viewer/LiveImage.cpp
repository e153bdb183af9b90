#include "LiveImage.h"

#include <cstdio>
#include <string>

#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kSpacing = 4;
constexpr int kBytesPerScreenPixel = 4;
constexpr uint32_t kGreyToRgb = 0x010101;
constexpr double kRectangleLine = 1.0;
constexpr double kRectangleRed = 1.0;
constexpr double kRectangleGreen = 0.8;
constexpr double kRectangleBlue = 0.0;
constexpr int kLabelBytes = 160;
constexpr int kPercent = 100;
constexpr int kPixelLabelChars = 22;
}  // namespace

LiveImage::LiveImage() {
  box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  scroller_ = gtk_scrolled_window_new(nullptr, nullptr);
  area_ = gtk_drawing_area_new();
  gtk_widget_set_name(area_, "live-image");
  gtk_widget_add_events(area_, GDK_SCROLL_MASK | GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                   GDK_BUTTON_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK);
  gtk_container_add(GTK_CONTAINER(scroller_), area_);
  gtk_box_pack_start(GTK_BOX(box_), scroller_, TRUE, TRUE, 0);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing * 2);
  fit_ = gtk_check_button_new_with_label("Fit to window");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(fit_), TRUE);
  GtkWidget* actual = gtk_button_new_with_label("1:1");
  pixelLabel_ = gtk_label_new("");
  rectangleLabel_ = gtk_label_new("Drag on the image for the statistics of a rectangle.");
  gtk_label_set_xalign(GTK_LABEL(pixelLabel_), 0.0f);
  gtk_label_set_width_chars(GTK_LABEL(pixelLabel_), kPixelLabelChars);
  // The statistics line has a row of its own and gives way (its tooltip keeps the whole text)
  // rather than widen the window; a wrapping label would upset the window's width.
  gtk_label_set_xalign(GTK_LABEL(rectangleLabel_), 0.0f);
  gtk_label_set_ellipsize(GTK_LABEL(rectangleLabel_), PANGO_ELLIPSIZE_END);
  gtk_box_pack_start(GTK_BOX(row), fit_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), actual, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), pixelLabel_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), row, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), rectangleLabel_, FALSE, FALSE, 0);

  connect<cairo_t*>(area_, "draw", [this](cairo_t* cr) { draw(cr); });
  onSignal(fit_, "toggled", [this] {
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(fit_))) {
      gtk_widget_set_size_request(area_, -1, -1);
    } else {
      applyZoom(scale_, Point{});
    }
    gtk_widget_queue_draw(area_);
  });
  onSignal(actual, "clicked", [this] {
    const bool wasFit = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(fit_));
    scale_ = 1.0;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(fit_), FALSE);
    if (!wasFit) {
      applyZoom(1.0, Point{});
    }
  });
  connect<GdkEventScroll*>(area_, "scroll-event", [this](GdkEventScroll* event) {
    if (!hasFrame()) {
      return;
    }
    int steps = 0;
    if (event->direction == GDK_SCROLL_UP) {
      steps = 1;
    } else if (event->direction == GDK_SCROLL_DOWN) {
      steps = -1;
    } else if (event->direction == GDK_SCROLL_SMOOTH) {
      steps = event->delta_y < 0 ? 1 : (event->delta_y > 0 ? -1 : 0);
    }
    if (steps == 0) {
      return;
    }
    const double from = mapping().scale;
    GtkAdjustment* h = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scroller_));
    GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller_));
    const Point inView{event->x - gtk_adjustment_get_value(h),
                       event->y - gtk_adjustment_get_value(v)};
    scale_ = from;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(fit_), FALSE);
    applyZoom(zoomedScale(from, steps), inView);
  });
  connect<GdkEventMotion*>(area_, "motion-notify-event", [this](GdkEventMotion* event) {
    pointerAt(Point{event->x, event->y});
  });
  connect<GdkEventCrossing*>(area_, "leave-notify-event", [this](GdkEventCrossing*) {
    pointer_.reset();
    gtk_label_set_text(GTK_LABEL(pixelLabel_), "");
  });
  connect<GdkEventButton*>(area_, "button-press-event", [this](GdkEventButton* event) {
    if (event->button != GDK_BUTTON_PRIMARY || !hasFrame()) {
      return;
    }
    const auto pixel = mapping().toPixel(Point{event->x, event->y}, frame_.width, frame_.height);
    if (pixel) {
      dragging_ = true;
      rectangle_ = Rect{static_cast<int>(pixel->x), static_cast<int>(pixel->y), 1, 1};
    }
  });
  connect<GdkEventButton*>(area_, "button-release-event", [this](GdkEventButton*) {
    dragging_ = false;
    updateRectangleStatistics();
  });
}

LiveImage::~LiveImage() {
  if (surface_ != nullptr) {
    cairo_surface_destroy(surface_);
  }
}

ZoomMapping LiveImage::mapping() const {
  if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(fit_))) {
    return ZoomMapping::fit(frame_.width, frame_.height, gtk_widget_get_allocated_width(area_),
                            gtk_widget_get_allocated_height(area_));
  }
  ZoomMapping zoom;
  zoom.scale = scale_;
  return zoom;
}

void LiveImage::applyZoom(double scale, Point pointerInView) {
  GtkAdjustment* h = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scroller_));
  GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller_));
  const Point before{gtk_adjustment_get_value(h), gtk_adjustment_get_value(v)};
  const Point after = scrollKeepingPoint(pointerInView, before, scale_, scale);
  scale_ = scale;
  const int width = static_cast<int>(frame_.width * scale_);
  const int height = static_cast<int>(frame_.height * scale_);
  gtk_widget_set_size_request(area_, width, height);
  // The adjustments take the new extent only after the next size allocation.
  gtk_adjustment_set_upper(h, std::max<double>(width, gtk_adjustment_get_upper(h)));
  gtk_adjustment_set_upper(v, std::max<double>(height, gtk_adjustment_get_upper(v)));
  gtk_adjustment_set_value(h, after.x);
  gtk_adjustment_set_value(v, after.y);
  gtk_widget_queue_draw(area_);
}

void LiveImage::show(Frame& frame) {
  std::swap(frame_, frame);
  convert();
  if (rectangle_ && !dragging_) {
    updateRectangleStatistics();
  }
  if (pointer_) {
    pointerAt(*pointer_);
  }
  gtk_widget_queue_draw(area_);
}

void LiveImage::clear() {
  frame_ = Frame{};
  if (surface_ != nullptr) {
    cairo_surface_destroy(surface_);
    surface_ = nullptr;
  }
  gtk_widget_queue_draw(area_);
}

void LiveImage::convert() {
  const FrameView view = frame_.view();
  if (!view.valid()) {
    return;
  }
  if (surface_ == nullptr || cairo_image_surface_get_width(surface_) != frame_.width ||
      cairo_image_surface_get_height(surface_) != frame_.height) {
    if (surface_ != nullptr) {
      cairo_surface_destroy(surface_);
    }
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, frame_.width, frame_.height);
  }
  cairo_surface_flush(surface_);
  unsigned char* pixels = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  greys_.resize(static_cast<size_t>(frame_.width));
  for (int y = 0; y < frame_.height; ++y) {
    view.displayRow(y, greys_);
    auto* row = reinterpret_cast<uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < frame_.width; ++x) {
      row[x] = greys_[static_cast<size_t>(x)] * kGreyToRgb;
    }
  }
  static_assert(kBytesPerScreenPixel == sizeof(uint32_t));
  cairo_surface_mark_dirty(surface_);
}

void LiveImage::draw(cairo_t* cr) {
  if (surface_ == nullptr) {
    return;
  }
  const ZoomMapping zoom = mapping();
  cairo_save(cr);
  cairo_translate(cr, zoom.offsetX, zoom.offsetY);
  cairo_scale(cr, zoom.scale, zoom.scale);
  cairo_set_source_surface(cr, surface_, 0, 0);
  // Nearest neighbour: cheap at the camera's rate, and every pixel stays a pixel when zoomed in.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
  cairo_paint(cr);
  cairo_restore(cr);
  if (rectangle_) {
    const Rect r = normalised(*rectangle_, frame_.width, frame_.height);
    const Point topLeft = zoom.toSurface(Point{static_cast<double>(r.x), static_cast<double>(r.y)});
    cairo_set_source_rgb(cr, kRectangleRed, kRectangleGreen, kRectangleBlue);
    cairo_set_line_width(cr, kRectangleLine);
    cairo_rectangle(cr, topLeft.x, topLeft.y, r.width * zoom.scale, r.height * zoom.scale);
    cairo_stroke(cr);
  }
}

void LiveImage::pointerAt(Point surface) {
  pointer_ = surface;
  if (!hasFrame()) {
    return;
  }
  const auto pixel = mapping().toPixel(surface, frame_.width, frame_.height);
  if (!pixel) {
    gtk_label_set_text(GTK_LABEL(pixelLabel_), "");
    return;
  }
  const int x = static_cast<int>(pixel->x);
  const int y = static_cast<int>(pixel->y);
  if (dragging_ && rectangle_) {
    rectangle_->width = x - rectangle_->x + (x >= rectangle_->x ? 1 : 0);
    rectangle_->height = y - rectangle_->y + (y >= rectangle_->y ? 1 : 0);
    gtk_widget_queue_draw(area_);
  }
  char text[kLabelBytes];
  std::snprintf(text, sizeof text, "x %d, y %d: %u", x, y, frame_.view().at(x, y));
  gtk_label_set_text(GTK_LABEL(pixelLabel_), text);
}

void LiveImage::updateRectangleStatistics() {
  if (!rectangle_ || !hasFrame()) {
    return;
  }
  const Rect r = normalised(*rectangle_, frame_.width, frame_.height);
  const Statistics s = statisticsOf(frame_.view(), r);
  char text[kLabelBytes];
  std::snprintf(text, sizeof text,
                "Rectangle %dx%d at %d,%d: min %u, max %u, mean %.1f, saturated %.2f %%", r.width,
                r.height, r.x, r.y, s.minimum, s.maximum, s.mean, s.saturatedShare * kPercent);
  gtk_label_set_text(GTK_LABEL(rectangleLabel_), text);
  gtk_widget_set_tooltip_text(rectangleLabel_, text);
}

}  // namespace nivexa::viewer
