// The three dialogs on the screen, driven through the exports as an application's user would:
// widgets found by their control ids, sliders moved, values typed, buttons pressed, and the
// camera's values checked after each step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <thread>
#include <vector>

#include "NivexaSdk.h"
#include "api/ApiTestSupport.h"
#include "dialogs/ControlIds.h"
#include "dialogs/DialogCameraTest.h"
#include "dialogs/ExposureUnits.h"
#include "dialogs/gtk/GtkDriver.h"
#include "sim/CameraSet.h"

namespace nivexa::dialogs::test {
namespace {

using nivexa::test::drainErrors;
using nivexa::test::Sink;
using nivexa::test::TestMessage;

constexpr int kImagePage = 0;
constexpr int kGrayPage = 1;

class DialogDisplayTest : public DialogCameraTest {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the display tests need an X server (Xvfb)";
    sim::CameraOptions options;
    options.pacing = sim::Pacing::Fast;
    options.noise = false;
    options.serial = "VC0001";
    camera_ = sim::createCamera(options);
    h_ = Nivexa_Initialize(notify_);
    ASSERT_NE(h_, 0);
    drainErrors(h_);
    setenv("LC_ALL", "en_US.UTF-8", 1);
  }

  void TearDown() override {
    unsetenv("LC_ALL");
    if (h_ != 0) {
      Nivexa_StopPreview(h_);
      Nivexa_Release(h_);
    }
    sim::removeCamera(camera_);
  }

  std::shared_ptr<sim::Camera> camera_;
};

TEST_F(DialogDisplayTest, BrightnessSliderChangesTheNextFrameCancelRestoresOkKeepsAndStores) {
  startPreview();
  double before = 0;
  Script cancelled;
  cancelled
      .act([&] {
        before = meanOfFrame();
        moveSlider(kImagePage, ids::kBrightness[0], 120);
        EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 120);
        EXPECT_EQ(entryText(kImagePage, ids::kBrightness[1]), "120");
      })
      .act([&] {
        const double after = meanOfFrame();
        EXPECT_GT(after, before + 60) << "the live preview follows the slider";
        press(-1, ids::kCancel);
      });
  EXPECT_EQ(cancelled.run([&] { return Nivexa_SetImageDlg(h_, nullptr); }), 1);
  EXPECT_TRUE(cancelled.finished());
  EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 0);

  Script kept;
  kept.act([&] { moveSlider(kImagePage, ids::kBrightness[0], 80); }).act([&] {
    press(-1, ids::kOk);
  });
  EXPECT_EQ(kept.run([&] { return Nivexa_SetImageDlg(h_, nullptr); }), 1);
  EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 80);

  Nivexa_StopPreview(h_);
  Nivexa_Release(h_);
  h_ = Nivexa_Initialize(notify_);
  ASSERT_NE(h_, 0);
  EXPECT_EQ(Nivexa_GetBrightness(h_, nullptr), 80) << "the settings store kept it";
}

TEST_F(DialogDisplayTest, TypedValuesOutsideTheRangeLeaveTheValueInForceShown) {
  Script script;
  script.act([&] {
    typeAndEnter(kImagePage, ids::kSharpness[1], "12");
    EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 12);
    typeAndEnter(kImagePage, ids::kSharpness[1], "31");
    EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 12);
    EXPECT_EQ(entryText(kImagePage, ids::kSharpness[1]), "12");
    clickArrow(kImagePage, ids::kSharpness[2], 1);
    EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 13);
    clickArrow(kImagePage, ids::kSharpness[2], -1);
    clickArrow(kImagePage, ids::kSharpness[2], -1);
    EXPECT_EQ(entryText(kImagePage, ids::kSharpness[1]), "11");
    // Gray gains: the trackbar ends at the setter's 255, and 300 typed is refused.
    GtkAdjustment* range =
        gtk_range_get_adjustment(GTK_RANGE(control(kGrayPage, ids::kGrayGainFirst)));
    EXPECT_EQ(gtk_adjustment_get_upper(range), 255);
    typeAndEnter(kGrayPage, ids::kGrayGainFirst + 1, "300");
    EXPECT_EQ(filter(20), 128);
    EXPECT_EQ(entryText(kGrayPage, ids::kGrayGainFirst + 1), "128");
    press(-1, ids::kDefault);
    EXPECT_EQ(filter(24), 0) << "Default gray offsets are the neutral 0";
    EXPECT_EQ(entryText(kGrayPage, ids::kGrayOffsetFirst + 1), "0");
    press(-1, ids::kOk);
  });
  EXPECT_EQ(script.run([&] { return Nivexa_SetImageDlg(h_, nullptr); }), 1);
  EXPECT_EQ(Nivexa_GetSharpness(h_, nullptr), 0) << "Default, then OK";
}

