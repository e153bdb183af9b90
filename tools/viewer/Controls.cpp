#include "Controls.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kSpacing = 4;
// The exposure slider runs over log10 of the seconds, so that short exposures get room.
constexpr double kSliderSteps = 1000.0;
constexpr int kExposureDigits = 4;
constexpr double kExposureStep = 0.0001;
constexpr double kBlackLevelMax = 255.0;
constexpr int kDepthEntries[] = {8, 16};
constexpr const char* kDepthNames[] = {"8 bits", "16 bits (12 significant)"};
constexpr int kInfoBytesAll = 56;

GtkWidget* label(const char* text) {
  GtkWidget* widget = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
  return widget;
}
}  // namespace

Controls::Controls(Camera& camera, std::function<void()> restartStream)
    : camera_(camera), restartStream_(std::move(restartStream)) {
  grid_ = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid_), kSpacing);
  gtk_grid_set_column_spacing(GTK_GRID(grid_), kSpacing * 2);
  int row = 0;

  exposureSlider_ = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, kSliderSteps, 1);
  gtk_scale_set_draw_value(GTK_SCALE(exposureSlider_), FALSE);
  gtk_widget_set_hexpand(exposureSlider_, TRUE);
  exposureField_ = gtk_spin_button_new_with_range(0, 1, kExposureStep);
  gtk_widget_set_name(exposureField_, "exposure-seconds");
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(exposureField_), kExposureDigits);
  gtk_grid_attach(GTK_GRID(grid_), label("Exposure (s)"), 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), exposureField_, 1, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), exposureSlider_, 0, row++, 2, 1);

  gain_ = gtk_spin_button_new_with_range(0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), label("Gain"), 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), gain_, 1, row++, 1, 1);

  blackLevel_ = gtk_spin_button_new_with_range(0, kBlackLevelMax, 1);
  gtk_grid_attach(GTK_GRID(grid_), label("Black level"), 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), blackLevel_, 1, row++, 1, 1);

  depth_ = gtk_combo_box_text_new();
  for (const char* name : kDepthNames) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(depth_), name);
  }
  gtk_grid_attach(GTK_GRID(grid_), label("Output depth"), 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), depth_, 1, row++, 1, 1);

  mirrorH_ = gtk_check_button_new_with_label("Mirror left-right");
  mirrorV_ = gtk_check_button_new_with_label("Mirror top-bottom");
  gtk_grid_attach(GTK_GRID(grid_), mirrorH_, 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), mirrorV_, 1, row++, 1, 1);

  cooler_ = gtk_switch_new();
  gtk_widget_set_halign(cooler_, GTK_ALIGN_START);
  gtk_grid_attach(GTK_GRID(grid_), label("Cooler"), 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), cooler_, 1, row++, 1, 1);

  GtkWidget* dialogs = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing);
  GtkWidget* streamDialog = gtk_button_new_with_label("Stream…");
  GtkWidget* imageDialog = gtk_button_new_with_label("Image…");
  GtkWidget* analogDialog = gtk_button_new_with_label("Camera…");
  gtk_box_pack_start(GTK_BOX(dialogs), streamDialog, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(dialogs), imageDialog, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(dialogs), analogDialog, TRUE, TRUE, 0);
  gtk_grid_attach(GTK_GRID(grid_), dialogs, 0, row++, 2, 1);

  onSignal(exposureSlider_, "value-changed", [this] {
    if (!loading_) {
      setExposure(sliderToSeconds(gtk_range_get_value(GTK_RANGE(exposureSlider_))));
    }
  });
  onSignal(exposureField_, "value-changed", [this] {
    if (!loading_) {
      setExposure(gtk_spin_button_get_value(GTK_SPIN_BUTTON(exposureField_)));
    }
  });
  onSignal(gain_, "value-changed", [this] {
    if (!loading_) {
      const auto value =
          static_cast<NivexaLong>(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(gain_)));
      camera_.check(Nivexa_SetGlobalGain(camera_.handle(), value) != 0, "Setting the gain");
    }
  });
  onSignal(blackLevel_, "value-changed", [this] {
    if (!loading_) {
      const auto value =
          static_cast<NivexaLong>(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(blackLevel_)));
      camera_.check(Nivexa_SetFilterValue(camera_.handle(), NIVEXA_FILTER_BLACK_LEVEL, value) != 0,
                    "Setting the black level");
    }
  });
  onSignal(depth_, "changed", [this] {
    const int entry = gtk_combo_box_get_active(GTK_COMBO_BOX(depth_));
    if (!loading_ && entry >= 0) {
      if (camera_.check(Nivexa_SetColorMode(camera_.handle(), kDepthEntries[entry]) != 0,
                        "Setting the output depth")) {
        restartStream_();
      }
    }
  });
  onSignal(mirrorH_, "toggled", [this] {
    if (!loading_) {
      camera_.check(Nivexa_SetMirrorH(camera_.handle(), gtk_toggle_button_get_active(
                                                            GTK_TOGGLE_BUTTON(mirrorH_))) != 0,
                    "Mirroring left to right");
    }
  });
  onSignal(mirrorV_, "toggled", [this] {
    if (!loading_) {
      camera_.check(Nivexa_SetMirrorV(camera_.handle(), gtk_toggle_button_get_active(
                                                            GTK_TOGGLE_BUTTON(mirrorV_))) != 0,
                    "Mirroring top to bottom");
    }
  });
  connect<GParamSpec*>(cooler_, "notify::active", [this](GParamSpec*) {
    if (!loading_) {
      camera_.check(
          Nivexa_SetPeltier(camera_.handle(), gtk_switch_get_active(GTK_SWITCH(cooler_))) != 0,
          "Switching the cooler");
    }
  });
  // The dialogs are modal and change settings behind the viewer's back: read them all again.
  auto runDialog = [this](NivexaBool (*dialog)(NivexaLong, NivexaWindow), const char* what) {
    camera_.check(dialog(camera_.handle(), nullptr) != 0, what);
    restartStream_();
    load();
  };
  onSignal(streamDialog, "clicked",
           [runDialog] { runDialog(Nivexa_SetCameraDlg, "Opening the stream dialog"); });
  onSignal(imageDialog, "clicked",
           [runDialog] { runDialog(Nivexa_SetImageDlg, "Opening the image dialog"); });
  onSignal(analogDialog, "clicked",
           [runDialog] { runDialog(Nivexa_SetAnalogDlg, "Opening the camera dialog"); });
  setSensitive(false);
}

