#pragma once

#include <cstdint>
#include <vector>

#include "dialogs/CameraPort.h"
#include "dialogs/DialogModel.h"
#include "settings/StreamSettings.h"

namespace nivexa::dialogs {

// The stream-format dialog: colour mode, capture size (the camera position's size sets, or a
// custom one), subsampling, wait time and clock, stored for the camera position on Apply and OK.
// A running preview is stopped, and a capture paused, for as long as the dialog exists; OK makes
// the camera object load the stored values before they resume.
class StreamDialog : public DialogModel {
 public:
  StreamDialog(CameraPort& camera, Language language);
  ~StreamDialog() override;

  int32_t page() const { return 0; }
  // The size sets the dialog offers (and stores), in combo order before "Custom".
  const std::vector<settings::GeometrySettings>& sizes() const { return sizes_; }

 private:
  void buildPage();
  void fillColourModes();
  void fillSizes();
  void showGeometry(const settings::GeometrySettings& geometry);
  void chooseSize(int32_t item);
  void chooseSubSample(int32_t item);
  void changed();
  bool readGeometry(settings::GeometrySettings& geometry);
  bool store();
  void applySubSampleState();
  bool onOk() override;
  void onApply() override;

  CameraPort& camera_;
  int32_t position_ = 0;
  int32_t paused_ = 0;
  settings::StreamSettings stream_;
  std::vector<settings::GeometrySettings> sizes_;
  std::vector<int32_t> colourModes_;  // the colour mode of each entry of the colour combo
};

}  // namespace nivexa::dialogs
