// nivexasrc: a live source whose buffers are the memory the camera's buffer stream writes into.
// Only the public interface of the library is used (NivexaSdk.h, NivexaStream.h).
#include "NivexaSrc.h"

#include <gst/video/video.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#define NIVEXA_NO_WINDOWS_TYPES
#include "NivexaPool.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"

GST_DEBUG_CATEGORY_STATIC(nivexa_src_debug);
#define GST_CAT_DEFAULT nivexa_src_debug

namespace {

constexpr int kMaxDevices = 10;          // what Nivexa_EnumDevice fills
constexpr int kDeviceNameBytes = 256;    // each of its names
constexpr NivexaLong kSerialBytes = 32;  // Nivexa_ReadSerialNumberA's smallest buffer
constexpr int kMaxDeviceIndex = 31;      // Nivexa_GetDeviceName's range

constexpr int kBits8 = 8;
constexpr int kBits16 = 16;
constexpr int kBitsBgr = 24;
constexpr int kBitsBgrx = 32;
constexpr int kBitsPerByte = 8;
constexpr NivexaLong kSubsampleHalf = 1;

// Buffers lent to the camera beyond what downstream asks to hold: enough that a frame always
// finds one while downstream works on the previous ones.
constexpr guint kBuffersAhead = 4;
constexpr guint kMaxBuffers = 32;

constexpr guint64 kNsPerUs = 1000;
constexpr double kNoTemperature = -273.15;
constexpr double kMaxExposureSeconds = 3600.0;

enum Property {
  kPropDevice = 1,
  kPropSerial,
  kPropExposure,
  kPropGain,
  kPropBlackLevel,
  kPropCooler,
  kPropTrigger,
  kPropTemperature,
  kPropFramesLost,
  kPropFramesDropped,
};

// The 16-bit formats carry the sensor's 12 significant bits in the low bits of each word.
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) { GRAY8, GRAY16_LE, BGR, BGRx }, "
                    "width = (int) [ 1, 2147483647 ], height = (int) [ 1, 2147483647 ], "
                    "framerate = (fraction) [ 0/1, 2147483647/1 ]"));

const char* errorMeaning(NivexaLong code) {
  switch (code) {
    case NIVEXA_OK:
      return "no error recorded";
    case NIVEXA_ERR_NO_CAMERA:
      return "no camera engine, or refused in the current acquisition mode";
    case NIVEXA_ERR_DEVICE:
      return "device number not present, or the device did not open";
    case NIVEXA_ERR_THREAD:
      return "acquisition thread or its event could not be created";
    case NIVEXA_ERR_WINDOW:
      return "preview window could not be created";
    case NIVEXA_ERR_MEMORY:
      return "buffer missing, empty or too small";
    case NIVEXA_ERR_REGISTER:
      return "register access or device command failed";
    case NIVEXA_ERR_FORMAT:
      return "capture window or subsample setting not valid";
    case NIVEXA_ERR_FRAME:
      return "frame did not arrive in time or could not be read";
    case NIVEXA_ERR_ARGUMENT:
      return "argument out of range or not accepted";
    case NIVEXA_ERR_UNSUPPORTED:
      return "not supported by this camera";
    case NIVEXA_ERR_TEXT:
      return "text conversion, temperature read or recording start failed";
    case NIVEXA_ERR_STREAM_LOST:
      return "the camera stopped delivering frames";
    case NIVEXA_ERR_MASK_FILE:
      return "mask file could not be opened or does not match";
    default:
      return "unknown error";
  }
}

// What a negotiated format asks of the library.
struct StreamFormat {
  int bitsPerPixel = 0;
  int32_t flags = 0;
};

bool streamFormatOf(GstVideoFormat format, StreamFormat* out) {
  switch (format) {
    case GST_VIDEO_FORMAT_GRAY8:
      *out = {kBits8, 0};
      return true;
    case GST_VIDEO_FORMAT_GRAY16_LE:
      *out = {kBits16, 0};
      return true;
    case GST_VIDEO_FORMAT_BGR:
      *out = {kBitsBgr, NIVEXA_STREAM_PROCESSED};
      return true;
    case GST_VIDEO_FORMAT_BGRx:
      *out = {kBitsBgrx, NIVEXA_STREAM_PROCESSED};
      return true;
    default:
      return false;
  }
}

