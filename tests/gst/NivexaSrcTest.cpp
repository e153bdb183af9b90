// nivexasrc against a virtual camera (the environment of the test program names it), through
// GStreamer's harness and real pipelines.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "NivexaSrc.h"

namespace {

constexpr int kSensorWidth = 2048;
constexpr int kSensorHeight = 1536;
constexpr GstClockTime kMessageTimeout = 10 * GST_SECOND;

class NivexaSrcTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(gst_nivexa_src_register(nullptr));
  }
};

// A harness around nivexasrc whose downstream accepts `caps`, with a bus to read its messages.
struct Harness {
  explicit Harness(const char* caps)
      : harness(gst_harness_new_with_padnames("nivexasrc", nullptr, "src")) {
    gst_harness_use_systemclock(harness);
    gst_harness_set_sink_caps_str(harness, caps);
    bus = gst_bus_new();
    gst_element_set_bus(harness->element, bus);
  }
  ~Harness() {
    gst_harness_teardown(harness);
    gst_object_unref(bus);
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  GstHarness* harness;
  GstBus* bus;
};

double meanOf(GstBuffer* buffer, int bytesPerPixel) {
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    return -1.0;
  }
  double sum = 0.0;
  const gsize pixels = map.size / bytesPerPixel;
  for (gsize i = 0; i < pixels; ++i) {
    sum += bytesPerPixel == 1 ? map.data[i] : (map.data[2 * i] | (map.data[2 * i + 1] << 8));
  }
  gst_buffer_unmap(buffer, &map);
  return sum / static_cast<double>(pixels);
}

guint64 counter(GstElement* element, const char* name) {
  guint64 value = 0;
  g_object_get(element, name, &value, nullptr);
  return value;
}

// Downstream picks the depth; each depth's frames are whole, packed and of 12 significant bits
// at 16; offsets are the camera's frame numbers, every gap accounted for as lost or dropped.
// The caps carry the rate the camera runs at for the chosen depth.
TEST_F(NivexaSrcTest, DownstreamChoosesDepthAndFramesComeNumbered) {
  struct Depth {
    const char* format;
    int bytesPerPixel;
  };
  std::vector<double> rates;
  for (const Depth depth : {Depth{"GRAY8", 1}, Depth{"GRAY16_LE", 2}, Depth{"GRAY8", 1}}) {
    SCOPED_TRACE(depth.format);
    Harness h((std::string("video/x-raw,format=") + depth.format).c_str());
    gst_harness_play(h.harness);
    GstCaps* caps = nullptr;
    guint64 previous = 0;
    GstClockTime previousPts = 0;
    guint64 gaps = 0;
    constexpr int kFrames = 20;
    for (int i = 0; i < kFrames; ++i) {
      GstBuffer* buffer = gst_harness_pull(h.harness);
      ASSERT_NE(buffer, nullptr);
      ASSERT_EQ(gst_buffer_get_size(buffer),
                static_cast<gsize>(kSensorWidth) * kSensorHeight * depth.bytesPerPixel);
      const GstVideoMeta* meta = gst_buffer_get_video_meta(buffer);
      ASSERT_NE(meta, nullptr);
      EXPECT_EQ(meta->stride[0], kSensorWidth * depth.bytesPerPixel);
      EXPECT_TRUE(GST_BUFFER_PTS_IS_VALID(buffer));
      if (i > 0) {
        EXPECT_GE(GST_BUFFER_PTS(buffer), previousPts);
        ASSERT_GT(GST_BUFFER_OFFSET(buffer), previous);
        const guint64 gap = GST_BUFFER_OFFSET(buffer) - previous - 1;
        EXPECT_EQ(gap > 0, GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT));
        gaps += gap;
        EXPECT_LE(gaps, counter(h.harness->element, "frames-lost") +
                            counter(h.harness->element, "frames-dropped"));
      }
      EXPECT_EQ(GST_BUFFER_OFFSET_END(buffer), GST_BUFFER_OFFSET(buffer) + 1);
      previous = GST_BUFFER_OFFSET(buffer);
      previousPts = GST_BUFFER_PTS(buffer);
      if (depth.bytesPerPixel == 2) {
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
        for (gsize byte = 1; byte < map.size; byte += 2) {
          ASSERT_LT(map.data[byte], 0x10) << "a sample above 4095";
        }
        gst_buffer_unmap(buffer, &map);
      }
      gst_buffer_unref(buffer);
    }
    caps = gst_pad_get_current_caps(h.harness->sinkpad);
    ASSERT_NE(caps, nullptr);
    GstVideoInfo info;
    ASSERT_TRUE(gst_video_info_from_caps(&info, caps));
    EXPECT_STREQ(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)), depth.format);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), kSensorWidth);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), kSensorHeight);
    ASSERT_GT(GST_VIDEO_INFO_FPS_N(&info), 0);
    rates.push_back(static_cast<double>(GST_VIDEO_INFO_FPS_N(&info)) / GST_VIDEO_INFO_FPS_D(&info));
    gst_caps_unref(caps);
  }
  // The 16-bit readout takes the sensor's wide line, twice the narrow one of 8 bits; each
  // element announces its own depth's rate whatever the camera ran at before it.
  ASSERT_EQ(rates.size(), 3u);
  EXPECT_NEAR(rates[0] / rates[1], 2.0, 0.05);
  EXPECT_DOUBLE_EQ(rates[2], rates[0]);
}

