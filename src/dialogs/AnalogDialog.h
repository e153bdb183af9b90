#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "dialogs/CameraPort.h"
#include "dialogs/DialogModel.h"
#include "dialogs/ExposureUnits.h"

namespace nivexa::dialogs {

// The analog dialog: gain, colour gains, exposure (in ticks, or in real time units when the
// camera works in seconds), black level, auto iris, mirrors, cooling, short exposure and gain
// mode. Every change goes to the camera at once; Cancel restores what the dialog found.
class AnalogDialog : public DialogModel {
 public:
  AnalogDialog(CameraPort& camera, Language language);

  int32_t page() const { return 0; }
  bool realTime() const { return seconds_.has_value(); }
  bool poll() override;

 private:
  struct Saved {
    int32_t gain = 0;
    std::array<int32_t, 4> colourGains{};
    int32_t exposureTicks = 0;
    double exposureSeconds = 0.0;
    int32_t blackLevel = 0;
    bool mirrorV = false;
    bool mirrorH = false;
    int32_t autoIris = 0;
    bool cooling = false;
    bool shortExposure = false;
    int32_t gainMode = 0;
  };

  int32_t addRow(const int32_t (&ids)[3], Text label, int32_t y, std::function<int32_t()> read,
                 std::function<bool(int32_t)> write);
  void buildRealTimeRow(int32_t y);
  void buildSwitches(int32_t y);
  void reload();
  void showRealTime();
  void chooseUnit(int32_t item);
  void commitRealTime();
  void restore(const Saved& values);
  void onCancel() override;
  void onDefault() override;

  CameraPort& camera_;
  bool colourPage_ = false;
  std::optional<SecondsLimits> seconds_;
  std::vector<TimeUnit> units_;
  TimeUnit unit_ = TimeUnit::Milliseconds;
  Saved saved_;
  std::vector<int32_t> groups_;
  int32_t exposureGroup_ = -1;
};

}  // namespace nivexa::dialogs
