#include "CalibratePage.h"

#include <cstdio>
#include <string>

#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kSpacing = 8;
constexpr int kLabelBytes = 200;
constexpr double kPercent = 100.0;
constexpr double kMicrosecondsPerSecond = 1e6;
constexpr NivexaLong kDarkReference = 0;
constexpr NivexaLong kFlatReference = 1;
constexpr int kTextWidth = 60;

GtkWidget* stepLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), kTextWidth);
  return label;
}
}  // namespace

CalibratePage::CalibratePage(Camera& camera, GtkWindow* parent,
                             std::function<const Frame*()> shownFrame)
    : camera_(camera), parent_(parent), shownFrame_(std::move(shownFrame)) {
  box_ = gtk_grid_new();
  gtk_container_set_border_width(GTK_CONTAINER(box_), kSpacing * 2);
  gtk_grid_set_row_spacing(GTK_GRID(box_), kSpacing * 2);
  gtk_grid_set_column_spacing(GTK_GRID(box_), kSpacing * 2);
  GtkWidget* intro = stepLabel(
      "Take the references in this order. The live image on the first page shows each step's "
      "effect.");
  gtk_grid_attach(GTK_GRID(box_), intro, 0, 0, 2, 1);

  cool_ = gtk_button_new_with_label("1. Cool and settle");
  dark_ = gtk_button_new_with_label("2. Dark reference");
  flat_ = gtk_button_new_with_label("3. Flat reference");
  check_ = gtk_button_new_with_label("4. Check");
  save_ = gtk_button_new_with_label("Save mask file…");
  coolState_ = stepLabel(
      "Switches the cooler on and waits until the temperature stays within "
      "0.3 °C for 30 s.");
  darkState_ = stepLabel("Cap the lens, then take the dark reference.");
  flatState_ = stepLabel(
      "Light the sensor evenly (a diffuser, a flat field), then take the flat "
      "reference: the flat-field and defect-pixel filters are switched on.");
  checkState_ = stepLabel("Compares how even the image is before and after the correction.");
  GtkWidget* buttons[] = {cool_, dark_, flat_, check_, save_};
  GtkWidget* states[] = {coolState_, darkState_, flatState_, checkState_, stepLabel("")};
  for (int row = 0; row < static_cast<int>(std::size(buttons)); ++row) {
    gtk_widget_set_valign(buttons[row], GTK_ALIGN_START);
    gtk_grid_attach(GTK_GRID(box_), buttons[row], 0, row + 1, 1, 1);
    gtk_grid_attach(GTK_GRID(box_), states[row], 1, row + 1, 1, 1);
  }
  onSignal(cool_, "clicked", [this] { cool(); });
  onSignal(dark_, "clicked", [this] { takeReference(kDarkReference); });
  onSignal(flat_, "clicked", [this] { takeReference(kFlatReference); });
  onSignal(check_, "clicked", [this] { checkCorrection(); });
  onSignal(save_, "clicked", [this] { saveMask(); });
  gtk_widget_set_sensitive(box_, FALSE);
}

void CalibratePage::setStep(GtkWidget* label, const std::string& text) {
  gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

void CalibratePage::cameraChanged() {
  settling_ = false;
  samples_.clear();
  beforeCorrection_.reset();
  gtk_widget_set_sensitive(box_, camera_.isOpen());
}

void CalibratePage::cool() {
  const NivexaLong h = camera_.handle();
  if (Nivexa_SetPeltier(h, 1) == 0) {
    if (Nivexa_GetLastError(h) == NIVEXA_ERR_UNSUPPORTED) {
      setStep(coolState_, "This camera has no cooler: nothing to settle.");
    } else {
      setStep(coolState_, "The cooler could not be switched on (see the message above).");
      camera_.report("Switching the cooler on failed.");
    }
    return;
  }
  settling_ = true;
  samples_.clear();
  setStep(coolState_, "Cooling…");
}

void CalibratePage::everySecond() {
  if (!settling_) {
    return;
  }
  NivexaBool ok = 0;
  const double celsius = Nivexa_GetTemperatureEx(camera_.handle(), &ok);
  if (!ok) {
    settling_ = false;
    camera_.check(false, "Reading the temperature");
    return;
  }
  const double now = static_cast<double>(g_get_monotonic_time()) / kMicrosecondsPerSecond;
  samples_.push_back(TemperatureSample{now, celsius});
  char text[kLabelBytes];
  if (settled(samples_)) {
    settling_ = false;
    std::snprintf(text, sizeof text, "Settled at %.2f °C.", celsius);
  } else {
    std::snprintf(text, sizeof text, "Cooling: %.2f °C, %.0f s so far…", celsius,
                  now - samples_.front().seconds);
  }
  setStep(coolState_, text);
}

void CalibratePage::takeReference(NivexaLong kind) {
  const Frame* frame = shownFrame_();
  GtkWidget* state = kind == kDarkReference ? darkState_ : flatState_;
  const char* name = kind == kDarkReference ? "dark" : "flat";
  if (!camera_.check(Nivexa_UpdateMaskData(camera_.handle(), kind) != 0,
                     std::string("Taking the ") + name + " reference")) {
    setStep(state, "Not taken (see the message above).");
    return;
  }
  char text[kLabelBytes];
  if (frame != nullptr) {
    const Evenness evenness = evennessOf(frame->view());
    std::snprintf(text, sizeof text, "Taken: mean %.1f, spread %.2f %% of the mean.", evenness.mean,
                  evenness.relativeSpread * kPercent);
    if (kind == kFlatReference) {
      beforeCorrection_ = evenness;
    }
  } else {
    std::snprintf(text, sizeof text, "Taken.");
  }
  if (kind == kFlatReference) {
    const bool on = camera_.check(Nivexa_SetMaskFilter(camera_.handle(), 1) != 0,
                                  "Switching the flat-field filter on") &&
                    camera_.check(Nivexa_SetDotFilter(camera_.handle(), 1) != 0,
                                  "Switching the defect-pixel filter on");
    std::string line = text;
    line +=
        on ? " Flat-field and defect-pixel filters on." : " The filters could not be switched on.";
    setStep(state, line);
    return;
  }
  setStep(state, text);
}

void CalibratePage::checkCorrection() {
  const Frame* frame = shownFrame_();
  if (frame == nullptr) {
    setStep(checkState_, "There is no image to check.");
    return;
  }
  const Evenness now = evennessOf(frame->view());
  char text[kLabelBytes];
  if (beforeCorrection_) {
    std::snprintf(text, sizeof text,
                  "Spread %.2f %% of the mean before the correction, %.2f %% now (mean %.1f).",
                  beforeCorrection_->relativeSpread * kPercent, now.relativeSpread * kPercent,
                  now.mean);
  } else {
    std::snprintf(text, sizeof text,
                  "Spread %.2f %% of the mean (mean %.1f); take a flat "
                  "reference to compare.",
                  now.relativeSpread * kPercent, now.mean);
  }
  setStep(checkState_, text);
}

void CalibratePage::saveMask() {
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      "Save mask file", parent_, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
      "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), "camera.msk");
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    char* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (path != nullptr) {
      camera_.check(Nivexa_SaveMaskFile(camera_.handle(), path) != 0, "Saving the mask file");
      g_free(path);
    }
  }
  gtk_widget_destroy(chooser);
}

}  // namespace nivexa::viewer
