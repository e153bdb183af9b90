// The three dialogs of the Windows DLL on the screen, driven through the exports from outside
// the dialog's thread: controls found by their ids and sent the messages a user's clicks and
// keys would make them send, and the camera's values checked after each step.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "NivexaSdk.h"
#include "api/ApiTestSupport.h"
#include "dialogs/ControlIds.h"
#include "dialogs/DialogCameraTest.h"
#include "dialogs/ExposureUnits.h"
#include "dialogs/win32/Win32Driver.h"

namespace nivexa::dialogs::test {
namespace {

using nivexa::test::drainErrors;
using nivexa::test::Sink;
using nivexa::test::TestMessage;

constexpr LANGID kJapanese = 1041;

bool japaneseSystem() {
  return GetSystemDefaultLangID() == kJapanese;
}

std::string property() {
  return japaneseSystem() ? "プロパティ" : "Property";
}

class DialogWindowsTest : public DialogCameraTest {
 protected:
  void SetUp() override {
    h_ = Nivexa_Initialize(notify_);
    ASSERT_NE(h_, 0);
    drainErrors(h_);
    ASSERT_EQ(Nivexa_GetCameraInfo(h_, &info()), 1) << "NIVEXA_VIRTUAL_CAMERAS gives a camera";
  }

  void TearDown() override {
    if (h_ != 0) {
      Nivexa_StopPreview(h_);
      Nivexa_Release(h_);
    }
  }

  NivexaCameraInfo& info() {
    info_.size = sizeof(info_);
    return info_;
  }

  OpenDialog imageDialog() {
    return OpenDialog([h = h_] { return Nivexa_SetImageDlg(h, nullptr); }, property());
  }

  NivexaCameraInfo info_{};
};

TEST_F(DialogWindowsTest, BrightnessSliderChangesTheNextFrameCancelRestoresOkKeepsAndStores) {
  startPreview();
  const double before = meanOfFrame();
  {
    OpenDialog dialog = imageDialog();
    ASSERT_NE(dialog.window(), nullptr);
    dialog.moveSlider(ids::kBrightness[0], 120);
    EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 120);
    EXPECT_EQ(dialog.text(ids::kBrightness[1]), "120");
    EXPECT_GT(meanOfFrame(), before + 60) << "the live preview follows the slider";
    dialog.press(ids::kCancel);
    EXPECT_EQ(dialog.result(), 1);
  }
  EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 0);
  {
    OpenDialog dialog = imageDialog();
    ASSERT_NE(dialog.window(), nullptr);
    dialog.moveSlider(ids::kBrightness[0], 80);
    dialog.press(ids::kOk);
    EXPECT_EQ(dialog.result(), 1);
  }
  EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 80);

  Nivexa_StopPreview(h_);
  Nivexa_Release(h_);
  h_ = Nivexa_Initialize(notify_);
  ASSERT_NE(h_, 0);
  EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 80) << "the settings store kept it";
}

TEST_F(DialogWindowsTest, TypedValuesOutsideTheRangeLeaveTheValueInForceShown) {
  OpenDialog dialog = imageDialog();
  ASSERT_NE(dialog.window(), nullptr);
  dialog.type(ids::kSharpness[1], "12");
  EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 12);
  dialog.type(ids::kSharpness[1], "31");
  EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 12);
  EXPECT_EQ(dialog.text(ids::kSharpness[1]), "12");
  dialog.clickArrow(ids::kSharpness[2], 1);
  EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 13);
  dialog.clickArrow(ids::kSharpness[2], -1);
  dialog.clickArrow(ids::kSharpness[2], -1);
  EXPECT_EQ(dialog.text(ids::kSharpness[1]), "11");

  // Gray gains: the trackbar ends at the setter's 255, and 300 typed is refused.
  dialog.showPage(1);
  EXPECT_TRUE(dialog.visible(ids::kGrayGainFirst));
  EXPECT_FALSE(dialog.visible(ids::kBrightness[0])) << "the image page gave way";
  EXPECT_EQ(dialog.sliderMaximum(ids::kGrayGainFirst), 255);
  dialog.type(ids::kGrayGainFirst + 1, "300");
  EXPECT_EQ(filter(20), 128);
  EXPECT_EQ(dialog.text(ids::kGrayGainFirst + 1), "128");
  dialog.press(ids::kGrayModeGrayscale);
  EXPECT_TRUE(dialog.checked(ids::kGrayModeGrayscale));
  EXPECT_FALSE(dialog.checked(ids::kGrayModeBayer)) << "one radio button of the group";
  const LONG grayMode = filter(19);
  dialog.press(ids::kGrayModeBayer);
  EXPECT_NE(filter(19), grayMode) << "the filter mode follows the radio buttons";
  dialog.press(ids::kDefault);
  EXPECT_EQ(filter(24), 0) << "Default gray offsets are the neutral 0";
  EXPECT_EQ(dialog.text(ids::kGrayOffsetFirst + 1), "0");
  dialog.press(ids::kOk);
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 0) << "Default, then OK";
}