double Controls::sliderToSeconds(double position) const {
  const double low = std::log10(exposureMin_);
  const double high = std::log10(exposureMax_);
  return std::pow(10.0, low + (high - low) * position / kSliderSteps);
}

double Controls::secondsToSlider(double seconds) const {
  const double low = std::log10(exposureMin_);
  const double high = std::log10(exposureMax_);
  return (std::log10(std::clamp(seconds, exposureMin_, exposureMax_)) - low) / (high - low) *
         kSliderSteps;
}

void Controls::setExposure(double seconds) {
  camera_.check(Nivexa_SetExposureTimeEx(camera_.handle(), seconds) != 0, "Setting the exposure");
  NivexaBool ok = 0;
  const double now = Nivexa_GetExposureTimeEx(camera_.handle(), &ok);
  if (ok) {
    loading_ = true;
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(exposureField_), now);
    gtk_range_set_value(GTK_RANGE(exposureSlider_), secondsToSlider(now));
    loading_ = false;
  }
}

void Controls::load() {
  const NivexaLong h = camera_.handle();
  loading_ = true;
  NivexaCameraInfo info{};
  info.size = kInfoBytesAll;
  if (camera_.check(Nivexa_GetCameraInfo(h, &info) != 0, "Reading the camera's ranges")) {
    exposureMin_ = info.exposureSecondsMin > 0 ? info.exposureSecondsMin : kExposureStep;
    exposureMax_ = std::max(info.exposureSecondsMax, exposureMin_ * 2);
    gtk_spin_button_set_range(GTK_SPIN_BUTTON(exposureField_), exposureMin_, exposureMax_);
    gtk_spin_button_set_range(GTK_SPIN_BUTTON(gain_), info.globalGainMin, info.globalGainMax);
  }
  NivexaBool ok = 0;
  const double seconds = Nivexa_GetExposureTimeEx(h, &ok);
  if (ok) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(exposureField_), seconds);
    gtk_range_set_value(GTK_RANGE(exposureSlider_), secondsToSlider(seconds));
  }
  const NivexaLong gain = Nivexa_GetGlobalGain(h, &ok);
  if (ok) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(gain_), gain);
  }
  const NivexaLong black = Nivexa_GetFilterValue(h, NIVEXA_FILTER_BLACK_LEVEL, &ok);
  if (ok) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(blackLevel_), black);
  }
  const NivexaLong depth = Nivexa_GetColorMode(h);
  gtk_combo_box_set_active(GTK_COMBO_BOX(depth_), depth == kDepthEntries[1] ? 1 : 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(mirrorH_), Nivexa_GetMirrorH(h) == 1);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(mirrorV_), Nivexa_GetMirrorV(h) == 1);
  const NivexaLong cooler = Nivexa_GetPeltier(h, &ok);
  gtk_switch_set_active(GTK_SWITCH(cooler_), ok && cooler == 1);
  // Reading the black level records code 0; nothing above is an error the user must see.
  while (Nivexa_GetLastError(h) != 0) {
  }
  loading_ = false;
  setSensitive(true);
}

}  // namespace nivexa::viewer
