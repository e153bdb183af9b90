#include "CalibratePage.h"

#include <glib/gstdio.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "ImageMath.h"
#include "Signals.h"
#include "calibration/Calibration.h"

namespace nivexa::viewer {

namespace cal = nivexa::calibration;

namespace {
constexpr int kSpacing = 8;
constexpr int kLineBytes = 300;
constexpr double kPercent = 100.0;
constexpr guint kPollMs = 200;
constexpr int kTextWidth = 70;
constexpr double kDefaultFrames = 16;
constexpr double kMostFramesOffered = 256;
constexpr int kMaskFolderMode = 0700;
constexpr const char* kMaskName = "mask.msk";

GtkWidget* lineLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), kTextWidth);
  return label;
}

std::string describeReference(const char* name, const cal::ReferenceResult& result) {
  if (!result.ok) {
    return std::string("The ") + name + " reference was not taken: " + result.problem +
           (result.error != 0 ? " (error " + std::to_string(result.error) + ")" : "");
  }
  char line[kLineBytes];
  std::snprintf(line, sizeof line,
                "Taken: %u frames of %dx%d averaged, mean %.1f of %u; %llu defect pixels in "
                "%zu clusters; %llu frames lost, %llu dropped.",
                result.framesAveraged, result.width, result.height, result.mean, kFullScale16,
                static_cast<unsigned long long>(result.defects.defectPixels),
                result.defects.clusters.size(), static_cast<unsigned long long>(result.framesLost),
                static_cast<unsigned long long>(result.framesDropped));
  std::string text = line;
  if (!result.defects.clusters.empty()) {
    const cal::DefectCluster& largest = result.defects.clusters.front();
    std::snprintf(line, sizeof line, " Largest cluster: %u pixel(s) at %d,%d.", largest.pixels,
                  largest.x, largest.y);
    text += line;
  }
  return text;
}
}  // namespace

CalibratePage::CalibratePage(Camera& camera, std::function<void()> pause,
                             std::function<void()> resume)
    : camera_(camera), pause_(std::move(pause)), resume_(std::move(resume)) {
  box_ = gtk_grid_new();
  gtk_container_set_border_width(GTK_CONTAINER(box_), kSpacing * 2);
  gtk_grid_set_row_spacing(GTK_GRID(box_), kSpacing * 2);
  gtk_grid_set_column_spacing(GTK_GRID(box_), kSpacing * 2);
  int row = 0;
  gtk_grid_attach(GTK_GRID(box_),
                  lineLabel("Take the steps in this order. Each pauses the live image while it "
                            "has the camera."),
                  0, row++, 2, 1);

  maskEntry_ = gtk_entry_new();
  gtk_widget_set_hexpand(maskEntry_, TRUE);
  char* folder = g_build_filename(g_get_user_data_dir(), "nivexa-viewer", nullptr);
  char* mask = g_build_filename(folder, kMaskName, nullptr);
  gtk_entry_set_text(GTK_ENTRY(maskEntry_), mask);
  g_free(mask);
  g_free(folder);
  framesSpin_ = gtk_spin_button_new_with_range(1, kMostFramesOffered, 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(framesSpin_), kDefaultFrames);
  gtk_grid_attach(GTK_GRID(box_), lineLabel("Mask file"), 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(box_), maskEntry_, 1, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(box_), lineLabel("Frames averaged"), 0, row, 1, 1);
  gtk_widget_set_halign(framesSpin_, GTK_ALIGN_START);
  gtk_grid_attach(GTK_GRID(box_), framesSpin_, 1, row++, 1, 1);

  cool_ = gtk_button_new_with_mnemonic("1. C_ool and settle");
  dark_ = gtk_button_new_with_mnemonic("2. _Dark reference");
  flat_ = gtk_button_new_with_mnemonic("3. _Flat reference");
  check_ = gtk_button_new_with_mnemonic("4. Chec_k");
  const cal::CoolingOptions cooling;
  char coolingText[kLineBytes];
  std::snprintf(coolingText, sizeof coolingText,
                "Switches the cooler on and waits until the temperature holds within %.1f °C for "
                "%lld s.",
                cooling.toleranceC,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::seconds>(cooling.settle).count()));
  lines_[kCool] = lineLabel(coolingText);
  lines_[kDark] = lineLabel("Cap the lens, then take the dark reference.");
  lines_[kFlat] = lineLabel(
      "Light the sensor evenly (a diffuser or a flat field), then take the flat reference.");
  lines_[kCheck] = lineLabel(
      "Measures how even a flat image is with the flat-field and defect filters off and on; "
      "leaves them on.");
  GtkWidget* buttons[] = {cool_, dark_, flat_, check_};
  for (int step = 0; step < kStepCount; ++step) {
    gtk_widget_set_valign(buttons[step], GTK_ALIGN_START);
    gtk_grid_attach(GTK_GRID(box_), buttons[step], 0, row, 1, 1);
    gtk_grid_attach(GTK_GRID(box_), lines_[step], 1, row++, 1, 1);
  }
  cancel_ = gtk_button_new_with_label("Stop waiting");
  gtk_widget_set_halign(cancel_, GTK_ALIGN_START);
  gtk_widget_set_sensitive(cancel_, FALSE);
  gtk_grid_attach(GTK_GRID(box_), cancel_, 0, row++, 1, 1);

  onSignal(cancel_, "clicked", [this] { cancelled_ = true; });
  onSignal(cool_, "clicked", [this] {
    const NivexaLong h = camera_.handle();
    run(kCool, [this, h] {
      cal::CoolingOptions options;
      const cal::CoolingResult result =
          cal::coolAndSettle(h, options, [this](const cal::CoolingSample& sample) {
            char line[kLineBytes];
            std::snprintf(line, sizeof line,
                          "Cooling: %.2f °C after %.0f s; within %.2f °C for %.0f s.",
                          sample.temperatureC, sample.elapsedS, sample.spreadC, sample.heldS);
            std::lock_guard lock(mutex_);
            progress_ = line;
            return !cancelled_.load();
          });
      char line[kLineBytes];
      std::snprintf(line, sizeof line, "%s at %.2f °C after %.0f s.", cal::describe(result.outcome),
                    result.temperatureC, result.elapsedS);
      return std::string(line);
    });
  });
  auto reference = [this](Step step, cal::ReferenceKind kind, const char* name) {
    const NivexaLong h = camera_.handle();
    cal::ReferenceOptions options;
    options.kind = kind;
    options.frames =
        static_cast<uint32_t>(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(framesSpin_)));
    const std::string mask = maskFile();
    run(step, [h, options, mask, name] {
      return describeReference(name, cal::takeReference(h, options, mask));
    });
  };
  onSignal(dark_, "clicked", [reference] { reference(kDark, cal::ReferenceKind::Dark, "dark"); });
  onSignal(flat_, "clicked", [reference] { reference(kFlat, cal::ReferenceKind::Flat, "flat"); });
  onSignal(check_, "clicked", [this] {
    const NivexaLong h = camera_.handle();
    const auto frames =
        static_cast<uint32_t>(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(framesSpin_)));
    const std::string mask = maskFile();
    run(kCheck, [h, frames, mask] {
      const cal::CheckResult result = cal::checkMask(h, mask, frames);
      if (!result.ok) {
        return "Not checked: " + result.problem +
               (result.error != 0 ? " (error " + std::to_string(result.error) + ")" : "");
      }
      char line[kLineBytes];
      std::snprintf(line, sizeof line,
                    "Non-uniformity %.2f %% with the filters off, %.2f %% with them on (mean "
                    "%.1f of %u).",
                    result.before.nonUniformity() * kPercent,
                    result.after.nonUniformity() * kPercent, result.after.mean, kFullScale16);
      return std::string(line);
    });
  });
  gtk_widget_set_sensitive(box_, FALSE);
}