// A trackbar's range and position arrive together; the thumb must be drawn where the value
// lies in the new range, also when the value itself (0) did not change.
TEST_F(DialogWindowsTest, ThumbsAreDrawnWhereTheirValuesLie) {
  constexpr double kTolerance = 0.05;
  OpenDialog dialog = imageDialog();
  ASSERT_NE(dialog.window(), nullptr);
  for (int id : {ids::kBrightness[0], ids::kContrast[0], ids::kGamma[0]}) {
    EXPECT_NEAR(dialog.thumbPlace(id), 0.5, kTolerance) << id;  // 0 of ±n, 100 of 0..200
  }
  EXPECT_NEAR(dialog.thumbPlace(ids::kSharpness[0]), 0.0, kTolerance);
  dialog.showPage(1);
  EXPECT_NEAR(dialog.thumbPlace(ids::kGrayOffsetFirst), 0.5, kTolerance);
  EXPECT_NEAR(dialog.thumbPlace(ids::kGrayGainFirst), 128.0 / 255.0, kTolerance);
  dialog.press(ids::kCancel);
  EXPECT_EQ(dialog.result(), 1);
}

// On Windows the Enter key in an edit box clicks the dialog's default button (OK) while the
// box still has the focus: the value typed must still be what OK keeps.
TEST_F(DialogWindowsTest, EnterInAnEditBoxKeepsTheValueTyped) {
  OpenDialog dialog = imageDialog();
  ASSERT_NE(dialog.window(), nullptr);
  dialog.type(ids::kContrast[1], "40", false);
  dialog.pressEnter();
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ(Nivexa_GetContrast(h_, nullptr), 40);
}

TEST_F(DialogWindowsTest, ASecondDialogWhileOneIsOpenIsRefusedNotStacked) {
  OpenDialog dialog = imageDialog();
  ASSERT_NE(dialog.window(), nullptr);
  EXPECT_EQ(Nivexa_SetAnalogDlg(h_, nullptr), 0);  // from another thread than the dialog's
  EXPECT_EQ(drainErrors(h_), std::vector<LONG>{4});
  dialog.press(ids::kCancel);
  EXPECT_EQ(dialog.result(), 1);
}

// The program runs once with the system language English and once Japanese (CTest sets the
// locale), and checks the templates and texts of whichever it finds.
TEST_F(DialogWindowsTest, TheSystemLanguageChoosesTheTexts) {
  const char* wanted = std::getenv("NIVEXA_EXPECT_JAPANESE");
  if (wanted != nullptr) {
    ASSERT_EQ(japaneseSystem(), std::string(wanted) == "1") << "the locale CTest asked for";
  }
  OpenDialog dialog = imageDialog();
  ASSERT_NE(dialog.window(), nullptr);
  if (japaneseSystem()) {
    EXPECT_EQ(dialog.caption(), "プロパティ");
    EXPECT_EQ(dialog.tabs(), (std::vector<std::string>{"画像フィルタ", "グレーフィルタ"}));
    EXPECT_EQ(dialog.text(ids::kCancel), "キャンセル");
  } else {
    EXPECT_EQ(dialog.caption(), "Property");
    EXPECT_EQ(dialog.tabs(), (std::vector<std::string>{"Image Filter", "Gray Filter"}));
    EXPECT_EQ(dialog.text(ids::kCancel), "Cancel");
  }
  dialog.press(ids::kCancel);
  EXPECT_EQ(dialog.result(), 1);
}

