// nivexasrc on a camera that comes through libusb on the emulated bus (run under
// nivexa-usb-emulator): the cable pulled while playing, and a hardware trigger's frames.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "NivexaSrc.h"

namespace {

constexpr GstClockTime kMessageTimeout = 10 * GST_SECOND;
constexpr GstClockTime kQuiet = GST_SECOND;
constexpr int kFramesWanted = 3;
constexpr int kPulsesAllowed = 30;

class NivexaSrcUsbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(gst_nivexa_src_register(nullptr));
  }
  void SetUp() override {
    control_ = std::getenv("NIVEXA_USB_EMULATOR_CONTROL");
    ASSERT_NE(control_, nullptr) << "not run under the emulator";
    harness_ = gst_harness_new_with_padnames("nivexasrc", nullptr, "src");
    gst_harness_use_systemclock(harness_);
    gst_harness_set_sink_caps_str(harness_, "video/x-raw,format=GRAY8");
    bus_ = gst_bus_new();
    gst_element_set_bus(harness_->element, bus_);
  }
  void TearDown() override {
    gst_harness_teardown(harness_);
    gst_object_unref(bus_);
  }
  void busControl(const std::string& command) { std::ofstream(control_) << command << '\n'; }
  // A buffer within `wait`, or nullptr.
  GstBuffer* pull(GstClockTime wait) {
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(wait / GST_USECOND);
    while (g_get_monotonic_time() < deadline) {
      if (GstBuffer* buffer = gst_harness_try_pull(harness_)) {
        return buffer;
      }
      g_usleep(10000);
    }
    return nullptr;
  }

  const char* control_ = nullptr;
  GstHarness* harness_ = nullptr;
  GstBus* bus_ = nullptr;
};

TEST_F(NivexaSrcUsbTest, CablePulledWhilePlayingPostsAnElementError) {
  gst_harness_play(harness_);
  for (int i = 0; i < kFramesWanted; ++i) {
    GstBuffer* buffer = gst_harness_pull(harness_);
    ASSERT_NE(buffer, nullptr);
    gst_buffer_unref(buffer);
  }
  busControl("unplug 0");
  GstMessage* message = gst_bus_timed_pop_filtered(bus_, kMessageTimeout, GST_MESSAGE_ERROR);
  ASSERT_NE(message, nullptr) << "no element error after the cable was pulled";
  GError* error = nullptr;
  gchar* detail = nullptr;
  gst_message_parse_error(message, &error, &detail);
  EXPECT_TRUE(g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ))
      << error->message;
  EXPECT_NE(std::string(detail).find("error 13"), std::string::npos) << detail;
  g_error_free(error);
  g_free(detail);
  gst_message_unref(message);
  busControl("replug 0");
}

TEST_F(NivexaSrcUsbTest, HardwareTriggerDeliversFramesOnlyAfterPulses) {
  g_object_set(harness_->element, "trigger", GST_NIVEXA_TRIGGER_HARDWARE, nullptr);
  gst_harness_play(harness_);
  GstBuffer* early = pull(kQuiet);
  EXPECT_EQ(early, nullptr) << "a frame without a trigger pulse";
  if (early != nullptr) {
    gst_buffer_unref(early);
  }
  int frames = 0;
  for (int pulse = 0; pulse < kPulsesAllowed && frames < kFramesWanted; ++pulse) {
    busControl("trigger 0");
    if (GstBuffer* buffer = pull(kQuiet)) {
      EXPECT_EQ(gst_buffer_get_size(buffer), gsize{2048} * 1536);
      gst_buffer_unref(buffer);
      ++frames;
    }
  }
  EXPECT_EQ(frames, kFramesWanted);
}

}  // namespace
