#include "ViewerWindow.h"

#include <glib-unix.h>

#include <algorithm>

#include "ErrorText.h"
#include "Signals.h"

namespace nivexa::viewer {

namespace {
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 900;
constexpr int kSpacing = 6;
constexpr int kSidebarWidth = 300;
constexpr size_t kErrorLinesShown = 3;
constexpr guint kSecondMs = 1000;
// The main loop's pulse: a gap between two beats longer than this is time the loop was busy.
constexpr guint kHeartbeatMs = 10;
constexpr int64_t kMicrosecondsPerMillisecond = 1000;
constexpr uint64_t kNanosecondsPerMicrosecond = 1000;
constexpr int32_t kStreamFlags = NIVEXA_STREAM_PROCESSED;
enum Page { kLivePage, kCalibratePage };

GtkWidget* framed(const char* title, GtkWidget* child) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_set_border_width(GTK_CONTAINER(child), kSpacing);
  gtk_container_add(GTK_CONTAINER(frame), child);
  return frame;
}
}  // namespace

ViewerWindow::ViewerWindow() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Nivexa Viewer");
  gtk_window_set_default_size(GTK_WINDOW(window_), kDefaultWidth, kDefaultHeight);
  camera_ = std::make_unique<Camera>([this](const std::string& line) { showError(line); });

  GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  infoBar_ = gtk_info_bar_new();
  gtk_widget_set_name(infoBar_, "errors");
  gtk_info_bar_set_message_type(GTK_INFO_BAR(infoBar_), GTK_MESSAGE_ERROR);
  gtk_info_bar_set_show_close_button(GTK_INFO_BAR(infoBar_), TRUE);
  infoLabel_ = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(infoLabel_), 0.0f);
  gtk_label_set_line_wrap(GTK_LABEL(infoLabel_), TRUE);
  gtk_container_add(GTK_CONTAINER(gtk_info_bar_get_content_area(GTK_INFO_BAR(infoBar_))),
                    infoLabel_);
  gtk_widget_set_no_show_all(infoBar_, TRUE);
  gtk_widget_show(infoLabel_);
  connect<int>(infoBar_, "response", [this](int) {
    errorLines_.clear();
    gtk_widget_hide(infoBar_);
  });
  gtk_box_pack_start(GTK_BOX(outer), infoBar_, FALSE, FALSE, 0);

  list_ = std::make_unique<CameraList>(
      *camera_, [this](int number) { openCamera(number); }, [this] { closeCamera(); });
  controls_ = std::make_unique<Controls>(*camera_, [this] { restartStream(); });
  live_ = std::make_unique<LiveImage>();
  histogram_ = std::make_unique<HistogramView>();
  temperature_ = std::make_unique<TemperaturePlot>(*camera_);
  capture_ = std::make_unique<Capture>(
      *camera_, recorder_, GTK_WINDOW(window_),
      [this]() -> const Frame* { return live_->hasFrame() ? &live_->frame() : nullptr; });
  status_ = std::make_unique<StatusBar>();
  calibration_ = std::make_unique<CalibratePage>(
      *camera_,
      [this] {
        capture_->stopRecording();
        frames_.stop();
      },
      [this] {
        // The steps leave the camera at 16 bits and the filters on: show what they left.
        if (camera_ && camera_->isOpen()) {
          controls_->load();
          startStream();
        }
      });

  GtkWidget* sidebar = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  gtk_widget_set_size_request(sidebar, kSidebarWidth, -1);
  // The exposure slider asks to expand; the sidebar keeps its width and the image takes the rest.
  gtk_widget_set_hexpand(sidebar, FALSE);
  gtk_box_pack_start(GTK_BOX(sidebar), framed("Cameras", list_->widget()), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(sidebar), framed("Settings", controls_->widget()), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(sidebar), framed("Capture", capture_->widget()), FALSE, FALSE, 0);

  GtkWidget* plots = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  gtk_box_pack_start(GTK_BOX(plots), histogram_->widget(), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(plots), temperature_->widget(), FALSE, FALSE, 0);

  GtkWidget* livePage = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing);
  gtk_container_set_border_width(GTK_CONTAINER(livePage), kSpacing);
  gtk_box_pack_start(GTK_BOX(livePage), live_->widget(), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(livePage), plots, FALSE, FALSE, 0);

  notebook_ = gtk_notebook_new();
  gtk_notebook_append_page(GTK_NOTEBOOK(notebook_), livePage, gtk_label_new_with_mnemonic("_Live"));
  gtk_notebook_append_page(GTK_NOTEBOOK(notebook_), calibration_->widget(),
                           gtk_label_new_with_mnemonic("_Calibrate"));

  GtkWidget* body = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing);
  gtk_container_set_border_width(GTK_CONTAINER(body), kSpacing);
  gtk_box_pack_start(GTK_BOX(body), sidebar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body), notebook_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(outer), body, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(outer), status_->widget(), FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window_), outer);

  onSignal(window_, "destroy", [this] { shutdown(); });
  tickId_ = gtk_widget_add_tick_callback(
      window_,
      +[](GtkWidget*, GdkFrameClock*, gpointer self) -> gboolean {
        return static_cast<ViewerWindow*>(self)->onTick() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
      },
      this, nullptr);
  secondId_ = g_timeout_add(
      kSecondMs,
      +[](gpointer self) -> gboolean {
        static_cast<ViewerWindow*>(self)->everySecond();
        return G_SOURCE_CONTINUE;
      },
      this);
  heartbeatId_ = g_timeout_add(
      kHeartbeatMs,
      +[](gpointer self) -> gboolean {
        static_cast<ViewerWindow*>(self)->onHeartbeat();
        return G_SOURCE_CONTINUE;
      },
      this);
}

