#pragma once

// Snapshot of the frame shown into a file of one of the SDK's types, and recording of the stream
// with its elapsed time and file size.

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "Camera.h"
#include "FrameSource.h"
#include "Recorder.h"

namespace nivexa::viewer {

// The SDK's file types, in the order of Nivexa_SaveImage's type numbers that have a format of
// their own.
enum class SnapshotType { kBmp, kRaw, kJpeg, kPng, kTiff };
// The type a file name's extension asks for; PNG when it names none of them.
SnapshotType snapshotTypeOf(const std::string& path);
// Writes the camera's newest processed frame to path as type through the library's own writers,
// at the stream's depth (a 16-bit frame keeps its 12 significant bits in PNG and TIFF); false
// when it could not be written.
bool writeSnapshot(NivexaLong h, const std::string& path, SnapshotType type);

class Capture {
 public:
  Capture(Camera& camera, Recorder& recorder, GtkWindow* parent,
          std::function<const Frame*()> shownFrame);
  GtkWidget* widget() const { return box_; }
  // Shows the recording's elapsed time and size; called a few times a second.
  void tick();
  // Stops a recording (the stream is going away).
  void stopRecording();
  GtkWidget* snapshotButton() const { return snapshot_; }
  GtkWidget* recordButton() const { return record_; }
  // The open file chooser, or nullptr.
  GtkWidget* chooser() const { return chooser_; }
  const std::string& lastSnapshot() const { return lastSnapshot_; }
  const Recorder& recorder() const { return recorder_; }

 private:
  void chooseFile(const char* title, bool forSnapshot);
  void snapshotTo(const std::string& path);
  void recordTo(const std::string& path);

  Camera& camera_;
  Recorder& recorder_;
  GtkWindow* parent_;
  std::function<const Frame*()> shownFrame_;
  GtkWidget* box_;
  GtkWidget* snapshot_;
  GtkWidget* record_;
  GtkWidget* recordLabel_;
  GtkWidget* chooser_ = nullptr;
  std::string lastSnapshot_;
  bool settingRecordButton_ = false;
};

}  // namespace nivexa::viewer
