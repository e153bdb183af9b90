#pragma once

// The viewer's window: the camera list and controls beside the live image, histogram and
// temperature plot, the calibration page, the status bar and the line that shows the library's
// errors. Frames are taken from the buffer queue on the window's frame clock, newest only.

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "CalibratePage.h"
#include "Camera.h"
#include "CameraList.h"
#include "Capture.h"
#include "Controls.h"
#include "FrameSource.h"
#include "HistogramView.h"
#include "LiveImage.h"
#include "Recorder.h"
#include "StatusBar.h"
#include "TemperaturePlot.h"

namespace nivexa::viewer {

class ViewerWindow {
 public:
  ViewerWindow();
  ~ViewerWindow();
  ViewerWindow(const ViewerWindow&) = delete;
  ViewerWindow& operator=(const ViewerWindow&) = delete;

  GtkWidget* window() const { return window_; }
  // Makes the camera handle, lists the cameras (asking for a virtual one when none is attached)
  // and opens the first; false when the library could not be used at all.
  bool start();
  // Stops the stream and lets the camera go; called when the window is destroyed.
  void shutdown();

  void openCamera(int number);
  void closeCamera();
  bool streaming() const { return frames_.running(); }

  // What the window shows, for the measurement and the tests.
  FrameCounts counts() const { return frames_.counts(); }
  int64_t longestStallUs() const { return longestStallUs_; }
  // The oldest a frame was (from its last byte to the tick that showed it): a display that fell
  // behind would show it growing.
  int64_t oldestShownUs() const { return oldestShownUs_; }
  void resetMeasurement() {
    longestStallUs_ = 0;
    oldestShownUs_ = 0;
  }
  std::string errorText() const;
  bool errorShown() const;
  Camera& camera() { return *camera_; }
  Controls& controls() { return *controls_; }
  Capture& capture() { return *capture_; }
  CameraList& cameraList() { return *list_; }
  CalibratePage& calibration() { return *calibration_; }
  LiveImage& liveImage() { return *live_; }
  void showPage(int page);

 private:
  void showError(const std::string& line);
  void startStream();
  void restartStream();
  void cameraLost();
  void readMessages();
  void everySecond();
  bool onTick();
  void onHeartbeat();

  GtkWidget* window_;
  GtkWidget* infoBar_;
  GtkWidget* infoLabel_;
  GtkWidget* notebook_;
  std::deque<std::string> errorLines_;
  std::unique_ptr<Camera> camera_;
  FrameSource frames_;
  Recorder recorder_;
  std::unique_ptr<CameraList> list_;
  std::unique_ptr<LiveImage> live_;
  std::unique_ptr<HistogramView> histogram_;
  std::unique_ptr<TemperaturePlot> temperature_;
  std::unique_ptr<Controls> controls_;
  std::unique_ptr<Capture> capture_;
  std::unique_ptr<StatusBar> status_;
  std::unique_ptr<CalibratePage> calibration_;
  Frame incoming_;
  guint tickId_ = 0;
  guint secondId_ = 0;
  guint heartbeatId_ = 0;
  guint sinkWatch_ = 0;
  int64_t lastHeartbeatUs_ = 0;
  int64_t longestStallUs_ = 0;
  int64_t oldestShownUs_ = 0;
  bool shutDown_ = false;
};

}  // namespace nivexa::viewer