TEST_F(DialogWindowsTest, AnalogExposureRowInRealTimeUnits) {
  const double before = Nivexa_GetExposureTimeEx(h_, nullptr);
  const Language language = japaneseSystem() ? Language::Japanese : Language::English;
  OpenDialog dialog([h = h_] { return Nivexa_SetAnalogDlg(h, nullptr); }, property());
  ASSERT_NE(dialog.window(), nullptr);
  EXPECT_FALSE(dialog.visible(ids::kExposure[0])) << "the lines trackbar gives way to the time row";
  EXPECT_FALSE(dialog.visible(ids::kExposureMsec));
  EXPECT_TRUE(dialog.visible(ids::kRealExposureEdit));
  const bool mirrored = Nivexa_GetMirrorV(h_) != 0;
  dialog.press(ids::kMirrorV);
  EXPECT_EQ(Nivexa_GetMirrorV(h_) != 0, !mirrored);
  EXPECT_EQ(dialog.checked(ids::kMirrorV), !mirrored) << "the box shows the camera's value";
  EXPECT_EQ(dialog.text(ids::kRealExposureRange),
            formatRange(info_.exposureSecondsMin, info_.exposureSecondsMax, language));
  EXPECT_EQ(dialog.selectedEntry(ids::kRealExposureUnit), unitName(unitFor(before)));
  // The units run from that of the shortest to that of the longest time.
  const std::vector<TimeUnit> spanned =
      unitsSpanning(info_.exposureSecondsMin, info_.exposureSecondsMax);
  EXPECT_EQ(dialog.entryCount(ids::kRealExposureUnit), static_cast<int>(spanned.size()));
  for (size_t i = 0; i < spanned.size(); ++i) {
    if (spanned[i] == TimeUnit::Milliseconds) {
      dialog.choose(ids::kRealExposureUnit, static_cast<int>(i));
    }
  }
  EXPECT_EQ(dialog.selectedEntry(ids::kRealExposureUnit), unitName(TimeUnit::Milliseconds));
  dialog.type(ids::kRealExposureEdit, "12.5");
  EXPECT_NEAR(Nivexa_GetExposureTimeEx(h_, nullptr), 0.0125, 0.0125 * 0.01);
  EXPECT_EQ(dialog.text(ids::kRealExposureEdit),
            formatTime(Nivexa_GetExposureTimeEx(h_, nullptr), TimeUnit::Milliseconds));
  dialog.press(ids::kCancel);
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_NEAR(Nivexa_GetExposureTimeEx(h_, nullptr), before, 1e-6) << "Cancel restores it";
}

TEST_F(DialogWindowsTest, StreamFormatChangesTheNextPreviewsModeAndSize) {
  startPreview();
  OpenDialog dialog([h = h_] { return Nivexa_SetCameraDlg(h, nullptr); }, property());
  ASSERT_NE(dialog.window(), nullptr);
  dialog.choose(ids::kColorCombo, 1);
  EXPECT_EQ(dialog.selectedEntry(ids::kColorCombo),
            japaneseSystem() ? "モノクロ 12bit *" : "Monochrome 12bit *");
  dialog.choose(ids::kSizeCombo, 1);
  dialog.type(ids::kHEffective, "1024");
  dialog.type(ids::kVEffective, "768");
  EXPECT_TRUE(dialog.enabled(ids::kApply));
  dialog.press(ids::kOk);
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ(Nivexa_GetColorMode(h_), 16);
  const std::optional<NivexaFrameInfo> frame = nextFrame();
  ASSERT_TRUE(frame.has_value()) << "the preview resumed";
  EXPECT_EQ(frame->width, 1024);
  EXPECT_EQ(frame->height, 768);
  EXPECT_EQ(frame->bitsPerPixel, 16);
}