// Everything the element keeps besides its GObject parts. Properties are written by the
// application's thread and read by the streaming thread; `lock` also keeps the camera handle
// from being released under a property change.
struct SrcState {
  std::mutex lock;
  // Properties.
  int device = 0;
  std::string serial;
  double exposure = 0.0;  // 0: the camera's stored exposure
  int gain = -1;          // -1: the camera's stored gain
  int blackLevel = -1;    // -1: the camera's stored black level
  bool cooler = true;
  GstNivexaTrigger trigger = GST_NIVEXA_TRIGGER_NONE;
  // The open camera.
  NivexaLong handle = 0;
  bool colourOffered = false;
  // The negotiated stream.
  GstVideoInfo info{};
  StreamFormat format{};
  GstNivexaPool* pool = nullptr;
  bool streaming = false;
  bool haveFrame = false;
  uint32_t lastFrameNumber = 0;
  NivexaStreamStatistics statistics{};
  guint64 reportedLoss = 0;
};

}  // namespace

struct _GstNivexaSrc {
  GstPushSrc parent;
  SrcState* state;
};

G_DEFINE_TYPE(GstNivexaSrc, gst_nivexa_src, GST_TYPE_PUSH_SRC)

GType gst_nivexa_trigger_get_type(void) {
  static GType type = 0;
  static const GEnumValue values[] = {
      {GST_NIVEXA_TRIGGER_NONE, "Free running at the camera's frame rate", "none"},
      {GST_NIVEXA_TRIGGER_SOFTWARE, "Software trigger (not offered by the library)", "software"},
      {GST_NIVEXA_TRIGGER_HARDWARE, "One frame per external trigger", "hardware"},
      {0, nullptr, nullptr}};
  if (g_once_init_enter(&type)) {
    g_once_init_leave(&type, g_enum_register_static("GstNivexaTrigger", values));
  }
  return type;
}

namespace {

#define NIVEXA_SRC_ERROR(self, domain, code, text, call)                                         \
  do {                                                                                           \
    const NivexaLong sdkError = Nivexa_GetLastError((self)->state->handle);                      \
    GST_ELEMENT_ERROR(                                                                           \
        self, domain, code, text,                                                                \
        ("%s failed: error %d (%s)", call, static_cast<int>(sdkError), errorMeaning(sdkError))); \
  } while (0)

void warnSetting(GstNivexaSrc* self, const char* what, const char* call) {
  const NivexaLong code = Nivexa_GetLastError(self->state->handle);
  GST_ELEMENT_WARNING(
      self, RESOURCE, SETTINGS, ("Could not set the camera's %s", what),
      ("%s failed: error %d (%s)", call, static_cast<int>(code), errorMeaning(code)));
}

// Each apply* sends one property to the open camera; the caller holds the state lock.
void applyExposure(GstNivexaSrc* self) {
  SrcState& s = *self->state;
  if (s.handle == 0 || s.exposure <= 0.0) {
    return;
  }
  if (!Nivexa_SetExposureTimeEx(s.handle, s.exposure)) {
    warnSetting(self, "exposure", "Nivexa_SetExposureTimeEx");
  }
}

void applyGain(GstNivexaSrc* self) {
  SrcState& s = *self->state;
  if (s.handle != 0 && s.gain >= 0 && !Nivexa_SetGlobalGain(s.handle, s.gain)) {
    warnSetting(self, "gain", "Nivexa_SetGlobalGain");
  }
}

void applyBlackLevel(GstNivexaSrc* self) {
  SrcState& s = *self->state;
  if (s.handle != 0 && s.blackLevel >= 0 &&
      !Nivexa_SetFilterValue(s.handle, NIVEXA_FILTER_BLACK_LEVEL, s.blackLevel)) {
    warnSetting(self, "black level", "Nivexa_SetFilterValue");
  }
}

void applyCooler(GstNivexaSrc* self) {
  SrcState& s = *self->state;
  if (s.handle != 0 && !Nivexa_SetPeltier(s.handle, s.cooler ? 1 : 0)) {
    warnSetting(self, "cooler", "Nivexa_SetPeltier");
  }
}

// Opens the camera the properties name on a fresh handle; false after posting the error.
bool openCamera(GstNivexaSrc* self) {
  SrcState& s = *self->state;
  s.handle = Nivexa_Initialize(nullptr);
  if (s.handle == 0) {
    GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("Out of memory opening the camera library"),
                      (nullptr));
    return false;
  }
  char names[kMaxDevices][kDeviceNameBytes] = {};
  const NivexaLong count = Nivexa_EnumDevice(s.handle, names);
  if (count <= 0) {
    NIVEXA_SRC_ERROR(self, RESOURCE, NOT_FOUND, ("No camera is attached"),
                     "Nivexa_EnumDevice (no camera listed)");
    return false;
  }
  if (!s.serial.empty()) {
    for (NivexaLong index = 0; index < count; ++index) {
      std::array<char, kSerialBytes> serial{};
      if (Nivexa_SetDeviceNumber(s.handle, index) &&
          Nivexa_ReadSerialNumberA(s.handle, serial.data(), kSerialBytes) &&
          s.serial == serial.data()) {
        return true;
      }
    }
    GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND,
                      ("No camera with serial number %s is attached", s.serial.c_str()),
                      ("%d cameras looked at", static_cast<int>(count)));
    return false;
  }
  if (s.device >= count) {
    GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("There is no camera %d", s.device),
                      ("%d cameras attached", static_cast<int>(count)));
    return false;
  }
  if (!Nivexa_SetDeviceNumber(s.handle, s.device)) {
    NIVEXA_SRC_ERROR(self, RESOURCE, OPEN_READ, ("Camera %d did not open", s.device),
                     "Nivexa_SetDeviceNumber");
    return false;
  }
  return true;
}

