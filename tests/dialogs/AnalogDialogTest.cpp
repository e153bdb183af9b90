#include "dialogs/AnalogDialog.h"

#include "DialogTestSupport.h"
#include "dialogs/ExposureUnits.h"

namespace nivexa::dialogs::test {
namespace {

using namespace nivexa::camera;
using AnalogDialogTest = CameraDialogTest;

TEST_F(AnalogDialogTest, RangesAreTheEnginesAndChangesReachTheEngineAtOnce) {
  AnalogDialog dialog(*port_, Language::English);
  const IntLimits gain = port_->gainLimits();
  const Control& gainBar = dialog.control(0, ids::kGlobalGain[0]);
  EXPECT_EQ(gainBar.minimum, gain.minimum);
  EXPECT_EQ(gainBar.maximum, gain.maximum);
  const int32_t target = gain.minimum + (gain.maximum - gain.minimum) / 2;
  slide(dialog, 0, ids::kGlobalGain[0], target);
  EXPECT_EQ(filter(kFilterGlobalGain), target);
  enter(dialog, 0, ids::kGlobalGain[1], std::to_string(gain.maximum + 1));
  EXPECT_EQ(filter(kFilterGlobalGain), target) << "the engine's limit holds for typed values";
  EXPECT_EQ(shown(dialog, 0, ids::kGlobalGain[1]), std::to_string(target));

  const IntLimits exposure = port_->exposureLimits();
  enter(dialog, 0, ids::kExposure[1], std::to_string(exposure.minimum + 3));
  EXPECT_EQ(filter(kFilterExposureTime), exposure.minimum + 3);

  click(dialog, 0, ids::kMirrorV);
  EXPECT_EQ(camera_->GetMirrorV(), 1);
  click(dialog, 0, ids::kAutoIrisGain);
  click(dialog, 0, ids::kAutoIrisExposure);
  BOOL ok = 0;
  EXPECT_EQ(camera_->GetAutoIris(&ok), 1) << "exposure replaces gain";
  EXPECT_EQ(dialog.control(0, ids::kAutoIrisGain).value, 0);
  EXPECT_EQ(camera_->GetLastError(), 0u) << "nothing the dialog did was reported as an error";
}

TEST_F(AnalogDialogTest, CancelRestoresGainExposureMirrorsAndModes) {
  const int32_t gainBefore = filter(kFilterGlobalGain);
  const double secondsBefore = port_->exposureSeconds();
  const int32_t ticksBefore = filter(kFilterExposureTime);
  AnalogDialog dialog(*port_, Language::English);
  const IntLimits gain = port_->gainLimits();
  slide(dialog, 0, ids::kGlobalGain[0], gain.maximum);
  if (dialog.realTime()) {
    choose(dialog, 0, ids::kRealExposureUnit, 0);
    enter(
        dialog, 0, ids::kRealExposureEdit,
        formatTime(port_->secondsLimits()->minimum * 2, unitFor(port_->secondsLimits()->minimum)));
  } else {
    slide(dialog, 0, ids::kExposure[0], port_->exposureLimits().maximum);
  }
  ASSERT_NE(filter(kFilterExposureTime), ticksBefore);
  click(dialog, 0, ids::kMirrorH);
  if (port_->gainModeSupported()) {
    choose(dialog, 0, ids::kGainMode, 1);
    EXPECT_EQ(port_->gainMode(), 1);
  }
  EXPECT_TRUE(dialog.press(ids::kCancel));
  EXPECT_EQ(filter(kFilterGlobalGain), gainBefore);
  EXPECT_EQ(filter(kFilterExposureTime), ticksBefore);
  if (dialog.realTime()) {
    EXPECT_NEAR(port_->exposureSeconds(), secondsBefore, 1e-6);
  }
  EXPECT_EQ(camera_->GetMirrorH(), 0);
  if (port_->gainModeSupported()) {
    EXPECT_EQ(port_->gainMode(), 0);
  }
}

TEST_F(AnalogDialogTest, DefaultAppliesTheEngineDefaultsAndCooling) {
  AnalogDialog dialog(*port_, Language::English);
  const IntLimits gain = port_->gainLimits();
  slide(dialog, 0, ids::kGlobalGain[0],
        gain.maximum == gain.defaultValue ? gain.minimum : gain.maximum);
  if (port_->coolingSupported() && port_->cooling()) {
    click(dialog, 0, ids::kPeltier);
    ASSERT_FALSE(port_->cooling());
  }
  EXPECT_FALSE(dialog.press(ids::kDefault));
  EXPECT_EQ(filter(kFilterGlobalGain), gain.defaultValue);
  EXPECT_EQ(shown(dialog, 0, ids::kGlobalGain[1]), std::to_string(gain.defaultValue));
  if (port_->coolingSupported()) {
    EXPECT_TRUE(port_->cooling());
    EXPECT_EQ(dialog.control(0, ids::kPeltier).value, 1);
  }
  if (dialog.realTime()) {
    EXPECT_NEAR(port_->exposureSeconds(), port_->secondsLimits()->defaultValue, 1e-6);
  } else {
    EXPECT_EQ(filter(kFilterExposureTime), port_->exposureLimits().defaultValue);
  }
}

TEST_F(AnalogDialogTest, MonochromeSensorPageShowsItsRowsAndTheExposureInItsUnit) {
  ASSERT_FALSE(port_->colourSensor()) << "this product's sensor is monochrome";
  AnalogDialog dialog(*port_, Language::English);
  EXPECT_LT(dialog.find(0, ids::kColourGainR[0]), 0) << "no colour gain rows";
  for (int32_t id : {ids::kBlackLevel[0], ids::kPeltier, ids::kShortExposure, ids::kGainMode}) {
    EXPECT_GE(dialog.find(0, id), 0) << id;
  }
  EXPECT_EQ(dialog.control(0, ids::kPeltier).enabled, port_->coolingSupported());
  const std::optional<SecondsLimits> seconds = port_->secondsLimits();
  ASSERT_EQ(dialog.realTime(), seconds.has_value());
  if (!seconds) {
    EXPECT_FALSE(dialog.control(0, ids::kRealExposureEdit).visible);
    EXPECT_TRUE(dialog.control(0, ids::kExposure[0]).visible);
    return;
  }
  // Real time units: the lines trackbar and its millisecond text give way to the time row.
  EXPECT_FALSE(dialog.control(0, ids::kExposure[0]).visible);
  EXPECT_FALSE(dialog.control(0, ids::kExposureMsec).visible);
  EXPECT_EQ(shown(dialog, 0, ids::kRealExposureRange),
            formatRange(seconds->minimum, seconds->maximum, Language::English));
  const Control& units = dialog.control(0, ids::kRealExposureUnit);
  const std::vector<TimeUnit> spanned = unitsSpanning(seconds->minimum, seconds->maximum);
  ASSERT_EQ(units.items.size(), spanned.size());
  EXPECT_EQ(units.items.front(), unitName(spanned.front()));
  EXPECT_EQ(units.items.back(), unitName(spanned.back()));
  EXPECT_EQ(
      units.items[static_cast<size_t>(units.value)],
      unitName(std::clamp(unitFor(port_->exposureSeconds()), spanned.front(), spanned.back())));

  // A time typed in milliseconds reaches the engine in seconds, and the ticks follow.
  const auto ms = std::find(units.items.begin(), units.items.end(), "ms");
  ASSERT_NE(ms, units.items.end());
  choose(dialog, 0, ids::kRealExposureUnit, static_cast<int32_t>(ms - units.items.begin()));
  const double wanted = std::clamp(0.0125, seconds->minimum, seconds->maximum);
  enter(dialog, 0, ids::kRealExposureEdit, formatTime(wanted, TimeUnit::Milliseconds));
  EXPECT_NEAR(port_->exposureSeconds(), wanted, wanted * 0.01);
  EXPECT_EQ(shown(dialog, 0, ids::kRealExposureEdit),
            formatTime(port_->exposureSeconds(), TimeUnit::Milliseconds));
  // Outside the engine's range: refused, and the box shows what is in force.
  const double before = port_->exposureSeconds();
  enter(dialog, 0, ids::kRealExposureEdit, "1e9");
  EXPECT_DOUBLE_EQ(port_->exposureSeconds(), before);
  EXPECT_EQ(shown(dialog, 0, ids::kRealExposureEdit), formatTime(before, TimeUnit::Milliseconds));
}

}  // namespace
}  // namespace nivexa::dialogs::test