CalibratePage::~CalibratePage() {
  shutdown();
}

std::string CalibratePage::maskFile() const {
  const std::string path = gtk_entry_get_text(GTK_ENTRY(maskEntry_));
  char* folder = g_path_get_dirname(path.c_str());
  g_mkdir_with_parents(folder, kMaskFolderMode);
  g_free(folder);
  return path;
}

std::string CalibratePage::stepText(Step step) const {
  return gtk_label_get_text(GTK_LABEL(lines_[step]));
}

void CalibratePage::setLine(Step step, const std::string& text) {
  gtk_label_set_text(GTK_LABEL(lines_[step]), text.c_str());
}

void CalibratePage::cameraChanged() {
  if (!busy()) {
    gtk_widget_set_sensitive(box_, camera_.isOpen());
  }
}

void CalibratePage::run(Step step, std::function<std::string()> work) {
  if (busy() || !camera_.isOpen()) {
    return;
  }
  pause_();
  running_ = step;
  cancelled_ = false;
  done_ = false;
  {
    std::lock_guard lock(mutex_);
    progress_ = "Working…";
    result_.clear();
  }
  setLine(step, "Working…");
  for (GtkWidget* button : {cool_, dark_, flat_, check_, maskEntry_, framesSpin_}) {
    gtk_widget_set_sensitive(button, FALSE);
  }
  gtk_widget_set_sensitive(cancel_, step == kCool);
  worker_ = std::thread([this, work = std::move(work)] {
    std::string line = work();
    std::lock_guard lock(mutex_);
    result_ = std::move(line);
    done_ = true;
  });
  pollId_ = g_timeout_add(
      kPollMs,
      +[](gpointer self) -> gboolean {
        return static_cast<CalibratePage*>(self)->poll() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
      },
      this);
}

bool CalibratePage::poll() {
  std::string line;
  const bool finished = done_.load();
  {
    std::lock_guard lock(mutex_);
    line = finished ? result_ : progress_;
  }
  setLine(running_, line);
  if (!finished) {
    return true;
  }
  worker_.join();
  pollId_ = 0;
  for (GtkWidget* button : {cool_, dark_, flat_, check_, maskEntry_, framesSpin_}) {
    gtk_widget_set_sensitive(button, TRUE);
  }
  gtk_widget_set_sensitive(cancel_, FALSE);
  resume_();
  return false;
}

void CalibratePage::shutdown() {
  if (pollId_ != 0) {
    g_source_remove(pollId_);
    pollId_ = 0;
  }
  cancelled_ = true;
  if (worker_.joinable()) {
    worker_.join();
  }
}

}  // namespace nivexa::viewer