// Whether the camera delivers colour bitmaps: asking for one and putting the depth back is the
// only way the interface tells.
bool offersColour(NivexaLong handle) {
  const NivexaLong depth = Nivexa_GetColorMode(handle);
  if (!Nivexa_SetColorMode(handle, kBitsBgr)) {
    Nivexa_GetLastError(handle);  // the refusal is the answer, not an error to report
    return false;
  }
  Nivexa_SetColorMode(handle, depth);
  return true;
}

void releaseCamera(SrcState& s) {
  if (s.pool != nullptr) {
    gst_nivexa_pool_stop_lending(s.pool);
    NivexaStream_GetStatistics(s.handle, &s.statistics);
    gst_object_unref(s.pool);
    s.pool = nullptr;
  }
  s.streaming = false;
  if (s.handle != 0) {
    Nivexa_Release(s.handle);
    s.handle = 0;
  }
}

// The frame size of the capture area the next stream takes.
void captureSize(NivexaLong handle, int* width, int* height) {
  *width = Nivexa_Width(handle);
  *height = Nivexa_Height(handle);
  if (Nivexa_GetSubSample(handle) == kSubsampleHalf) {
    *width /= 2;
    *height /= 2;
  }
}

// The rate the camera starts frames at as now programmed, as a fraction; 0/1 (GStreamer's
// "variable") when the library cannot say.
void announcedRate(NivexaLong handle, gint* numerator, gint* denominator) {
  double framesPerSecond = 0.0;
  *numerator = 0;
  *denominator = 1;
  if (NivexaStream_GetFrameRate(handle, &framesPerSecond) && framesPerSecond > 0.0) {
    gst_util_double_to_fraction(framesPerSecond, numerator, denominator);
  }
}

GstCaps* cameraCaps(SrcState& s) {
  int width = 0;
  int height = 0;
  captureSize(s.handle, &width, &height);
  GValue formats = G_VALUE_INIT;
  gst_value_list_init(&formats, 4);
  auto add = [&formats](const char* name) {
    GValue format = G_VALUE_INIT;
    g_value_init(&format, G_TYPE_STRING);
    g_value_set_static_string(&format, name);
    gst_value_list_append_and_take_value(&formats, &format);
  };
  // The camera's stored depth comes first, so that unconstrained downstream gets it.
  if (Nivexa_GetColorMode(s.handle) == kBits16) {
    add("GRAY16_LE");
    add("GRAY8");
  } else {
    add("GRAY8");
    add("GRAY16_LE");
  }
  if (s.colourOffered) {
    add("BGRx");
    add("BGR");
  }
  // The camera's last programming; the stream's start may change it (the depth sets the line
  // time), and create() then announces the stream's own rate.
  gint rateNumerator = 0;
  gint rateDenominator = 1;
  announcedRate(s.handle, &rateNumerator, &rateDenominator);
  GstCaps* caps =
      gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                          "framerate", GST_TYPE_FRACTION, rateNumerator, rateDenominator, nullptr);
  gst_structure_take_value(gst_caps_get_structure(caps, 0), "format", &formats);
  return caps;
}