TEST_F(DialogDisplayTest, ASecondDialogWhileOneIsOpenIsRefusedNotStacked) {
  LONG second = -1;
  std::vector<LONG> secondErrors;
  Script script;
  script.act([&] {
    // From another thread, as an application with a worker thread might.
    std::thread other([&] {
      second = Nivexa_SetAnalogDlg(h_, nullptr);
      secondErrors = drainErrors(h_);
    });
    other.join();
    press(-1, ids::kCancel);
  });
  EXPECT_EQ(script.run([&] { return Nivexa_SetImageDlg(h_, nullptr); }), 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(secondErrors, std::vector<LONG>{4});
}

TEST_F(DialogDisplayTest, JapaneseLocaleShowsTheJapaneseTexts) {
  std::string title;
  std::vector<std::string> tabs;
  auto readAndClose = [&] {
    title = gtk_window_get_title(GTK_WINDOW(dialogWindow()));
    tabs.clear();
    GtkNotebook* notebook = GTK_NOTEBOOK(control(-1, ids::kTab));
    for (int i = 0; i < gtk_notebook_get_n_pages(notebook); ++i) {
      tabs.emplace_back(
          gtk_notebook_get_tab_label_text(notebook, gtk_notebook_get_nth_page(notebook, i)));
    }
    press(-1, ids::kCancel);
  };
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  Script japanese;
  japanese.act(readAndClose);
  EXPECT_EQ(japanese.run([&] { return Nivexa_SetImageDlg(h_, nullptr); }), 1);
  EXPECT_EQ(title, "プロパティ");
  EXPECT_EQ(tabs, (std::vector<std::string>{"画像フィルタ", "グレーフィルタ"}));

  setenv("LC_ALL", "en_US.UTF-8", 1);
  Script english;
  english.act(readAndClose);
  EXPECT_EQ(english.run([&] { return Nivexa_SetImageDlg(h_, nullptr); }), 1);
  EXPECT_EQ(title, "Property");
  EXPECT_EQ(tabs, (std::vector<std::string>{"Image Filter", "Gray Filter"}));
}

TEST_F(DialogDisplayTest, AnalogExposureRowInRealTimeUnits) {
  NivexaCameraInfo info{};
  info.size = sizeof(info);
  ASSERT_EQ(Nivexa_GetCameraInfo(h_, &info), 1);
  const double before = Nivexa_GetExposureTimeEx(h_, nullptr);
  Script script;
  script.act([&] {
    EXPECT_FALSE(gtk_widget_get_visible(control(0, ids::kExposure[0])))
        << "the lines trackbar gives way to the time row";
    EXPECT_FALSE(gtk_widget_get_visible(control(0, ids::kExposureMsec)));
    EXPECT_TRUE(gtk_widget_get_visible(control(0, ids::kRealExposureEdit)));
    const std::vector<std::string> range = labelsUnder(control(0, ids::kRealExposureRange));
    ASSERT_EQ(range.size(), 1u);
    EXPECT_EQ(range[0],
              formatRange(info.exposureSecondsMin, info.exposureSecondsMax, Language::English));
    EXPECT_EQ(activeEntry(0, ids::kRealExposureUnit), unitName(unitFor(before)));
    // Milliseconds: the units run from that of the shortest to that of the longest time.
    GtkTreeModel* units =
        gtk_combo_box_get_model(GTK_COMBO_BOX(control(0, ids::kRealExposureUnit)));
    const std::vector<TimeUnit> spanned =
        unitsSpanning(info.exposureSecondsMin, info.exposureSecondsMax);
    EXPECT_EQ(gtk_tree_model_iter_n_children(units, nullptr), static_cast<gint>(spanned.size()));
    for (size_t i = 0; i < spanned.size(); ++i) {
      if (spanned[i] == TimeUnit::Milliseconds) {
        chooseEntry(0, ids::kRealExposureUnit, static_cast<int>(i));
      }
    }
    typeAndEnter(0, ids::kRealExposureEdit, "12.5");
    EXPECT_NEAR(Nivexa_GetExposureTimeEx(h_, nullptr), 0.0125, 0.0125 * 0.01);
    EXPECT_EQ(entryText(0, ids::kRealExposureEdit),
              formatTime(Nivexa_GetExposureTimeEx(h_, nullptr), TimeUnit::Milliseconds));
    press(-1, ids::kCancel);
  });
  EXPECT_EQ(script.run([&] { return Nivexa_SetAnalogDlg(h_, nullptr); }), 1);
  EXPECT_NEAR(Nivexa_GetExposureTimeEx(h_, nullptr), before, 1e-6) << "Cancel restores it";
}

TEST_F(DialogDisplayTest, StreamFormatChangesTheNextPreviewsModeAndSize) {
  startPreview();
  Script script;
  script.act([&] {
    chooseEntry(0, ids::kColorCombo, 1);  // Monochrome 12bit
    EXPECT_EQ(activeEntry(0, ids::kColorCombo), "Monochrome 12bit *");
    chooseEntry(0, ids::kSizeCombo, 1);  // Custom
    EXPECT_EQ(activeEntry(0, ids::kSizeCombo), "Custom");
    typeAndEnter(0, ids::kHEffective, "1024");
    typeAndEnter(0, ids::kVEffective, "768");
    EXPECT_TRUE(gtk_widget_get_sensitive(control(-1, ids::kApply)));
    press(-1, ids::kOk);
  });
  EXPECT_EQ(script.run([&] { return Nivexa_SetCameraDlg(h_, nullptr); }), 1);
  EXPECT_EQ(Nivexa_GetColorMode(h_), 16);
  const std::optional<NivexaFrameInfo> frame = nextFrame();
  ASSERT_TRUE(frame.has_value()) << "the preview resumed";
  EXPECT_EQ(frame->width, 1024);
  EXPECT_EQ(frame->height, 768);
  EXPECT_EQ(frame->bitsPerPixel, 16);
}

TEST_F(DialogDisplayTest, HalfSkipForcesTheFullSensorFromTheOrigin) {
  Script script;
  script.act([&] {
    chooseEntry(0, ids::kSizeCombo, 1);
    typeAndEnter(0, ids::kHEffective, "640");
    typeAndEnter(0, ids::kHStart, "64");
    chooseEntry(0, ids::kSubSampleCombo, 1);
    EXPECT_EQ(activeEntry(0, ids::kSizeCombo), "2048 x 1536");
    EXPECT_FALSE(gtk_widget_get_sensitive(control(0, ids::kSizeCombo)));
    EXPECT_FALSE(gtk_widget_get_sensitive(control(0, ids::kHStart)));
    EXPECT_EQ(entryText(0, ids::kHEffective), "2048");
    EXPECT_EQ(entryText(0, ids::kHStart), "0");
    press(-1, ids::kOk);
  });
  EXPECT_EQ(script.run([&] { return Nivexa_SetCameraDlg(h_, nullptr); }), 1);
  LONG ht = 0, hs = -1, he = 0, vt = 0, vs = -1, ve = 0;
  ASSERT_EQ(Nivexa_GetCaptureWindowEx(h_, &ht, &hs, &he, &vt, &vs, &ve), 1);
  EXPECT_EQ((std::vector<LONG>{he, ve, hs, vs}), (std::vector<LONG>{2048, 1536, 0, 0}));
  EXPECT_EQ(Nivexa_GetSubSample(h_), 1);
}

// Every page of every dialog in both languages, drawn into PNG files: into the folder named by
// NIVEXA_DIALOG_SCREENSHOTS when set, else into a temporary one that is removed afterwards.
TEST_F(DialogDisplayTest, EveryPageDrawsInBothLanguages) {
  const char* wanted = std::getenv("NIVEXA_DIALOG_SCREENSHOTS");
  const std::filesystem::path folder =
      wanted != nullptr ? std::filesystem::path(wanted)
                        : std::filesystem::temp_directory_path() / "nivexa-dialog-shots";
  std::filesystem::create_directories(folder);
  struct Dialog {
    const char* name;
    BOOL (*open)(LONG, HWND);
    int pages;
  };
  const Dialog dialogs[] = {{"image", Nivexa_SetImageDlg, 2},
                            {"analog", Nivexa_SetAnalogDlg, 1},
                            {"stream", Nivexa_SetCameraDlg, 1}};
  for (const char* language : {"en", "ja"}) {
    setenv("LC_ALL", std::string(language) == "ja" ? "ja_JP.UTF-8" : "en_US.UTF-8", 1);
    for (const Dialog& d : dialogs) {
      Script script;
      for (int page = 0; page < d.pages; ++page) {
        script.act([page] { showPage(page); }).then([waited = 0]() mutable {
          return ++waited == 4;  // a few ticks for the page to be drawn
        });
        script.act([&, page] {
          const std::filesystem::path file =
              folder / (std::string("dialog-") + d.name + "-" + std::to_string(page) + "-" +
                        language + ".png");
          EXPECT_TRUE(screenshot(file.string())) << file;
          // The frame keeps its documented width, within the toolkit's rounding.
          EXPECT_GE(gtk_widget_get_allocated_width(dialogWindow()), 420) << file;
          EXPECT_LE(gtk_widget_get_allocated_width(dialogWindow()), 560) << file;
        });
      }
      script.act([] { press(-1, ids::kCancel); });
      EXPECT_EQ(script.run([&] { return d.open(h_, nullptr); }), 1) << d.name;
      EXPECT_TRUE(script.finished()) << d.name;
    }
  }
  for (const Dialog& d : dialogs) {
    EXPECT_TRUE(std::filesystem::exists(folder / (std::string("dialog-") + d.name + "-0-ja.png")));
  }
  if (wanted == nullptr) {
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
}  // namespace nivexa::dialogs::test