TEST_F(DialogWindowsTest, HalfSkipForcesTheFullSensorFromTheOrigin) {
  OpenDialog dialog([h = h_] { return Nivexa_SetCameraDlg(h, nullptr); }, property());
  ASSERT_NE(dialog.window(), nullptr);
  dialog.choose(ids::kSizeCombo, 1);
  dialog.type(ids::kHEffective, "640");
  dialog.type(ids::kHStart, "64");
  dialog.choose(ids::kSubSampleCombo, 1);
  EXPECT_EQ(dialog.selectedEntry(ids::kSizeCombo), "2048 x 1536");
  EXPECT_FALSE(dialog.enabled(ids::kSizeCombo));
  EXPECT_FALSE(dialog.enabled(ids::kHStart));
  EXPECT_EQ(dialog.text(ids::kHEffective), "2048");
  EXPECT_EQ(dialog.text(ids::kHStart), "0");
  dialog.press(ids::kOk);
  EXPECT_EQ(dialog.result(), 1);
  LONG ht = 0, hs = -1, he = 0, vt = 0, vs = -1, ve = 0;
  ASSERT_EQ(Nivexa_GetCaptureWindowEx(h_, &ht, &hs, &he, &vt, &vs, &ve), 1);
  EXPECT_EQ((std::vector<LONG>{he, ve, hs, vs}), (std::vector<LONG>{2048, 1536, 0, 0}));
  EXPECT_EQ(Nivexa_GetSubSample(h_), 1);
}

// Every page of every dialog: shown by its tab, its texts not cut off and no control outside
// its window. With NIVEXA_DIALOG_HOLD_MS set, each page stays up that long after a line
// "shown <dialog> <page> <left> <top> <width> <height>" (its client area in screen pixels) on the
// standard output, for a screenshot to be taken from outside.
TEST_F(DialogWindowsTest, EveryPageShowsItsTextsUncut) {
  const char* hold = std::getenv("NIVEXA_DIALOG_HOLD_MS");
  struct Dialog {
    const char* name;
    BOOL (*open)(LONG, HWND);
    int pages;
    int firstControl[2];  // one control of each page
  };
  const Dialog dialogs[] = {
      {"image", Nivexa_SetImageDlg, 2, {ids::kBrightness[0], ids::kGrayGainFirst}},
      {"analog", Nivexa_SetAnalogDlg, 1, {ids::kGlobalGain[0], 0}},
      {"stream", Nivexa_SetCameraDlg, 1, {ids::kColorCombo, 0}}};
  for (const Dialog& d : dialogs) {
    OpenDialog dialog([h = h_, open = d.open] { return open(h, nullptr); }, property());
    ASSERT_NE(dialog.window(), nullptr) << d.name;
    EXPECT_EQ(dialog.tabs().size(), static_cast<size_t>(d.pages)) << d.name;
    for (int page = 0; page < d.pages; ++page) {
      dialog.showPage(page);
      for (int other = 0; other < d.pages; ++other) {
        EXPECT_EQ(dialog.visible(d.firstControl[other]), other == page) << d.name << page;
      }
      EXPECT_EQ(dialog.layoutFaults(), std::vector<std::string>{}) << d.name << " page " << page;
      if (hold != nullptr) {
        // The client area: without a window manager nobody draws the caption.
        RECT r{};
        GetClientRect(dialog.window(), &r);
        MapWindowPoints(dialog.window(), nullptr, reinterpret_cast<POINT*>(&r), 2);
        std::printf("shown %s %d %ld %ld %ld %ld\n", d.name, page, r.left, r.top, r.right - r.left,
                    r.bottom - r.top);
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(hold)));
      }
    }
    dialog.press(ids::kCancel);
    EXPECT_EQ(dialog.result(), 1) << d.name;
  }
}

}  // namespace
}  // namespace nivexa::dialogs::test
