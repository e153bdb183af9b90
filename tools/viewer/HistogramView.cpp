#include "HistogramView.h"

#include <algorithm>
#include <cstdio>

#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kSpacing = 4;
constexpr int kWidth = 300;
constexpr int kHeight = 140;
constexpr double kBackground = 0.12;
constexpr double kBarRed = 0.55;
constexpr double kBarGreen = 0.8;
constexpr double kBarBlue = 1.0;
constexpr int kLabelBytes = 160;
constexpr int kPercent = 100;
}  // namespace

HistogramView::HistogramView() {
  box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  GtkWidget* title = gtk_label_new(nullptr);
  gtk_label_set_markup(GTK_LABEL(title), "<b>Histogram</b>");
  gtk_label_set_xalign(GTK_LABEL(title), 0.0f);
  area_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(area_, kWidth, kHeight);
  logarithmic_ = gtk_check_button_new_with_label("Logarithmic");
  label_ = gtk_label_new("");
  gtk_widget_set_name(label_, "histogram-statistics");
  gtk_label_set_xalign(GTK_LABEL(label_), 0.0f);
  gtk_box_pack_start(GTK_BOX(box_), title, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), area_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), logarithmic_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), label_, FALSE, FALSE, 0);
  connect<cairo_t*>(area_, "draw", [this](cairo_t* cr) { draw(cr); });
  onSignal(logarithmic_, "toggled", [this] { gtk_widget_queue_draw(area_); });
}

void HistogramView::update(const FrameView& frame) {
  histogram_ = histogramOf(frame);
  const Statistics& s = histogram_.statistics;
  char text[kLabelBytes];
  std::snprintf(text, sizeof text, "min %u   max %u   mean %.1f\nsaturated %.3f%% (at %u)",
                s.minimum, s.maximum, s.mean, s.saturatedShare * kPercent, frame.fullScale());
  gtk_label_set_text(GTK_LABEL(label_), text);
  gtk_widget_queue_draw(area_);
}

void HistogramView::draw(cairo_t* cr) {
  const int width = gtk_widget_get_allocated_width(area_);
  const int height = gtk_widget_get_allocated_height(area_);
  cairo_set_source_rgb(cr, kBackground, kBackground, kBackground);
  cairo_paint(cr);
  if (histogram_.counts.empty() || width <= 0) {
    return;
  }
  const auto bins = groupCounts(histogram_.counts, static_cast<size_t>(width));
  const uint64_t tallest = *std::max_element(bins.begin(), bins.end());
  const bool logarithmic = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(logarithmic_));
  cairo_set_source_rgb(cr, kBarRed, kBarGreen, kBarBlue);
  for (size_t x = 0; x < bins.size(); ++x) {
    const double bar = barHeight(bins[x], tallest, logarithmic) * height;
    cairo_rectangle(cr, static_cast<double>(x), height - bar, 1.0, bar);
  }
  cairo_fill(cr);
}

}  // namespace nivexa::viewer