GstNivexaSrc* self_of(gpointer object) {
  return GST_NIVEXA_SRC(object);
}

// ---- GObject ----

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
  GstNivexaSrc* self = self_of(object);
  SrcState& s = *self->state;
  std::lock_guard<std::mutex> lock(s.lock);
  switch (id) {
    case kPropDevice:
      s.device = g_value_get_int(value);
      break;
    case kPropSerial: {
      const char* serial = g_value_get_string(value);
      s.serial = serial != nullptr ? serial : "";
      break;
    }
    case kPropExposure:
      s.exposure = g_value_get_double(value);
      applyExposure(self);
      break;
    case kPropGain:
      s.gain = g_value_get_int(value);
      applyGain(self);
      break;
    case kPropBlackLevel:
      s.blackLevel = g_value_get_int(value);
      applyBlackLevel(self);
      break;
    case kPropCooler:
      s.cooler = g_value_get_boolean(value);
      applyCooler(self);
      break;
    case kPropTrigger:
      s.trigger = static_cast<GstNivexaTrigger>(g_value_get_enum(value));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
  }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
  SrcState& s = *self_of(object)->state;
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.pool != nullptr && (id == kPropFramesLost || id == kPropFramesDropped)) {
    NivexaStream_GetStatistics(s.handle, &s.statistics);
  }
  switch (id) {
    case kPropDevice:
      g_value_set_int(value, s.device);
      break;
    case kPropSerial:
      g_value_set_string(value, s.serial.empty() ? nullptr : s.serial.c_str());
      break;
    case kPropExposure:
      g_value_set_double(value, s.exposure);
      break;
    case kPropGain:
      g_value_set_int(value, s.gain);
      break;
    case kPropBlackLevel:
      g_value_set_int(value, s.blackLevel);
      break;
    case kPropCooler:
      g_value_set_boolean(value, s.cooler);
      break;
    case kPropTrigger:
      g_value_set_enum(value, s.trigger);
      break;
    case kPropTemperature: {
      NivexaBool ok = 0;
      const double celsius = s.handle != 0 ? Nivexa_GetTemperatureEx(s.handle, &ok) : 0.0;
      g_value_set_double(value, ok ? celsius : kNoTemperature);
      break;
    }
    case kPropFramesLost:
      g_value_set_uint64(value, s.statistics.framesLost);
      break;
    case kPropFramesDropped:
      g_value_set_uint64(value, s.statistics.framesDropped);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
  }
}

void finalize(GObject* object) {
  GstNivexaSrc* self = self_of(object);
  releaseCamera(*self->state);
  delete self->state;
  G_OBJECT_CLASS(gst_nivexa_src_parent_class)->finalize(object);
}

// ---- GstBaseSrc ----

gboolean start(GstBaseSrc* base) {
  GstNivexaSrc* self = self_of(base);
  SrcState& s = *self->state;
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.trigger == GST_NIVEXA_TRIGGER_SOFTWARE) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("The camera library offers no software trigger"),
                      ("use trigger=none or trigger=hardware"));
    return FALSE;
  }
  GST_DEBUG_OBJECT(self, "opening the camera");
  if (!openCamera(self)) {
    releaseCamera(s);
    return FALSE;
  }
  GST_DEBUG_OBJECT(self, "camera open");
  applyCooler(self);
  applyExposure(self);
  applyGain(self);
  applyBlackLevel(self);
  s.colourOffered = offersColour(s.handle);
  s.statistics = NivexaStreamStatistics{};
  s.reportedLoss = 0;
  s.haveFrame = false;
  return TRUE;
}

gboolean stop(GstBaseSrc* base) {
  SrcState& s = *self_of(base)->state;
  std::lock_guard<std::mutex> lock(s.lock);
  GST_DEBUG_OBJECT(base, "closing the camera");
  releaseCamera(s);
  GST_DEBUG_OBJECT(base, "camera closed");
  return TRUE;
}