// While downstream holds every buffer of the pool no more come (the element never copies into
// others); the frames the camera sends meanwhile are counted (dropped, or lost where the
// library had no room to take them), and the next buffer
// marks the gap and comes with a QoS message.
TEST_F(NivexaSrcTest, FramesMissedWhileDownstreamHoldsEveryBufferAreCountedAndPosted) {
  Harness h("video/x-raw,format=GRAY8");
  gst_harness_play(h.harness);
  std::vector<GstBuffer*> held{gst_harness_pull(h.harness)};
  ASSERT_NE(held.front(), nullptr);
  constexpr int kMaxPoolBuffers = 32;
  constexpr auto kQuiet = std::chrono::milliseconds(300);
  for (bool more = true; more;) {
    std::this_thread::sleep_for(kQuiet);
    more = false;
    while (GstBuffer* buffer = gst_harness_try_pull(h.harness)) {
      held.push_back(buffer);
      more = true;
    }
    ASSERT_LE(held.size(), static_cast<size_t>(kMaxPoolBuffers));
  }
  const guint64 lastHeld = GST_BUFFER_OFFSET(held.back());
  EXPECT_GT(
      counter(h.harness->element, "frames-dropped") + counter(h.harness->element, "frames-lost"),
      0u);
  for (GstBuffer* buffer : held) {
    gst_buffer_unref(buffer);
  }
  GstBuffer* next = gst_harness_pull(h.harness);
  ASSERT_NE(next, nullptr);
  EXPECT_GT(GST_BUFFER_OFFSET(next), lastHeld + 1);
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(next, GST_BUFFER_FLAG_DISCONT));
  gst_buffer_unref(next);
  GstMessage* qos = gst_bus_timed_pop_filtered(h.bus, kMessageTimeout, GST_MESSAGE_QOS);
  ASSERT_NE(qos, nullptr);
  gboolean live = FALSE;
  gst_message_parse_qos(qos, &live, nullptr, nullptr, nullptr, nullptr);
  GstFormat format = GST_FORMAT_UNDEFINED;
  guint64 processed = 0;
  guint64 dropped = 0;
  gst_message_parse_qos_stats(qos, &format, &processed, &dropped);
  EXPECT_TRUE(live);
  EXPECT_EQ(format, GST_FORMAT_BUFFERS);
  EXPECT_GT(processed, 0u);
  EXPECT_GT(dropped, 0u);
  gst_message_unref(qos);
}

// Caps the camera cannot meet (this monochrome camera offers no colour, and one frame size)
// fail with a message naming what the camera delivers.
TEST_F(NivexaSrcTest, ImpossibleCapsFailNegotiationWithTheCamerasFormats) {
  for (const char* caps : {"video/x-raw,format=BGRx", "video/x-raw,width=640"}) {
    SCOPED_TRACE(caps);
    Harness h(caps);
    gst_harness_play(h.harness);
    GstMessage* message = gst_bus_timed_pop_filtered(h.bus, kMessageTimeout, GST_MESSAGE_ERROR);
    ASSERT_NE(message, nullptr);
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    EXPECT_TRUE(g_error_matches(error, GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION));
    EXPECT_NE(std::string(debug).find("GRAY16_LE"), std::string::npos) << debug;
    g_error_free(error);
    g_free(debug);
    gst_message_unref(message);
  }
}

