#include "dialogs/StreamDialog.h"

#include "DialogTestSupport.h"
#include "platform/Registry.h"
#include "settings/Layout.h"
#include "settings/SizeSet.h"
#include "settings/StoredValues.h"
#include "settings/StreamSettings.h"

namespace nivexa::dialogs::test {
namespace {

using namespace nivexa::camera;
using StreamDialogTest = CameraDialogTest;

std::vector<std::string> items(const DialogModel& dialog, int32_t id) {
  return dialog.control(0, id).items;
}

TEST_F(StreamDialogTest, ListsWhatTheCameraOffersAndItsStoredSizes) {
  StreamDialog dialog(*port_, Language::English);
  // This product's sensor: monochrome, 8 and 16 bits.
  EXPECT_EQ(items(dialog, ids::kColorCombo),
            (std::vector<std::string>{"Monochrome 8bit", "Monochrome 12bit *"}));
  EXPECT_EQ(items(dialog, ids::kSizeCombo), (std::vector<std::string>{"2048 x 1536", "Custom"}));
  EXPECT_EQ(dialog.control(0, ids::kSizeCombo).value, 0);
  EXPECT_EQ(items(dialog, ids::kSubSampleCombo), (std::vector<std::string>{"1/1", "1/2 Skip"}));
  const Control& clock = dialog.control(0, ids::kClockCombo);
  EXPECT_EQ(clock.items.back(), "High(54MHz)");
  EXPECT_EQ(clock.value, 2);
  EXPECT_FALSE(clock.enabled);
  EXPECT_EQ(shown(dialog, 0, ids::kHEffective), "2048");
  EXPECT_EQ(shown(dialog, 0, ids::kVStart), "0");
  EXPECT_FALSE(dialog.control(kFramePage, ids::kApply).enabled) << "nothing changed yet";
}

TEST_F(StreamDialogTest, CustomSizeBecomesANewSetAndOkLoadsItIntoTheCamera) {
  const int32_t position = port_->position();
  StreamDialog dialog(*port_, Language::English);
  choose(dialog, 0, ids::kColorCombo, 1);
  EXPECT_TRUE(dialog.control(kFramePage, ids::kApply).enabled);
  choose(dialog, 0, ids::kSizeCombo, 1);  // Custom
  enter(dialog, 0, ids::kHEffective, "640");
  enter(dialog, 0, ids::kVEffective, "480");
  enter(dialog, 0, ids::kHStart, "100");
  enter(dialog, 0, ids::kVStart, "50");
  enter(dialog, 0, ids::kWaitTime, "25");
  EXPECT_FALSE(dialog.press(ids::kApply));
  EXPECT_EQ(items(dialog, ids::kSizeCombo),
            (std::vector<std::string>{"2048 x 1536", "640 x 480", "Custom"}));
  EXPECT_EQ(dialog.control(0, ids::kSizeCombo).value, 1);
  EXPECT_EQ(settings::loadSizeNumber(position), 1);
  EXPECT_EQ(camera_->Width(), 2048) << "Apply only stores";

  EXPECT_TRUE(dialog.press(ids::kOk));
  EXPECT_EQ(camera_->Width(), 640);
  EXPECT_EQ(camera_->Height(), 480);
  int32_t ht = 0, hs = 0, he = 0, vt = 0, vs = 0, ve = 0;
  camera_->GetCaptureWindowEx(&ht, &hs, &he, &vt, &vs, &ve);
  EXPECT_EQ(hs, 100);
  EXPECT_EQ(vs, 50);
  EXPECT_EQ(camera_->GetColorMode(), 16);
  EXPECT_EQ(camera_->GetWaitTime(), 25);
}

TEST_F(StreamDialogTest, HalfSkipForcesTheFullSensorFromTheOrigin) {
  {
    StreamDialog dialog(*port_, Language::English);
    choose(dialog, 0, ids::kSizeCombo, 1);
    enter(dialog, 0, ids::kHEffective, "1024");
    enter(dialog, 0, ids::kVEffective, "768");
    ASSERT_TRUE(dialog.press(ids::kOk));
  }
  // Size set 0 now becomes a smaller one too, so that the list has no full-size set at all.
  {
    StreamDialog dialog(*port_, Language::English);
    choose(dialog, 0, ids::kSizeCombo, 0);
    enter(dialog, 0, ids::kHEffective, "800");
    enter(dialog, 0, ids::kVEffective, "600");
    enter(dialog, 0, ids::kHStart, "8");
    ASSERT_TRUE(dialog.press(ids::kOk));
  }
  StreamDialog dialog(*port_, Language::English);
  EXPECT_EQ(items(dialog, ids::kSizeCombo),
            (std::vector<std::string>{"800 x 600", "1024 x 768", "Custom"}));
  choose(dialog, 0, ids::kSubSampleCombo, 1);
  EXPECT_EQ(items(dialog, ids::kSizeCombo),
            (std::vector<std::string>{"800 x 600", "1024 x 768", "2048 x 1536", "Custom"}));
  EXPECT_EQ(dialog.control(0, ids::kSizeCombo).value, 2);
  EXPECT_FALSE(dialog.control(0, ids::kSizeCombo).enabled);
  for (int32_t id : {ids::kHEffective, ids::kVEffective, ids::kHStart, ids::kVStart}) {
    EXPECT_FALSE(dialog.control(0, id).enabled) << id;
  }
  EXPECT_EQ(shown(dialog, 0, ids::kHEffective), "2048");
  EXPECT_EQ(shown(dialog, 0, ids::kVStart), "0");
  ASSERT_TRUE(dialog.press(ids::kOk));
  int32_t ht = 0, hs = 0, he = 0, vt = 0, vs = 0, ve = 0;
  camera_->GetCaptureWindowEx(&ht, &hs, &he, &vt, &vs, &ve);
  EXPECT_EQ((std::vector<int32_t>{he, ve, hs, vs}), (std::vector<int32_t>{2048, 1536, 0, 0}));
  EXPECT_EQ(camera_->GetSubSample(), 1);
}

TEST_F(StreamDialogTest, AWindowTheSensorCannotReadIsNotStored) {
  StreamDialog dialog(*port_, Language::English);
  enter(dialog, 0, ids::kHStart, "100");  // 100 + 2048 is past the sensor's edge
  EXPECT_FALSE(dialog.press(ids::kOk));
  EXPECT_EQ(dialog.result(), 0) << "the dialog stays open";
  EXPECT_EQ(shown(dialog, 0, ids::kHStart), "0");
  enter(dialog, 0, ids::kWaitTime, "-3");
  EXPECT_FALSE(dialog.press(ids::kOk));
  EXPECT_TRUE(dialog.press(ids::kCancel));
  EXPECT_EQ(camera_->Width(), 2048);
}

// The store keeps at most kMaxSizeSets sets: a full list offers no new one and takes the
// full-size window of half skip into the chosen set, and the save leaves "Size" on that set.
TEST_F(StreamDialogTest, AFullListOfSizeSetsChangesTheChosenSetInsteadOfAddingOne) {
  const int32_t position = port_->position();
  const std::string camera = settings::cameraKeyPath(position);
  constexpr int32_t kChosen = 5;
  platform::RegistryChanges seed;
  for (int32_t i = 0; i < settings::kMaxSizeSets; ++i) {
    settings::writeSizeSet(seed, camera + "\\" + settings::sizeKeyName(i),
                           {2048, 1536, 1024, 768, 8 * i, 4, 4});
  }
  seed.setDword(camera, settings::kSizeValue, kChosen);
  ASSERT_TRUE(seed.apply());

  StreamDialog dialog(*port_, Language::English);
  ASSERT_EQ(items(dialog, ids::kSizeCombo).size(), static_cast<size_t>(settings::kMaxSizeSets));
  EXPECT_EQ(items(dialog, ids::kSizeCombo).back(), "1024 x 768") << "no Custom entry";
  EXPECT_EQ(dialog.control(0, ids::kSizeCombo).value, kChosen);
  choose(dialog, 0, ids::kSubSampleCombo, 1);
  EXPECT_EQ(shown(dialog, 0, ids::kHEffective), "2048");
  ASSERT_TRUE(dialog.press(ids::kOk)) << "the save was refused";

  const std::vector<settings::GeometrySettings> stored = settings::loadSizeSets(position);
  ASSERT_EQ(stored.size(), static_cast<size_t>(settings::kMaxSizeSets));
  EXPECT_EQ(settings::loadSizeNumber(position), kChosen);
  EXPECT_EQ(stored[kChosen].frameWidth, 2048);
  EXPECT_EQ(stored[kChosen + 1].frameWidth, 1024) << "the other sets are as they were";
  EXPECT_EQ(camera_->Width(), 2048);
  EXPECT_EQ(camera_->GetSubSample(), 1);
}

TEST_F(StreamDialogTest, PreviewStopsWhileTheDialogIsOpenAndResumesAfter) {
  ASSERT_EQ(camera_->CallBackPreview(nullptr, nullptr, 0, 0), 1);
  {
    StreamDialog dialog(*port_, Language::English);
    // While open, the camera is free: a snapshot works, as it would not during a preview.
    EXPECT_EQ(camera_->Capture(), 1);
    camera_->StopPreview();
    EXPECT_TRUE(dialog.press(ids::kCancel));
  }
  // Back to preview: a capture is refused while a preview runs.
  EXPECT_EQ(camera_->Capture(), 0);
  camera_->GetLastError();
  camera_->StopPreview();

  ASSERT_EQ(camera_->Capture(), 1);
  {
    StreamDialog dialog(*port_, Language::English);
    EXPECT_EQ(camera_->CallBackPreview(nullptr, nullptr, 0, 0), 1) << "capture paused";
    camera_->StopPreview();
    EXPECT_TRUE(dialog.press(ids::kCancel));
  }
  EXPECT_EQ(camera_->CallBackPreview(nullptr, nullptr, 0, 0), 0) << "capture resumed";
  camera_->GetLastError();
}

}  // namespace
}  // namespace nivexa::dialogs::test
