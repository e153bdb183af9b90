#include "Capture.h"

#include <array>
#include <cstdio>

#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kSpacing = 4;
constexpr int kLabelBytes = 120;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

struct TypeInfo {
  SnapshotType type;
  const char* name;
  const char* pattern;
  const char* extension;
  NivexaLong fileType;  // Nivexa_SaveImage's number for it
};
// JPEG at the best of its three qualities: a snapshot is kept for looking at closely.
constexpr std::array<TypeInfo, 5> kTypes{{
    {SnapshotType::kBmp, "BMP", "*.bmp", ".bmp", 0},
    {SnapshotType::kRaw, "Raw pixels", "*.raw", ".raw", 1},
    {SnapshotType::kJpeg, "JPEG", "*.jpg", ".jpg", 2},
    {SnapshotType::kPng, "PNG", "*.png", ".png", 5},
    {SnapshotType::kTiff, "TIFF", "*.tif", ".tif", 6},
}};

bool endsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) {
    return false;
  }
  return g_ascii_strcasecmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}
}  // namespace

SnapshotType snapshotTypeOf(const std::string& path) {
  for (const TypeInfo& info : kTypes) {
    if (endsWith(path, info.extension)) {
      return info.type;
    }
  }
  if (endsWith(path, ".jpeg")) {
    return SnapshotType::kJpeg;
  }
  if (endsWith(path, ".tiff")) {
    return SnapshotType::kTiff;
  }
  return SnapshotType::kPng;
}

bool writeSnapshot(NivexaLong h, const std::string& path, SnapshotType type) {
  return Nivexa_SaveImage(h, path.c_str(), kTypes[static_cast<size_t>(type)].fileType) != 0;
}

Capture::Capture(Camera& camera, Recorder& recorder, GtkWindow* parent,
                 std::function<const Frame*()> shownFrame)
    : camera_(camera), recorder_(recorder), parent_(parent), shownFrame_(std::move(shownFrame)) {
  box_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing);
  snapshot_ = gtk_button_new_with_label("Snapshot…");
  gtk_widget_set_name(snapshot_, "snapshot");
  record_ = gtk_toggle_button_new_with_label("Record");
  gtk_widget_set_name(record_, "record");
  recordLabel_ = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(box_), snapshot_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), record_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), recordLabel_, FALSE, FALSE, 0);
  onSignal(snapshot_, "clicked", [this] { chooseFile("Save snapshot", true); });
  onSignal(record_, "toggled", [this] {
    if (settingRecordButton_) {
      return;
    }
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(record_))) {
      chooseFile("Record to raw file", false);
    } else {
      stopRecording();
    }
  });
}

void Capture::chooseFile(const char* title, bool forSnapshot) {
  if (chooser_ != nullptr) {
    gtk_window_present(GTK_WINDOW(chooser_));
    return;
  }
  chooser_ =
      gtk_file_chooser_dialog_new(title, parent_, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel",
                                  GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser_), TRUE);
  if (forSnapshot) {
    for (const TypeInfo& info : kTypes) {
      GtkFileFilter* filter = gtk_file_filter_new();
      gtk_file_filter_set_name(filter,
                               (std::string(info.name) + " (" + info.pattern + ")").c_str());
      gtk_file_filter_add_pattern(filter, info.pattern);
      gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser_), filter);
      if (info.type == SnapshotType::kPng) {
        gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser_), filter);
      }
    }
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser_), "snapshot.png");
  } else {
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser_), "recording.avi");
  }
  connect<int>(chooser_, "response", [this, forSnapshot](int response) {
    std::string path;
    if (response == GTK_RESPONSE_ACCEPT) {
      char* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser_));
      if (chosen != nullptr) {
        path = chosen;
        g_free(chosen);
      }
    }
    gtk_widget_destroy(chooser_);
    chooser_ = nullptr;
    if (forSnapshot) {
      if (!path.empty()) {
        snapshotTo(path);
      }
    } else if (path.empty()) {
      settingRecordButton_ = true;
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(record_), FALSE);
      settingRecordButton_ = false;
    } else {
      recordTo(path);
    }
  });
  gtk_widget_show_all(chooser_);
}

void Capture::snapshotTo(const std::string& path) {
  const Frame* frame = shownFrame_();
  if (frame == nullptr) {
    camera_.report("Snapshot: there is no image yet.");
    return;
  }
  if (!writeSnapshot(camera_.handle(), path, snapshotTypeOf(path))) {
    camera_.report("Snapshot: " + path + " could not be written.");
    return;
  }
  lastSnapshot_ = path;
}

void Capture::recordTo(const std::string& path) {
  if (!recorder_.start(camera_.handle(), path)) {
    camera_.report("Recording: " + path + " could not be opened.");
    settingRecordButton_ = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(record_), FALSE);
    settingRecordButton_ = false;
  }
}

void Capture::stopRecording() {
  recorder_.stop();
  if (recorder_.writeFailed()) {
    camera_.report("Recording: writing " + recorder_.path() + " failed.");
  }
  settingRecordButton_ = true;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(record_), FALSE);
  settingRecordButton_ = false;
}

void Capture::tick() {
  if (!recorder_.recording() && recorder_.frames() == 0) {
    return;
  }
  char text[kLabelBytes];
  std::snprintf(text, sizeof text, "%s %.1f s, %llu frames, %.1f MB",
                recorder_.recording() ? "Recording" : "Recorded", recorder_.elapsedSeconds(),
                static_cast<unsigned long long>(recorder_.frames()),
                static_cast<double>(recorder_.bytes()) / kBytesPerMegabyte);
  gtk_label_set_text(GTK_LABEL(recordLabel_), text);
}

}  // namespace nivexa::viewer