GstCaps* getCaps(GstBaseSrc* base, GstCaps* filter) {
  SrcState& s = *self_of(base)->state;
  GstCaps* caps = nullptr;
  {
    std::lock_guard<std::mutex> lock(s.lock);
    caps = s.handle != 0 ? cameraCaps(s) : gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
  }
  if (filter != nullptr) {
    GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

gboolean negotiate(GstBaseSrc* base) {
  if (GST_BASE_SRC_CLASS(gst_nivexa_src_parent_class)->negotiate(base)) {
    return TRUE;
  }
  GstNivexaSrc* self = self_of(base);
  GstCaps* offered = getCaps(base, nullptr);
  GstCaps* accepted = gst_pad_peer_query_caps(GST_BASE_SRC_PAD(base), nullptr);
  if (accepted == nullptr) {
    accepted = gst_caps_new_empty();
  }
  gchar* offeredText = gst_caps_to_string(offered);
  gchar* acceptedText = gst_caps_to_string(accepted);
  GST_ELEMENT_ERROR(
      self, CORE, NEGOTIATION, ("Downstream accepts none of the formats the camera delivers"),
      ("the camera delivers %s; downstream's answer to that: %s", offeredText, acceptedText));
  g_free(offeredText);
  g_free(acceptedText);
  gst_caps_unref(offered);
  gst_caps_unref(accepted);
  return FALSE;
}

gboolean setCaps(GstBaseSrc* base, GstCaps* caps) {
  GstNivexaSrc* self = self_of(base);
  SrcState& s = *self->state;
  std::lock_guard<std::mutex> lock(s.lock);
  GstVideoInfo info;
  StreamFormat format;
  if (!gst_video_info_from_caps(&info, caps) ||
      !streamFormatOf(GST_VIDEO_INFO_FORMAT(&info), &format)) {
    GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("The camera cannot deliver %" GST_PTR_FORMAT, caps),
                      (nullptr));
    return FALSE;
  }
  // The stream's own rate, announced once it started, changes nothing else.
  if (s.pool != nullptr && GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_INFO_FORMAT(&s.info) &&
      GST_VIDEO_INFO_WIDTH(&info) == GST_VIDEO_INFO_WIDTH(&s.info) &&
      GST_VIDEO_INFO_HEIGHT(&info) == GST_VIDEO_INFO_HEIGHT(&s.info)) {
    GST_VIDEO_INFO_FPS_N(&s.info) = GST_VIDEO_INFO_FPS_N(&info);
    GST_VIDEO_INFO_FPS_D(&s.info) = GST_VIDEO_INFO_FPS_D(&info);
    return TRUE;
  }
  // A new format needs a new stream and a new pool (decide_allocation makes them).
  if (s.pool != nullptr) {
    gst_nivexa_pool_stop_lending(s.pool);
    gst_object_unref(s.pool);
    s.pool = nullptr;
    s.streaming = false;
  }
  if (!Nivexa_SetColorMode(s.handle, format.bitsPerPixel)) {
    NIVEXA_SRC_ERROR(self, CORE, NEGOTIATION,
                     ("The camera refuses %d bits per pixel", format.bitsPerPixel),
                     "Nivexa_SetColorMode");
    return FALSE;
  }
  // Raw rows are packed; processed ones are padded to 4 bytes, as GStreamer's default layout.
  if ((format.flags & NIVEXA_STREAM_PROCESSED) == 0) {
    GST_VIDEO_INFO_PLANE_STRIDE(&info, 0) =
        GST_VIDEO_INFO_WIDTH(&info) * (format.bitsPerPixel / kBitsPerByte);
    GST_VIDEO_INFO_SIZE(&info) =
        static_cast<gsize>(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0)) * GST_VIDEO_INFO_HEIGHT(&info);
  }
  s.info = info;
  s.format = format;
  return TRUE;
}

