#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "dialogs/CameraPort.h"
#include "dialogs/DialogModel.h"

namespace nivexa::dialogs {

// The image dialog: the image-filter page, and for monochrome colour modes the gray-filter page.
// Every control writes straight into the camera's processing values; Cancel puts back the values
// the dialog found.
class ImageDialog : public DialogModel {
 public:
  ImageDialog(CameraPort& camera, Language language);

  int32_t imagePage() const { return 0; }
  // -1 when the colour mode is a colour one.
  int32_t grayPage() const { return grayPage_; }
  bool poll() override;

 private:
  void buildImagePage();
  void buildGrayPage();
  void reload();
  void addBayerRadios(int32_t page, int32_t x, int32_t y, int32_t columns);
  bool onOk() override;
  void onCancel() override;
  void onDefault() override;

  CameraPort& camera_;
  bool colour_ = false;
  int32_t grayPage_ = -1;
  // The values found at opening, by filter id, restored by Cancel.
  std::vector<std::pair<int32_t, int32_t>> saved_;
  std::vector<int32_t> groups_;
  bool whiteBalanceOnce_ = false;  // "Once" of automatic white balance clicked
};

}  // namespace nivexa::dialogs
