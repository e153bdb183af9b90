#include "dialogs/ImageDialog.h"

#include <thread>

#include "DialogTestSupport.h"

namespace nivexa::dialogs::test {
namespace {

using namespace nivexa::camera;
using ImageDialogTest = CameraDialogTest;

TEST_F(ImageDialogTest, SlidersWriteLiveAndCancelRestoresWhatTheDialogFound) {
  ASSERT_EQ(camera_->SetFilterValue(kFilterBrightness, 12), 1);
  ASSERT_EQ(camera_->SetFilterValue(kFilterGrayOffsetR, -7), 1);
  ImageDialog dialog(*port_, Language::English);
  EXPECT_EQ(shown(dialog, 0, ids::kBrightness[1]), "12");

  slide(dialog, 0, ids::kBrightness[0], 100);
  EXPECT_EQ(filter(kFilterBrightness), 100);
  EXPECT_EQ(shown(dialog, 0, ids::kBrightness[1]), "100");
  dialog.step(indexOf(dialog, 0, ids::kBrightness[2]), 1);
  EXPECT_EQ(filter(kFilterBrightness), 101);
  enter(dialog, dialog.grayPage(), ids::kGrayOffsetFirst + 1, "40");
  EXPECT_EQ(filter(kFilterGrayOffsetR), 40);
  click(dialog, dialog.grayPage(), ids::kGrayModeGrayscale);
  EXPECT_EQ(filter(kFilterGrayMode), 2);

  EXPECT_TRUE(dialog.press(ids::kCancel));
  EXPECT_EQ(dialog.result(), ids::kCancel);
  EXPECT_EQ(filter(kFilterBrightness), 12);
  EXPECT_EQ(filter(kFilterGrayOffsetR), -7);
  EXPECT_EQ(filter(kFilterGrayMode), 0);
}

TEST_F(ImageDialogTest, OkKeepsTheValuesAndTakesAnEditLeftWithoutEnter) {
  ImageDialog dialog(*port_, Language::English);
  slide(dialog, 0, ids::kContrast[0], -50);
  dialog.type(indexOf(dialog, 0, ids::kGamma[1]), "150");
  EXPECT_EQ(filter(kFilterGamma), 100) << "typing alone applies nothing";
  EXPECT_TRUE(dialog.press(ids::kOk));
  EXPECT_EQ(filter(kFilterContrast), -50);
  EXPECT_EQ(filter(kFilterGamma), 150);
}

TEST_F(ImageDialogTest, TypedValuesOutsideTheSettersRangeAreRefusedAndTheValueInForceShown) {
  ImageDialog dialog(*port_, Language::English);
  enter(dialog, 0, ids::kSharpness[1], "7");
  ASSERT_EQ(filter(kFilterSharpness), 7);
  for (const char* typed : {"31", "-1", "7x", "", "99999999999"}) {
    enter(dialog, 0, ids::kSharpness[1], typed);
    EXPECT_EQ(filter(kFilterSharpness), 7) << typed;
    EXPECT_EQ(shown(dialog, 0, ids::kSharpness[1]), "7") << typed;
  }
  enter(dialog, 0, ids::kBrightness[1], "-256");
  EXPECT_EQ(filter(kFilterBrightness), 0);
  enter(dialog, 0, ids::kBrightness[1], "+255");
  EXPECT_EQ(filter(kFilterBrightness), 255);

  // Gray gains take what their setter takes: 0..255, not the 0..400 of the colour gains.
  const int32_t gray = dialog.grayPage();
  const Control& gainBar = dialog.control(gray, ids::kGrayGainFirst);
  EXPECT_EQ(gainBar.minimum, 0);
  EXPECT_EQ(gainBar.maximum, 255);
  enter(dialog, gray, ids::kGrayGainFirst + 1, "300");
  EXPECT_EQ(filter(kFilterGrayGainR), 128);
  EXPECT_EQ(shown(dialog, gray, ids::kGrayGainFirst + 1), "128");
  enter(dialog, gray, ids::kGrayGainFirst + 1, "255");
  EXPECT_EQ(filter(kFilterGrayGainR), 255);
  slide(dialog, gray, ids::kGrayGainFirst, 400);
  EXPECT_EQ(filter(kFilterGrayGainR), 255);
}

TEST_F(ImageDialogTest, EverySliderRangeIsExactlyWhatItsSetterAccepts) {
  ImageDialog dialog(*port_, Language::English);
  int checked = 0;
  for (const Control& c : dialog.controls()) {
    if (c.kind != Kind::Slider || !c.enabled) {
      continue;
    }
    // The filter id behind the trackbar: move it to each end and see which value changed.
    const int32_t index = dialog.find(c.page, c.id);
    dialog.slide(index, c.minimum);
    const std::string atMinimum = dialog.controls()[static_cast<size_t>(index) + 1].text;
    EXPECT_EQ(atMinimum, std::to_string(c.minimum)) << c.id;
    dialog.slide(index, c.maximum);
    EXPECT_EQ(dialog.controls()[static_cast<size_t>(index) + 1].text, std::to_string(c.maximum))
        << c.id;
    ++checked;
  }
  EXPECT_EQ(checked, 4 + 8) << "the monochrome sliders and the gray page's";
  // And the setters refuse one beyond each end of the ranges the dialog offers.
  for (const auto& [id, low, high] :
       {std::tuple{kFilterBrightness, -255, 255}, std::tuple{kFilterGamma, 0, 200},
        std::tuple{kFilterGrayGainB, 0, 255}, std::tuple{kFilterGrayOffsetG2, -255, 255}}) {
    EXPECT_EQ(camera_->SetFilterValue(id, low - 1), 0) << id;
    EXPECT_EQ(camera_->SetFilterValue(id, high + 1), 0) << id;
  }
  camera_->GetLastError();
}

TEST_F(ImageDialogTest, DefaultSetsNeutralValuesWithGrayOffsetsZero) {
  for (int32_t id : {kFilterBrightness, kFilterHue}) {
    ASSERT_EQ(camera_->SetFilterValue(id, 33), 1);
  }
  for (int32_t id = kFilterGrayGainR; id <= kFilterGrayOffsetB; ++id) {
    ASSERT_EQ(camera_->SetFilterValue(id, 5), 1);
  }
  ASSERT_EQ(camera_->SetFilterValue(kFilterBayerMode, 0), 1);
  ImageDialog dialog(*port_, Language::English);
  EXPECT_FALSE(dialog.press(ids::kDefault));
  EXPECT_EQ(filter(kFilterBrightness), 0);
  EXPECT_EQ(filter(kFilterHue), 0);
  EXPECT_EQ(filter(kFilterGamma), 100);
  EXPECT_EQ(filter(kFilterBayerGainRed), 100);
  EXPECT_EQ(filter(kFilterBayerMode), 3);
  for (int32_t id = kFilterGrayGainR; id <= kFilterGrayGainB; ++id) {
    EXPECT_EQ(filter(id), 128) << id;
  }
  for (int32_t id = kFilterGrayOffsetR; id <= kFilterGrayOffsetB; ++id) {
    EXPECT_EQ(filter(id), 0) << id;
  }
  EXPECT_EQ(shown(dialog, 0, ids::kBrightness[1]), "0");
  EXPECT_EQ(dialog.control(0, ids::kBayerRadio0 + 3).value, 1);
}

TEST_F(ImageDialogTest, MonochromeModesOfferTheGrayPageAndOnlyTheMonochromeSliders) {
  ImageDialog dialog(*port_, Language::English);
  ASSERT_EQ(dialog.pages().size(), 2u);
  EXPECT_EQ(dialog.pages()[1].title, "Gray Filter");
  for (const int32_t* row : {ids::kBrightness, ids::kContrast, ids::kSharpness, ids::kGamma}) {
    EXPECT_TRUE(dialog.control(0, row[0]).enabled) << row[0];
  }
  for (const int32_t* row : {ids::kHue, ids::kSaturation, ids::kRedGain, ids::kBlueGain}) {
    EXPECT_FALSE(dialog.control(0, row[0]).enabled) << row[0];
    EXPECT_FALSE(dialog.control(0, row[1]).enabled) << row[1];
  }
  EXPECT_FALSE(dialog.control(0, ids::kAutoOnce).enabled);
  EXPECT_FALSE(dialog.control(0, ids::kBayerRadio0).enabled);
  // A disabled control does nothing whatever reaches it.
  slide(dialog, 0, ids::kHue[0], 50);
  EXPECT_EQ(filter(kFilterHue), 0);
}

TEST_F(ImageDialogTest, GrayPageOnceRefreshesTheGainsFromARunningPreview) {
  ASSERT_EQ(camera_->CallBackPreview(nullptr, nullptr, 0, 0), 1);
  ImageDialog dialog(*port_, Language::English);
  const int32_t gray = dialog.grayPage();
  click(dialog, gray, ids::kGrayModeConvert);
  click(dialog, gray, ids::kAutoOnce);
  bool refreshed = false;
  for (int i = 0; i < 200 && !refreshed; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    refreshed = dialog.poll();
  }
  ASSERT_TRUE(refreshed) << "the one-shot gray gain never reported back";
  EXPECT_EQ(shown(dialog, gray, ids::kGrayGainFirst + 1), std::to_string(filter(kFilterGrayGainR)));
  EXPECT_FALSE(dialog.poll()) << "one refresh per change";
  camera_->StopPreview();
}

TEST_F(ImageDialogTest, GrayPageOnceThenCancelMeasuresNothingLater) {
  ASSERT_EQ(camera_->SetFilterValue(kFilterGrayMode, 1), 1);
  {
    ImageDialog dialog(*port_, Language::English);
    click(dialog, dialog.grayPage(), ids::kAutoOnce);
    EXPECT_TRUE(dialog.press(ids::kCancel));
  }
  ASSERT_EQ(camera_->CallBackPreview(nullptr, nullptr, 0, 0), 1);
  ImageDialog dialog(*port_, Language::English);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(dialog.poll()) << "the cancelled request measured the gains";
  // The frames were there: a request now is taken.
  click(dialog, dialog.grayPage(), ids::kAutoOnce);
  bool refreshed = false;
  for (int i = 0; i < 200 && !refreshed; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    refreshed = dialog.poll();
  }
  EXPECT_TRUE(refreshed);
  camera_->StopPreview();
}

}  // namespace
}  // namespace nivexa::dialogs::test

#include "FakeCameraPort.h"

namespace nivexa::dialogs::test {
namespace {

TEST(ColourImageDialogTest, ColourModesEnableEverySliderAndOnceIsOneFrameOnly) {
  FakeCameraPort port;
  ImageDialog dialog(port, Language::English);
  EXPECT_EQ(dialog.grayPage(), -1);
  ASSERT_EQ(dialog.pages().size(), 1u);
  for (const Control& c : dialog.controls()) {
    EXPECT_TRUE(c.enabled) << c.id;
  }
  click(dialog, 0, ids::kAutoOnce);
  EXPECT_TRUE(port.whiteBalanceOnce);
  click(dialog, 0, ids::kBayerRadio0 + 1);
  EXPECT_EQ(port.filters[12], 1);
  EXPECT_EQ(dialog.control(0, ids::kBayerRadio0 + 1).value, 1);
  EXPECT_EQ(dialog.control(0, ids::kBayerRadio0 + 3).value, 0);
}

}  // namespace
}  // namespace nivexa::dialogs::test
