#pragma once

// The list of cameras, kept in step with arrival and removal notices, and the buttons that open
// and close one.

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "Camera.h"

namespace nivexa::viewer {

class CameraList {
 public:
  CameraList(Camera& camera, std::function<void(int)> onOpen, std::function<void()> onClose);
  GtkWidget* widget() const { return box_; }
  // Lists the cameras afresh and marks the open one.
  void refresh();
  void setVirtual(bool isVirtual);
  const std::vector<std::string>& names() const { return names_; }

 private:
  int selected() const;

  Camera& camera_;
  GtkWidget* box_;
  GtkListStore* store_;
  GtkWidget* view_;
  GtkWidget* virtualNote_;
  std::vector<std::string> names_;
};

}  // namespace nivexa::viewer