gboolean decideAllocation(GstBaseSrc* base, GstQuery* query) {
  GstNivexaSrc* self = self_of(base);
  SrcState& s = *self->state;
  std::lock_guard<std::mutex> lock(s.lock);
  const uint32_t frameBytes = NivexaStream_FrameBytes(s.handle, s.format.flags);
  if (frameBytes == 0 || frameBytes != GST_VIDEO_INFO_SIZE(&s.info)) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS,
                      ("The camera's frames do not have the negotiated size"),
                      ("%u bytes per frame for %" G_GSIZE_FORMAT " expected", frameBytes,
                       GST_VIDEO_INFO_SIZE(&s.info)));
    return FALSE;
  }
  GstVideoInfo standard;
  gst_video_info_set_format(&standard, GST_VIDEO_INFO_FORMAT(&s.info),
                            GST_VIDEO_INFO_WIDTH(&s.info), GST_VIDEO_INFO_HEIGHT(&s.info));
  if (GST_VIDEO_INFO_PLANE_STRIDE(&standard, 0) != GST_VIDEO_INFO_PLANE_STRIDE(&s.info, 0) &&
      !gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr)) {
    GST_ELEMENT_ERROR(
        self, CORE, NEGOTIATION,
        ("Rows of %d pixels need downstream to accept video metadata",
         GST_VIDEO_INFO_WIDTH(&s.info)),
        ("the camera packs rows of %d bytes; plain buffers would pad them to %d",
         GST_VIDEO_INFO_PLANE_STRIDE(&s.info, 0), GST_VIDEO_INFO_PLANE_STRIDE(&standard, 0)));
    return FALSE;
  }
  guint downstreamMin = 0;
  if (gst_query_get_n_allocation_pools(query) > 0) {
    gst_query_parse_nth_allocation_pool(query, 0, nullptr, nullptr, &downstreamMin, nullptr);
  }
  const guint count = MIN(downstreamMin + kBuffersAhead, kMaxBuffers);

  GstCaps* caps = nullptr;
  gst_query_parse_allocation(query, &caps, nullptr);
  GstNivexaPool* pool = gst_nivexa_pool_new(s.handle, frameBytes);
  GstStructure* config = gst_buffer_pool_get_config(GST_BUFFER_POOL(pool));
  gst_buffer_pool_config_set_params(config, caps, frameBytes, count, count);
  if (!gst_buffer_pool_set_config(GST_BUFFER_POOL(pool), config)) {
    gst_object_unref(pool);
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("The buffer pool refused its settings"),
                      (nullptr));
    return FALSE;
  }
  if (gst_query_get_n_allocation_pools(query) > 0) {
    gst_query_set_nth_allocation_pool(query, 0, GST_BUFFER_POOL(pool), frameBytes, count, count);
  } else {
    gst_query_add_allocation_pool(query, GST_BUFFER_POOL(pool), frameBytes, count, count);
  }
  if (s.pool != nullptr) {
    gst_nivexa_pool_stop_lending(s.pool);
    gst_object_unref(s.pool);
  }
  s.pool = pool;
  s.streaming = false;
  return TRUE;
}

gboolean unlock(GstBaseSrc* base) {
  SrcState& s = *self_of(base)->state;
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.pool != nullptr) {
    gst_nivexa_pool_interrupt(s.pool, true);
  }
  return TRUE;
}

gboolean unlockStop(GstBaseSrc* base) {
  SrcState& s = *self_of(base)->state;
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.pool != nullptr) {
    gst_nivexa_pool_interrupt(s.pool, false);
  }
  return TRUE;
}

// Lost or dropped frames since the last report go out as a QoS message.
void reportLoss(GstNivexaSrc* self, GstBuffer* buffer) {
  SrcState& s = *self->state;
  NivexaStream_GetStatistics(s.handle, &s.statistics);
  const guint64 loss = s.statistics.framesLost + s.statistics.framesDropped;
  if (loss == s.reportedLoss) {
    return;
  }
  s.reportedLoss = loss;
  GstMessage* qos =
      gst_message_new_qos(GST_OBJECT(self), TRUE, GST_BUFFER_PTS(buffer), GST_CLOCK_TIME_NONE,
                          GST_BUFFER_PTS(buffer), GST_CLOCK_TIME_NONE);
  gst_message_set_qos_stats(qos, GST_FORMAT_BUFFERS, s.statistics.framesDelivered, loss);
  gst_element_post_message(GST_ELEMENT(self), qos);
}

