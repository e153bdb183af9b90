#pragma once

// The calibration page: cool the sensor until it settles, take the dark reference (lens capped)
// and the flat reference (evenly lit) into a mask file, then check what the mask does to a flat
// image. The steps are the tools' shared calibration code; each runs on a thread of its own with
// the live stream paused, as the steps take the camera for themselves, and the page follows it.

#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "Camera.h"

namespace nivexa::viewer {

class CalibratePage {
 public:
  // pause stops the live stream before a step; resume starts it again after.
  CalibratePage(Camera& camera, std::function<void()> pause, std::function<void()> resume);
  ~CalibratePage();
  CalibratePage(const CalibratePage&) = delete;
  CalibratePage& operator=(const CalibratePage&) = delete;

  GtkWidget* widget() const { return box_; }
  void cameraChanged();
  // Ends a running step (cooling is cancelled, the others are waited for).
  void shutdown();
  bool busy() const { return worker_.joinable(); }

  enum Step { kCool, kDark, kFlat, kCheck, kStepCount };
  GtkWidget* flatButton() const { return flat_; }
  GtkWidget* darkButton() const { return dark_; }
  GtkWidget* checkButton() const { return check_; }
  GtkWidget* maskEntry() const { return maskEntry_; }
  // The line beside a step: what it does, how far it is, or how it ended.
  std::string stepText(Step step) const;

 private:
  // Runs work on the step thread; it returns the step's closing line.
  void run(Step step, std::function<std::string()> work);
  bool poll();
  void setLine(Step step, const std::string& text);
  std::string maskFile() const;

  Camera& camera_;
  std::function<void()> pause_;
  std::function<void()> resume_;
  GtkWidget* box_;
  GtkWidget* cool_;
  GtkWidget* dark_;
  GtkWidget* flat_;
  GtkWidget* check_;
  GtkWidget* cancel_;
  GtkWidget* maskEntry_;
  GtkWidget* framesSpin_;
  GtkWidget* lines_[kStepCount];

  std::thread worker_;
  Step running_ = kCool;
  guint pollId_ = 0;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::string progress_;  // what the step thread last said, under mutex_
  std::string result_;    // its closing line, under mutex_
};

}  // namespace nivexa::viewer