ViewerWindow::~ViewerWindow() {
  if (!shutDown_) {
    gtk_widget_destroy(window_);
  }
}

bool ViewerWindow::start() {
  if (!camera_->initialize()) {
    return false;
  }
  sinkWatch_ = g_unix_fd_add(
      NivexaMsg_Fd(camera_->sink()), G_IO_IN,
      +[](gint, GIOCondition, gpointer self) -> gboolean {
        static_cast<ViewerWindow*>(self)->readMessages();
        return G_SOURCE_CONTINUE;
      },
      this);
  list_->refresh();
  if (list_->names().empty() && camera_->fallBackToVirtual()) {
    list_->refresh();
    list_->setVirtual(!list_->names().empty());
  }
  if (list_->names().empty()) {
    showError("No camera is attached. The list follows cameras as they are plugged in.");
  } else {
    openCamera(0);
  }
  gtk_widget_show_all(window_);
  return true;
}

void ViewerWindow::shutdown() {
  if (shutDown_) {
    return;
  }
  shutDown_ = true;
  for (guint* source : {&secondId_, &heartbeatId_, &sinkWatch_}) {
    if (*source != 0) {
      g_source_remove(*source);
      *source = 0;
    }
  }
  if (tickId_ != 0) {
    gtk_widget_remove_tick_callback(window_, tickId_);
    tickId_ = 0;
  }
  calibration_->shutdown();
  capture_->stopRecording();
  frames_.setTap(nullptr);
  frames_.stop();
  camera_.reset();
}

void ViewerWindow::showPage(int page) {
  gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook_), page);
}

void ViewerWindow::showError(const std::string& line) {
  if (!errorLines_.empty() && errorLines_.back() == line) {
    return;
  }
  errorLines_.push_back(line);
  while (errorLines_.size() > kErrorLinesShown) {
    errorLines_.pop_front();
  }
  std::string text;
  for (const std::string& shown : errorLines_) {
    text += (text.empty() ? "" : "\n") + shown;
  }
  gtk_label_set_text(GTK_LABEL(infoLabel_), text.c_str());
  gtk_widget_show(infoBar_);
}

std::string ViewerWindow::errorText() const {
  return gtk_label_get_text(GTK_LABEL(infoLabel_));
}