// The pipeline clock's running time at the frame's arrival: now, less the frame's age on the
// host's monotonic clock.
GstClockTime arrivalRunningTime(GstNivexaSrc* self, uint64_t arrivalNs) {
  GstClock* clock = gst_element_get_clock(GST_ELEMENT(self));
  if (clock == nullptr) {
    return GST_CLOCK_TIME_NONE;
  }
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(self));
  const guint64 hostNow = static_cast<guint64>(g_get_monotonic_time()) * kNsPerUs;
  const GstClockTime age = hostNow > arrivalNs ? hostNow - arrivalNs : 0;
  const GstClockTime running = now > base ? now - base : 0;
  return running > age ? running - age : 0;
}

// The negotiated caps with another frame rate, pushed downstream.
bool announce(GstBaseSrc* base, gint numerator, gint denominator) {
  GstCaps* current = gst_pad_get_current_caps(GST_BASE_SRC_PAD(base));
  if (current == nullptr) {
    return false;
  }
  GstCaps* caps = gst_caps_make_writable(current);
  gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, numerator, denominator, nullptr);
  const bool accepted = gst_base_src_set_caps(base, caps) != FALSE;
  gst_caps_unref(caps);
  return accepted;
}

GstFlowReturn create(GstPushSrc* push, GstBuffer** out) {
  GstNivexaSrc* self = self_of(push);
  SrcState& s = *self->state;
  GstNivexaPool* pool = nullptr;
  std::optional<std::pair<gint, gint>> newRate;
  {
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.pool == nullptr) {
      return GST_FLOW_NOT_NEGOTIATED;
    }
    if (!s.streaming) {
      const int32_t flags =
          s.format.flags | (s.trigger == GST_NIVEXA_TRIGGER_HARDWARE ? NIVEXA_STREAM_TRIGGERED : 0);
      if (!NivexaStream_Start(s.handle, flags)) {
        NIVEXA_SRC_ERROR(self, RESOURCE, FAILED, ("The camera's stream did not start"),
                         "NivexaStream_Start");
        return GST_FLOW_ERROR;
      }
      s.streaming = true;
      gint numerator = 0;
      gint denominator = 1;
      announcedRate(s.handle, &numerator, &denominator);
      if (numerator != GST_VIDEO_INFO_FPS_N(&s.info) ||
          denominator != GST_VIDEO_INFO_FPS_D(&s.info)) {
        newRate = {numerator, denominator};
      }
    }
    pool = GST_NIVEXA_POOL(gst_object_ref(s.pool));
  }
  // Before the first buffer: downstream learns the rate the started stream runs at.
  if (newRate && !announce(GST_BASE_SRC(push), newRate->first, newRate->second)) {
    gst_object_unref(pool);
    return GST_FLOW_NOT_NEGOTIATED;
  }
  GstBuffer* buffer = nullptr;
  const GstFlowReturn result =
      gst_buffer_pool_acquire_buffer(GST_BUFFER_POOL(pool), &buffer, nullptr);
  const NivexaPoolFailure failure = gst_nivexa_pool_failure(pool);
  gst_object_unref(pool);
  if (result == GST_FLOW_ERROR) {
    if (failure == NivexaPoolFailure::kCameraLost) {
      NIVEXA_SRC_ERROR(self, RESOURCE, READ, ("The camera stopped delivering frames"),
                       "NivexaStream_Wait");
    } else {
      NIVEXA_SRC_ERROR(self, RESOURCE, READ, ("The camera's stream stopped"), "NivexaStream_Wait");
    }
    return result;
  }
  if (result != GST_FLOW_OK) {
    return result;
  }
  uint32_t frameNumber = 0;
  uint64_t arrivalNs = 0;
  gst_nivexa_pool_frame_of(buffer, &frameNumber, &arrivalNs);
  GST_BUFFER_PTS(buffer) = arrivalRunningTime(self, arrivalNs);
  GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_OFFSET(buffer) = frameNumber;
  GST_BUFFER_OFFSET_END(buffer) = static_cast<guint64>(frameNumber) + 1;
  {
    std::lock_guard<std::mutex> lock(s.lock);
    const GstVideoInfo& info = s.info;
    gsize offsets[GST_VIDEO_MAX_PLANES] = {};
    gint strides[GST_VIDEO_MAX_PLANES] = {};
    strides[0] = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                   GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), 1,
                                   offsets, strides);
    if (s.haveFrame && frameNumber != s.lastFrameNumber + 1) {
      GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    }
    s.haveFrame = true;
    s.lastFrameNumber = frameNumber;
    reportLoss(self, buffer);
  }
  *out = buffer;
  return GST_FLOW_OK;
}

}  // namespace