// A source that cannot start says why: the camera asked for is not there, or the trigger asked
// for is not one the library has.
TEST_F(NivexaSrcTest, StartFailuresNameTheReason) {
  struct Case {
    const char* property;
    GValue value;
    GQuark domain;
    gint code;
  };
  GValue serial = G_VALUE_INIT;
  g_value_init(&serial, G_TYPE_STRING);
  g_value_set_static_string(&serial, "NOSUCHSERIAL");
  GValue device = G_VALUE_INIT;
  g_value_init(&device, G_TYPE_INT);
  g_value_set_int(&device, 7);
  GValue trigger = G_VALUE_INIT;
  g_value_init(&trigger, GST_TYPE_NIVEXA_TRIGGER);
  g_value_set_enum(&trigger, GST_NIVEXA_TRIGGER_SOFTWARE);
  for (const Case& c :
       {Case{"serial", serial, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND},
        Case{"device", device, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND},
        Case{"trigger", trigger, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS}}) {
    SCOPED_TRACE(c.property);
    Harness h("video/x-raw");
    g_object_set_property(G_OBJECT(h.harness->element), c.property, &c.value);
    EXPECT_EQ(gst_element_set_state(h.harness->element, GST_STATE_PLAYING),
              GST_STATE_CHANGE_FAILURE);
    GstMessage* message = gst_bus_pop_filtered(h.bus, GST_MESSAGE_ERROR);
    ASSERT_NE(message, nullptr);
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    EXPECT_TRUE(g_error_matches(error, c.domain, c.code)) << error->message;
    g_error_free(error);
    gst_message_unref(message);
  }
  g_value_unset(&serial);
  g_value_unset(&device);
  g_value_unset(&trigger);
}

// Exposure changed while playing shows in the frames within the buffers already filled ahead,
// and stays.
TEST_F(NivexaSrcTest, ExposureChangedWhilePlayingReachesTheFrames) {
  Harness h("video/x-raw,format=GRAY16_LE");
  constexpr double kShort = 0.002;
  constexpr double kLong = 0.008;
  g_object_set(h.harness->element, "exposure", kShort, nullptr);
  gst_harness_play(h.harness);
  GstBuffer* first = gst_harness_pull(h.harness);
  ASSERT_NE(first, nullptr);
  const double before = meanOf(first, 2);
  gst_buffer_unref(first);

  g_object_set(h.harness->element, "exposure", kLong, nullptr);
  double exposureRead = 0.0;
  g_object_get(h.harness->element, "exposure", &exposureRead, nullptr);
  EXPECT_DOUBLE_EQ(exposureRead, kLong);
  // Frames filled before the change may still be on their way: the pool's buffers and the
  // harness's queue.
  constexpr int kFramesInFlight = 12;
  int changedAt = -1;
  for (int i = 0; i < kFramesInFlight && changedAt < 0; ++i) {
    GstBuffer* buffer = gst_harness_pull(h.harness);
    ASSERT_NE(buffer, nullptr);
    if (meanOf(buffer, 2) > before * 1.5) {
      changedAt = i;
    }
    gst_buffer_unref(buffer);
  }
  ASSERT_GE(changedAt, 0) << "mean before " << before;
  GstBuffer* later = gst_harness_pull(h.harness);
  ASSERT_NE(later, nullptr);
  EXPECT_GT(meanOf(later, 2), before * 1.5);
  gst_buffer_unref(later);
}

int openDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// Each cycle opens the camera, streams and closes it; nothing may pile up across cycles.
TEST_F(NivexaSrcTest, HundredStateCyclesEachStreamAndLeaveNothingOpen) {
  GstElement* pipeline = gst_parse_launch(
      "nivexasrc name=src ! video/x-raw,format=GRAY8 ! fakesink name=sink sync=false", nullptr);
  ASSERT_NE(pipeline, nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstPad* pad = gst_element_get_static_pad(sink, "sink");
  gint buffers = 0;
  gst_pad_add_probe(
      pad, GST_PAD_PROBE_TYPE_BUFFER,
      [](GstPad*, GstPadProbeInfo*, gpointer count) {
        g_atomic_int_inc(static_cast<gint*>(count));
        return GST_PAD_PROBE_OK;
      },
      &buffers, nullptr);
  GstBus* bus = gst_element_get_bus(pipeline);
  constexpr int kCycles = 100;
  constexpr int kWarmUpCycles = 2;
  int descriptorsAfterWarmUp = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const gint before = g_atomic_int_get(&buffers);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    // Playing and prerolled means a frame reached the sink.
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, kMessageTimeout,
        static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
    ASSERT_NE(message, nullptr) << "cycle " << cycle;
    ASSERT_EQ(GST_MESSAGE_TYPE(message), GST_MESSAGE_ASYNC_DONE) << "cycle " << cycle;
    gst_message_unref(message);
    ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    ASSERT_GT(g_atomic_int_get(&buffers), before) << "cycle " << cycle;
    if (cycle + 1 == kWarmUpCycles) {
      descriptorsAfterWarmUp = openDescriptors();
    }
  }
  EXPECT_EQ(openDescriptors(), descriptorsAfterWarmUp);
  gst_object_unref(bus);
  gst_object_unref(pad);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

// Mean absolute difference of two byte images of the same size, and the spread of the first.
struct Comparison {
  double meanDifference = 0.0;
  int spread = 0;
};

Comparison compare(GstBuffer* a, GstBuffer* b) {
  Comparison result;
  GstMapInfo ma;
  GstMapInfo mb;
  if (!gst_buffer_map(a, &ma, GST_MAP_READ)) {
    return {1e9, 0};
  }
  if (!gst_buffer_map(b, &mb, GST_MAP_READ)) {
    gst_buffer_unmap(a, &ma);
    return {1e9, 0};
  }
  if (ma.size == mb.size && ma.size > 0) {
    double sum = 0.0;
    int low = 255;
    int high = 0;
    for (gsize i = 0; i < ma.size; ++i) {
      sum += std::abs(static_cast<int>(ma.data[i]) - static_cast<int>(mb.data[i]));
      low = std::min<int>(low, ma.data[i]);
      high = std::max<int>(high, ma.data[i]);
    }
    result = {sum / static_cast<double>(ma.size), high - low};
  } else {
    result = {1e9, 0};
  }
  gst_buffer_unmap(b, &mb);
  gst_buffer_unmap(a, &ma);
  return result;
}

GstSample* pullSample(GstElement* appsink) {
  GstSample* sample = nullptr;
  g_signal_emit_by_name(appsink, "try-pull-sample", kMessageTimeout, &sample);
  return sample;
}

// Frames sent as RTP over loopback arrive whole on the other side and show what was sent: the
// virtual camera's scene without noise is still, so the last frame received matches the last
// frame sent to within a few levels, while a torn, shifted or swapped frame would not.
TEST_F(NivexaSrcTest, FramesCrossLoopbackAsRtp) {
  constexpr int kWidth = 256;
  constexpr int kHeight = 192;
  constexpr int kFrames = 10;
  constexpr double kMaxMeanDifference = 3.0;
  constexpr int kMinSpread = 50;
  const std::string size = "width=" + std::to_string(kWidth) + ",height=" + std::to_string(kHeight);
  GstElement* receiver = gst_parse_launch(
      ("udpsrc name=udp address=127.0.0.1 port=0 buffer-size=8000000 caps=\"application/x-rtp,"
       "media=video,clock-rate=90000,encoding-name=RAW,sampling=RGB,depth=(string)8,width=("
       "string)" +
       std::to_string(kWidth) + ",height=(string)" + std::to_string(kHeight) +
       ",colorimetry=(string)SMPTE240M\" ! rtpvrawdepay ! appsink name=frames sync=false")
          .c_str(),
      nullptr);
  ASSERT_NE(receiver, nullptr);
  ASSERT_NE(gst_element_set_state(receiver, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstElement* udp = gst_bin_get_by_name(GST_BIN(receiver), "udp");
  gint port = 0;
  g_object_get(udp, "port", &port, nullptr);
  gst_object_unref(udp);
  ASSERT_GT(port, 0);

  GstElement* sender = gst_parse_launch(
      ("nivexasrc ! videoscale ! videoconvert ! video/x-raw,format=RGB," + size +
       " ! tee name=t ! queue ! rtpvrawpay ! udpsink host=127.0.0.1 sync=false port=" +
       std::to_string(port) + " t. ! queue ! appsink name=sent sync=false max-buffers=1 drop=true")
          .c_str(),
      nullptr);
  ASSERT_NE(sender, nullptr);
  ASSERT_NE(gst_element_set_state(sender, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstElement* frames = gst_bin_get_by_name(GST_BIN(receiver), "frames");
  GstElement* sent = gst_bin_get_by_name(GST_BIN(sender), "sent");
  GstSample* last = nullptr;
  int received = 0;
  for (; received < kFrames; ++received) {
    GstSample* sample = pullSample(frames);
    if (sample == nullptr) {
      break;
    }
    EXPECT_EQ(gst_buffer_get_size(gst_sample_get_buffer(sample)),
              static_cast<gsize>(kWidth) * kHeight * 3);
    if (last != nullptr) {
      gst_sample_unref(last);
    }
    last = sample;
  }
  EXPECT_EQ(received, kFrames);
  GstSample* reference = pullSample(sent);
  ASSERT_NE(reference, nullptr);
  ASSERT_NE(last, nullptr);
  const Comparison comparison =
      compare(gst_sample_get_buffer(last), gst_sample_get_buffer(reference));
  EXPECT_LT(comparison.meanDifference, kMaxMeanDifference);
  EXPECT_GT(comparison.spread, kMinSpread);
  gst_sample_unref(reference);
  gst_sample_unref(last);
  gst_element_set_state(sender, GST_STATE_NULL);
  gst_element_set_state(receiver, GST_STATE_NULL);
  gst_object_unref(sent);
  gst_object_unref(frames);
  gst_object_unref(sender);
  gst_object_unref(receiver);
}

}  // namespace
