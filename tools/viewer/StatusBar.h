#pragma once

// Frame rate, frames lost and dropped, data rate and what the display showed, once a second.

#include <gtk/gtk.h>

#include <cstdint>

#include "FrameSource.h"

namespace nivexa::viewer {

class StatusBar {
 public:
  StatusBar();
  GtkWidget* widget() const { return label_; }
  // stream: the library's counts of the running stream (null without one).
  void update(const NivexaStreamStatistics* stream, const FrameCounts& display);

 private:
  GtkWidget* label_;
  uint64_t lastBytes_ = 0;
  int64_t lastTimeUs_ = 0;
};

}  // namespace nivexa::viewer