static void gst_nivexa_src_class_init(GstNivexaSrcClass* klass) {
  GObjectClass* object = G_OBJECT_CLASS(klass);
  object->set_property = setProperty;
  object->get_property = getProperty;
  object->finalize = finalize;

  const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  const auto playing =
      static_cast<GParamFlags>(rw | GST_PARAM_MUTABLE_PLAYING | GST_PARAM_CONTROLLABLE);
  const auto ready = static_cast<GParamFlags>(rw | GST_PARAM_MUTABLE_READY);
  const auto readOnly = static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      object, kPropDevice,
      g_param_spec_int("device", "Device", "Index of the camera among those attached", 0,
                       kMaxDeviceIndex, 0, ready));
  g_object_class_install_property(
      object, kPropSerial,
      g_param_spec_string("serial", "Serial number",
                          "Open the camera with this serial number (takes precedence over device)",
                          nullptr, ready));
  g_object_class_install_property(
      object, kPropExposure,
      g_param_spec_double("exposure", "Exposure", "Exposure time in seconds (0: the camera's own)",
                          0.0, kMaxExposureSeconds, 0.0, playing));
  g_object_class_install_property(
      object, kPropGain,
      g_param_spec_int("gain", "Gain", "Analog gain in camera units (-1: the camera's own)", -1,
                       G_MAXINT, -1, playing));
  g_object_class_install_property(
      object, kPropBlackLevel,
      g_param_spec_int("black-level", "Black level",
                       "Sensor black level in camera units (-1: the camera's own)", -1, G_MAXINT,
                       -1, playing));
  g_object_class_install_property(
      object, kPropCooler,
      g_param_spec_boolean("cooler", "Cooler", "Sensor cooler on", TRUE, playing));
  g_object_class_install_property(
      object, kPropTrigger,
      g_param_spec_enum("trigger", "Trigger",
                        "What starts each frame (the library offers no software trigger)",
                        GST_TYPE_NIVEXA_TRIGGER, GST_NIVEXA_TRIGGER_NONE, ready));
  g_object_class_install_property(
      object, kPropTemperature,
      g_param_spec_double("temperature", "Temperature",
                          "Sensor temperature in degrees Celsius (-273.15 when unknown)",
                          kNoTemperature, G_MAXDOUBLE, kNoTemperature, readOnly));
  g_object_class_install_property(
      object, kPropFramesLost,
      g_param_spec_uint64("frames-lost", "Frames lost",
                          "Frames the camera sent that never arrived, since the stream started", 0,
                          G_MAXUINT64, 0, readOnly));
  g_object_class_install_property(
      object, kPropFramesDropped,
      g_param_spec_uint64("frames-dropped", "Frames dropped",
                          "Frames that arrived while every buffer was held downstream", 0,
                          G_MAXUINT64, 0, readOnly));

  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(
      element, "Nivexa camera source", "Source/Video/Hardware",
      "Frames of a Nivexa SWIR camera, written by the camera library straight into the "
      "buffers; 16-bit formats hold 12 significant bits (0..4095)",
      "Nivexa SDK developers");
  gst_element_class_add_static_pad_template(element, &srcTemplate);

  GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
  base->start = start;
  base->stop = stop;
  base->get_caps = getCaps;
  base->negotiate = negotiate;
  base->set_caps = setCaps;
  base->decide_allocation = decideAllocation;
  base->unlock = unlock;
  base->unlock_stop = unlockStop;
  GST_PUSH_SRC_CLASS(klass)->create = create;

  GST_DEBUG_CATEGORY_INIT(nivexa_src_debug, "nivexasrc", 0, "Nivexa camera source");
}

static void gst_nivexa_src_init(GstNivexaSrc* self) {
  self->state = new SrcState;
  gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

gboolean gst_nivexa_src_register(GstPlugin* plugin) {
  return gst_element_register(plugin, "nivexasrc", GST_RANK_NONE, GST_TYPE_NIVEXA_SRC);
}