bool ViewerWindow::errorShown() const {
  return gtk_widget_get_visible(infoBar_);
}

void ViewerWindow::openCamera(int number) {
  if ((camera_->openNumber() == number && frames_.running()) || calibration_->busy()) {
    return;
  }
  capture_->stopRecording();
  frames_.stop();
  temperature_->clear();
  if (!camera_->open(number)) {
    list_->refresh();
    controls_->setSensitive(false);
    return;
  }
  controls_->load();
  startStream();
  list_->refresh();
  calibration_->cameraChanged();
}

void ViewerWindow::closeCamera() {
  if (calibration_->busy()) {
    return;
  }
  capture_->stopRecording();
  frames_.stop();
  camera_->close();
  controls_->setSensitive(false);
  live_->clear();
  temperature_->clear();
  status_->update(nullptr, {});
  list_->refresh();
  calibration_->cameraChanged();
}

void ViewerWindow::startStream() {
  frames_.setTap([this](const NivexaBuffer& buffer) { recorder_.write(buffer); });
  camera_->check(frames_.start(camera_->handle(), kStreamFlags), "Starting the stream");
}

void ViewerWindow::restartStream() {
  if (!camera_->isOpen() || calibration_->busy()) {
    return;
  }
  capture_->stopRecording();
  frames_.stop();
  startStream();
}

void ViewerWindow::cameraLost() {
  capture_->stopRecording();
  frames_.stop();
  camera_->lost();
  controls_->setSensitive(false);
  status_->update(nullptr, {});
  list_->refresh();
  calibration_->cameraChanged();
}

void ViewerWindow::readMessages() {
  NivexaMsg message{};
  while (camera_ && NivexaMsg_Get(camera_->sink(), &message, 0) != 0) {
    if (message.message == NIVEXA_WM_DEVICECHANGE) {
      const bool wasOpen = camera_->isOpen();
      list_->refresh();
      if (message.wParam == NIVEXA_DBT_DEVICEARRIVAL && !wasOpen && !list_->names().empty()) {
        openCamera(0);
      }
    } else if (message.message == NIVEXA_WM_ERROR && message.lParam != 0) {
      showError("Camera " + describeError(static_cast<int32_t>(message.lParam)) + ".");
    } else if (message.message == NIVEXA_WM_FRAME && message.lParam == NIVEXA_ERR_STREAM_LOST) {
      showError("The camera stopped delivering frames: " + describeError(NIVEXA_ERR_STREAM_LOST) +
                ".");
      if (frames_.running()) {
        cameraLost();
      }
    }
  }
}

void ViewerWindow::everySecond() {
  if (!camera_->isOpen()) {
    return;
  }
  temperature_->sample();
  if (frames_.running()) {
    NivexaStreamStatistics statistics{};
    NivexaStream_GetStatistics(camera_->handle(), &statistics);
    status_->update(&statistics, frames_.counts());
  }
}

bool ViewerWindow::onTick() {
  if (frames_.failed()) {
    showError("The camera stopped delivering frames: " + describeError(NIVEXA_ERR_STREAM_LOST) +
              ".");
    cameraLost();
  }
  if (frames_.running() && frames_.takeNewest(incoming_)) {
    // Both clocks are the monotonic clock; GLib counts microseconds.
    const int64_t ageUs = g_get_monotonic_time() -
                          static_cast<int64_t>(incoming_.timestampNs / kNanosecondsPerMicrosecond);
    oldestShownUs_ = std::max(oldestShownUs_, ageUs);
    live_->show(incoming_);
    histogram_->update(live_->frame().view());
  }
  capture_->tick();
  return true;
}

void ViewerWindow::onHeartbeat() {
  const int64_t now = g_get_monotonic_time();
  if (lastHeartbeatUs_ != 0) {
    longestStallUs_ = std::max(longestStallUs_,
                               now - lastHeartbeatUs_ - kHeartbeatMs * kMicrosecondsPerMillisecond);
  }
  lastHeartbeatUs_ = now;
}

}  // namespace nivexa::viewer
