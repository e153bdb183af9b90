#include "StatusBar.h"

#include <glib.h>

#include <cstdio>

namespace nivexa::viewer {

namespace {
constexpr int kLabelBytes = 200;
constexpr double kMicrosecondsPerSecond = 1e6;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
constexpr int kMargin = 4;
}  // namespace

StatusBar::StatusBar() {
  label_ = gtk_label_new("No camera open.");
  gtk_widget_set_name(label_, "status");
  gtk_label_set_xalign(GTK_LABEL(label_), 0.0f);
  gtk_label_set_ellipsize(GTK_LABEL(label_), PANGO_ELLIPSIZE_END);
  gtk_widget_set_margin_start(label_, kMargin);
  gtk_widget_set_margin_bottom(label_, kMargin);
}

void StatusBar::update(const NivexaStreamStatistics* stream, const FrameCounts& display) {
  if (stream == nullptr) {
    gtk_label_set_text(GTK_LABEL(label_), "No camera open.");
    lastBytes_ = 0;
    lastTimeUs_ = 0;
    return;
  }
  const int64_t now = g_get_monotonic_time();
  double megabytesPerSecond = 0.0;
  if (lastTimeUs_ != 0 && now > lastTimeUs_ && stream->bytes >= lastBytes_) {
    megabytesPerSecond = static_cast<double>(stream->bytes - lastBytes_) / kBytesPerMegabyte /
                         (static_cast<double>(now - lastTimeUs_) / kMicrosecondsPerSecond);
  }
  lastBytes_ = stream->bytes;
  lastTimeUs_ = now;
  char text[kLabelBytes];
  std::snprintf(text, sizeof text,
                "%.1f fps   %.1f MB/s   lost %llu   dropped %llu   shown %llu   skipped %llu",
                stream->frameRate, megabytesPerSecond,
                static_cast<unsigned long long>(stream->framesLost),
                static_cast<unsigned long long>(stream->framesDropped),
                static_cast<unsigned long long>(display.shown),
                static_cast<unsigned long long>(display.skipped));
  gtk_label_set_text(GTK_LABEL(label_), text);
}

}  // namespace nivexa::viewer
