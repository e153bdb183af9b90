#include "TemperaturePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kSpacing = 4;
constexpr int kWidth = 300;
constexpr int kHeight = 120;
constexpr int64_t kMicrosecondsPerSecond = 1000000;
constexpr int64_t kWindowSeconds = 600;
constexpr int64_t kWindowUs = kWindowSeconds * kMicrosecondsPerSecond;
// The time axis spans what was sampled, from this much up to the whole window, so that the first
// minutes after opening a camera are not squeezed against the right edge.
constexpr int64_t kShortestAxisSeconds = 60;
// The smallest temperature span drawn, so that noise of a settled sensor stays small.
constexpr double kMinimumSpan = 4.0;
constexpr double kCoolerBand = 6.0;
constexpr double kBackground = 0.12;
constexpr double kGrid = 0.3;
constexpr double kLineWidth = 1.5;
constexpr int kLabelBytes = 120;
struct Colour {
  double red;
  double green;
  double blue;
};
constexpr Colour kCoolerColour{0.2, 0.4, 1.0};
constexpr Colour kCurveColour{1.0, 0.6, 0.2};
constexpr Colour kTextColour{1.0, 1.0, 1.0};
// Where the axis texts sit: from the edges, and the height of their base line from the top.
constexpr double kTextMargin = 2.0;
constexpr double kTextBaseline = 12.0;
void setColour(cairo_t* cr, const Colour& colour) {
  cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}
}  // namespace

TemperaturePlot::TemperaturePlot(Camera& camera) : camera_(camera) {
  box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  GtkWidget* title = gtk_label_new(nullptr);
  gtk_label_set_markup(GTK_LABEL(title), "<b>Temperature</b>, last 10 minutes");
  gtk_label_set_xalign(GTK_LABEL(title), 0.0f);
  area_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(area_, kWidth, kHeight);
  // The band along the bottom is the cooler's state.
  label_ = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(label_), 0.0f);
  gtk_box_pack_start(GTK_BOX(box_), title, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), area_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), label_, FALSE, FALSE, 0);
  connect<cairo_t*>(area_, "draw", [this](cairo_t* cr) { draw(cr); });
}

void TemperaturePlot::sample() {
  NivexaBool ok = 0;
  const double celsius = Nivexa_GetTemperatureEx(camera_.handle(), &ok);
  if (!ok) {
    camera_.check(false, "Reading the temperature");
    return;
  }
  NivexaBool coolerOk = 0;
  const bool cooler = Nivexa_GetPeltier(camera_.handle(), &coolerOk) == 1 && coolerOk;
  const int64_t now = g_get_monotonic_time();
  samples_.push_back(Sample{now, celsius, cooler});
  while (!samples_.empty() && samples_.front().timeUs < now - kWindowUs) {
    samples_.pop_front();
  }
  char text[kLabelBytes];
  std::snprintf(text, sizeof text,
                "%.2f \xC2\xB0"
                "C, cooler %s (blue band)",
                celsius, cooler ? "on" : "off");
  gtk_label_set_text(GTK_LABEL(label_), text);
  gtk_widget_queue_draw(area_);
}

void TemperaturePlot::clear() {
  samples_.clear();
  gtk_label_set_text(GTK_LABEL(label_), "");
  gtk_widget_queue_draw(area_);
}

void TemperaturePlot::draw(cairo_t* cr) {
  const double width = gtk_widget_get_allocated_width(area_);
  const double height = gtk_widget_get_allocated_height(area_);
  cairo_set_source_rgb(cr, kBackground, kBackground, kBackground);
  cairo_paint(cr);
  if (samples_.empty()) {
    return;
  }
  auto [low, high] =
      std::minmax_element(samples_.begin(), samples_.end(),
                          [](const Sample& a, const Sample& b) { return a.celsius < b.celsius; });
  double bottom = low->celsius;
  double top = high->celsius;
  if (top - bottom < kMinimumSpan) {
    const double middle = (top + bottom) / 2.0;
    bottom = middle - kMinimumSpan / 2.0;
    top = middle + kMinimumSpan / 2.0;
  }
  const int64_t end = samples_.back().timeUs;
  const int64_t axisUs = std::clamp(end - samples_.front().timeUs,
                                    kShortestAxisSeconds * kMicrosecondsPerSecond, kWindowUs);
  auto xOf = [&](int64_t t) {
    return width - static_cast<double>(end - t) / static_cast<double>(axisUs) * width;
  };
  auto yOf = [&](double c) { return height - (c - bottom) / (top - bottom) * height; };
  // The cooler's state as a band along the bottom.
  setColour(cr, kCoolerColour);
  for (size_t i = 0; i + 1 < samples_.size(); ++i) {
    if (samples_[i].cooler) {
      const double x0 = xOf(samples_[i].timeUs);
      cairo_rectangle(cr, x0, height - kCoolerBand, xOf(samples_[i + 1].timeUs) - x0, kCoolerBand);
    }
  }
  cairo_fill(cr);
  cairo_set_source_rgb(cr, kGrid, kGrid, kGrid);
  cairo_set_line_width(cr, 1.0);
  for (double c = std::ceil(bottom); c <= top; c += 1.0) {
    cairo_move_to(cr, 0, yOf(c));
    cairo_line_to(cr, width, yOf(c));
  }
  cairo_stroke(cr);
  setColour(cr, kCurveColour);
  cairo_set_line_width(cr, kLineWidth);
  for (size_t i = 0; i < samples_.size(); ++i) {
    const double x = xOf(samples_[i].timeUs);
    const double y = yOf(samples_[i].celsius);
    if (i == 0) {
      cairo_move_to(cr, x, y);
    } else {
      cairo_line_to(cr, x, y);
    }
  }
  cairo_stroke(cr);
  char text[kLabelBytes];
  setColour(cr, kTextColour);
  std::snprintf(text, sizeof text, "%.1f", top);
  cairo_move_to(cr, kTextMargin, kTextBaseline);
  cairo_show_text(cr, text);
  std::snprintf(text, sizeof text, "%.1f", bottom);
  cairo_move_to(cr, kTextMargin, height - kCoolerBand - kTextMargin);
  cairo_show_text(cr, text);
  // The span of the time axis, in its middle.
  std::snprintf(text, sizeof text, "last %lld s",
                static_cast<long long>(axisUs / kMicrosecondsPerSecond));
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text, &extents);
  cairo_move_to(cr, (width - extents.width) / 2, kTextBaseline);
  cairo_show_text(cr, text);
}

}  // namespace nivexa::viewer
