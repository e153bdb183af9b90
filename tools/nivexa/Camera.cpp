#include "Camera.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "Json.h"
#include "NivexaDevices.h"
#include "NivexaSdk.h"
#include "UsbPermissions.h"

namespace nivexa::tool {
namespace {

constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";
constexpr const char* kOneVirtualCamera = "1";
constexpr const char* kNoPermission = "no permission (install the udev rule, see README)";
// The FPGA's version word, read through the public register export.
constexpr LONG kFpgaVersionLow = 0x10;
constexpr LONG kFpgaVersionHigh = 0x11;
constexpr int kByteBits = 8;
constexpr int kMaxCameras = 10;
constexpr size_t kNameBytes = 256;
constexpr size_t kSerialBytes = 64;

const char* errorMeaning(LONG code) {
  switch (code) {
    case NIVEXA_ERR_NO_CAMERA:
      return "no camera, or refused in the current acquisition mode";
    case NIVEXA_ERR_DEVICE:
      return "the device is not present or did not open";
    case NIVEXA_ERR_THREAD:
      return "no acquisition thread";
    case NIVEXA_ERR_WINDOW:
      return "no window";
    case NIVEXA_ERR_MEMORY:
      return "buffer missing or too small";
    case NIVEXA_ERR_REGISTER:
      return "the camera did not answer";
    case NIVEXA_ERR_FORMAT:
      return "capture window not valid";
    case NIVEXA_ERR_FRAME:
      return "no frame in time";
    case NIVEXA_ERR_ARGUMENT:
      return "value out of range or not accepted";
    case NIVEXA_ERR_UNSUPPORTED:
      return "not supported by this camera";
    case NIVEXA_ERR_TEXT:
      return "refused";
    case NIVEXA_ERR_STREAM_LOST:
      return "the camera stopped delivering frames";
    case NIVEXA_ERR_MASK_FILE:
      return "the mask file does not open or does not fit this camera";
    default:
      return "unknown";
  }
}

// The attached cameras this user may not open, which the library cannot list.
std::vector<UnopenableCamera> unopenableCameras() {
  std::vector<NivexaUsbProduct> products(
      static_cast<size_t>(std::max(NivexaDevices_UsbProducts(nullptr, 0), 0)));
  const int32_t count =
      NivexaDevices_UsbProducts(products.data(), static_cast<int32_t>(products.size()));
  products.resize(static_cast<size_t>(std::clamp<int32_t>(count, 0, products.size())));
  return camerasWithoutPermission(products);
}

std::string serialOf(int32_t h, int index) {
  char serial[kSerialBytes] = "";
  if (Nivexa_SetDeviceNumber(h, index) && Nivexa_ReadSerialNumberA(h, serial, sizeof serial)) {
    return serial;
  }
  return "";
}

// ---- Parameters ----

enum class ParameterKind { Number, Integer, Switch };

struct Range {
  double minimum;
  double maximum;
};

struct Parameter {
  const char* name;
  ParameterKind kind;
  const char* unit;
  const char* help;
  std::function<std::optional<double>(int32_t)> read;
  std::function<bool(int32_t, double)> write;  // empty: read-only
  std::function<std::optional<Range>(int32_t)> range;
};

std::optional<double> checked(double value, BOOL ok) {
  return ok ? std::optional(value) : std::nullopt;
}

std::optional<NivexaCameraInfo> cameraInfo(int32_t h) {
  NivexaCameraInfo info{};
  info.size = sizeof info;
  return Nivexa_GetCameraInfo(h, &info) ? std::optional(info) : std::nullopt;
}

Parameter filter(const char* name, LONG id, double minimum, double maximum, const char* unit,
                 const char* help) {
  return {name,
          maximum - minimum == 1 && minimum == 0 ? ParameterKind::Switch : ParameterKind::Integer,
          unit,
          help,
          [id](int32_t h) {
            BOOL ok = 0;
            const LONG value = Nivexa_GetFilterValue(h, id, &ok);
            return checked(value, ok);
          },
          [id](int32_t h, double value) {
            return Nivexa_SetFilterValue(h, id, static_cast<LONG>(value)) != 0;
          },
          [minimum, maximum](int32_t) {
            return std::optional(Range{minimum, maximum});
          }};
}

// Filter ids and ranges as NivexaSdk.h documents them.
constexpr LONG kBrightness = 1, kContrast = 2, kHue = 3, kSaturation = 4, kSharpness = 5;
constexpr LONG kWhiteBalance = 10, kGamma = 11, kBayerMode = 12, kGrayMode = 19;
constexpr LONG kGrayGainR = 20, kGrayGainG1 = 21, kGrayGainG2 = 22, kGrayGainB = 23;
constexpr LONG kGrayOffsetR = 24, kGrayOffsetG1 = 25, kGrayOffsetG2 = 26, kGrayOffsetB = 27;
constexpr LONG kDotFilter = 102, kMaskFilter = 103;
constexpr double kByteLimit = 255, kContrastLimit = 127, kHueLimit = 360, kSharpnessMax = 30;
constexpr double kGammaMax = 200, kBayerModeMax = 3, kGrayModeMax = 2, kGainModeMax = 1;
constexpr std::array kColourModes{8, 16, 24, 32, 48, 64};

const std::vector<Parameter>& parameters() {
  static const std::vector<Parameter> table = [] {
    std::vector<Parameter> all{
        {"exposure", ParameterKind::Number, "s", "exposure time",
         [](int32_t h) {
           BOOL ok = 0;
           const double value = Nivexa_GetExposureTimeEx(h, &ok);
           return checked(value, ok);
         },
         [](int32_t h, double value) { return Nivexa_SetExposureTimeEx(h, value) != 0; },
         [](int32_t h) -> std::optional<Range> {
           const auto info = cameraInfo(h);
           if (!info) {
             return std::nullopt;
           }
           return Range{info->exposureSecondsMin, info->exposureSecondsMax};
         }},
        {"gain", ParameterKind::Integer, "", "analog gain, camera units",
         [](int32_t h) {
           BOOL ok = 0;
           const LONG value = Nivexa_GetGlobalGain(h, &ok);
           return checked(value, ok);
         },
         [](int32_t h, double value) {
           return Nivexa_SetGlobalGain(h, static_cast<LONG>(value)) != 0;
         },
         [](int32_t h) -> std::optional<Range> {
           const auto info = cameraInfo(h);
           if (!info) {
             return std::nullopt;
           }
           return Range{double(info->globalGainMin), double(info->globalGainMax)};
         }},
        {"black-level", ParameterKind::Integer, "", "sensor black level",
         [](int32_t h) {
           BOOL ok = 0;
           const LONG value = Nivexa_GetFilterValue(h, NIVEXA_FILTER_BLACK_LEVEL, &ok);
           return checked(value, ok);
         },
         [](int32_t h, double value) {
           return Nivexa_SetFilterValue(h, NIVEXA_FILTER_BLACK_LEVEL, static_cast<LONG>(value)) !=
                  0;
         },
         [](int32_t) { return std::optional<Range>(); }},
        {"cooler", ParameterKind::Switch, "", "sensor cooler",
         [](int32_t h) {
           BOOL ok = 0;
           const LONG value = Nivexa_GetPeltier(h, &ok);
           return checked(value, ok && value >= 0);
         },
         [](int32_t h, double value) {
           return Nivexa_SetPeltier(h, static_cast<LONG>(value)) != 0;
         },
         [](int32_t) {
           return std::optional(Range{0, 1});
         }},
        {"temperature",
         ParameterKind::Number,
         "C",
         "sensor temperature",
         [](int32_t h) {
           BOOL ok = 0;
           const double value = Nivexa_GetTemperatureEx(h, &ok);
           return checked(value, ok);
         },
         {},
         [](int32_t) { return std::optional<Range>(); }},
        {"mirror-h", ParameterKind::Switch, "", "image mirrored left to right",
         [](int32_t h) {
           const LONG value = Nivexa_GetMirrorH(h);
           return checked(value, value >= 0);
         },
         [](int32_t h, double value) { return Nivexa_SetMirrorH(h, value != 0) != 0; },
         [](int32_t) {
           return std::optional(Range{0, 1});
         }},
        {"mirror-v", ParameterKind::Switch, "", "image mirrored top to bottom",
         [](int32_t h) {
           const LONG value = Nivexa_GetMirrorV(h);
           return checked(value, value >= 0);
         },
         [](int32_t h, double value) { return Nivexa_SetMirrorV(h, value != 0) != 0; },
         [](int32_t) {
           return std::optional(Range{0, 1});
         }},
        {"colour-mode", ParameterKind::Integer, "bits", "bits per pixel: 8, 16, 24, 32, 48, 64",
         [](int32_t h) {
           const LONG value = Nivexa_GetColorMode(h);
           return checked(value, value > 0);
         },
         [](int32_t h, double value) {
           return Nivexa_SetColorMode(h, static_cast<LONG>(value)) != 0;
         },
         [](int32_t) {
           return std::optional(Range{double(kColourModes.front()), double(kColourModes.back())});
         }},
        filter("gain-mode", NIVEXA_FILTER_GAIN_MODE, 0, kGainModeMax, "",
               "0 high gain, 1 low gain"),
        filter("brightness", kBrightness, -kByteLimit, kByteLimit, "", "processing"),
        filter("contrast", kContrast, -kContrastLimit, kContrastLimit, "", "processing"),
        filter("hue", kHue, -kHueLimit, kHueLimit, "degrees", "processing"),
        filter("saturation", kSaturation, -kByteLimit, kByteLimit, "", "processing"),
        filter("sharpness", kSharpness, 0, kSharpnessMax, "", "processing"),
        filter("white-balance", kWhiteBalance, 0, 1, "", "automatic white balance"),
        filter("gamma", kGamma, 0, kGammaMax, "", "processing"),
        filter("bayer-mode", kBayerMode, 0, kBayerModeMax, "", "colour filter order"),
        filter("gray-mode", kGrayMode, 0, kGrayModeMax, "", "grey conversion"),
        filter("gray-gain-r", kGrayGainR, 0, kByteLimit, "", "grey conversion"),
        filter("gray-gain-g1", kGrayGainG1, 0, kByteLimit, "", "grey conversion"),
        filter("gray-gain-g2", kGrayGainG2, 0, kByteLimit, "", "grey conversion"),
        filter("gray-gain-b", kGrayGainB, 0, kByteLimit, "", "grey conversion"),
        filter("gray-offset-r", kGrayOffsetR, -kByteLimit, kByteLimit, "", "grey conversion"),
        filter("gray-offset-g1", kGrayOffsetG1, -kByteLimit, kByteLimit, "", "grey conversion"),
        filter("gray-offset-g2", kGrayOffsetG2, -kByteLimit, kByteLimit, "", "grey conversion"),
        filter("gray-offset-b", kGrayOffsetB, -kByteLimit, kByteLimit, "", "grey conversion"),
        filter("dot-filter", kDotFilter, 0, 1, "", "defect-pixel correction"),
        filter("mask-filter", kMaskFilter, 0, 1, "", "flat-field correction"),
    };
    return all;
  }();
  return table;
}

const Parameter* findParameter(const std::string& name) {
  for (const auto& parameter : parameters()) {
    if (name == parameter.name) {
      return &parameter;
    }
  }
  return nullptr;
}

std::string formatValue(const Parameter& parameter, double value) {
  if (parameter.kind == ParameterKind::Switch) {
    return value != 0 ? "on" : "off";
  }
  char text[32];
  std::snprintf(text, sizeof text, parameter.kind == ParameterKind::Number ? "%g" : "%.0f", value);
  return text;
}

std::string withUnit(const Parameter& parameter, const std::string& text) {
  return *parameter.unit != '\0' ? text + " " + parameter.unit : text;
}

// The value text as a number of the parameter's kind; empty when it is not one.
std::optional<double> parseValue(const Parameter& parameter, const std::string& text) {
  if (parameter.kind == ParameterKind::Switch) {
    if (text == "on" || text == "1") {
      return 1.0;
    }
    if (text == "off" || text == "0") {
      return 0.0;
    }
    return std::nullopt;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) ||
      (parameter.kind == ParameterKind::Integer && value != std::floor(value))) {
    return std::nullopt;
  }
  return value;
}

std::string versionText(LONG version) {
  const auto word = static_cast<uint32_t>(version);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", word >> 24, (word >> 16) & 0xFFu,
                (word >> 8) & 0xFFu, word & 0xFFu);
  return text;
}

}  // namespace

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    if (h_ != 0) {
      Nivexa_Release(h_);
    }
    h_ = other.h_;
    other.h_ = 0;
  }
  return *this;
}

Handle::~Handle() {
  if (h_ != 0) {
    Nivexa_Release(h_);
  }
}

std::string errorText(int32_t h) {
  const LONG code = Nivexa_GetLastError(h);
  return "error " + std::to_string(code) + ": " + errorMeaning(code);
}

Handle openLibrary(int& count, bool quiet) {
  Handle h(Nivexa_Initialize(nullptr));
  char names[kMaxCameras][kNameBytes] = {};
  count = h ? Nivexa_EnumDevice(h.get(), names) : 0;
  if (count == 0) {
    // A camera is attached after all; a virtual one in its place would hide what is wrong.
    const std::vector<UnopenableCamera> unopenable = unopenableCameras();
    for (const auto& camera : unopenable) {
      std::fprintf(stderr, "nivexa: camera %04x:%04x at USB port %s: %s\n", camera.vendorId,
                   camera.productId, camera.port.c_str(), kNoPermission);
    }
    if (!unopenable.empty()) {
      return {};
    }
  }
  bool fellBack = false;
  // The library makes the virtual camera at an enumeration while no camera is open. One the user
  // asked for in the variable, and did not get, is not replaced by ours.
  if (count == 0 && std::getenv(kVirtualCamerasVariable) == nullptr) {
    fellBack = NivexaDevices_UseVirtualCameras(kOneVirtualCamera) != 0;
    if (fellBack && !h) {
      h = Handle(Nivexa_Initialize(nullptr));
    }
    count = fellBack && h ? Nivexa_EnumDevice(h.get(), names) : 0;
  }
  if (count == 0) {
    std::fprintf(stderr, "nivexa: no camera found\n");
    return {};
  }
  if (fellBack) {
    std::fprintf(quiet ? stderr : stdout, "(virtual camera: no camera was attached)\n");
  }
  return h;
}

Handle openCamera(const Arguments& args) {
  int count = 0;
  Handle h = openLibrary(count, args.has("json"));
  if (!h) {
    return {};
  }
  int device = static_cast<int>(args.integer("device", 0));
  if (args.has("serial")) {
    const std::string wanted = args.text("serial");
    device = -1;
    for (int i = 0; i < count && device < 0; ++i) {
      device = serialOf(h.get(), i) == wanted ? i : -1;
    }
    if (device < 0) {
      std::fprintf(stderr, "nivexa: no camera with serial number %s (see 'nivexa list')\n",
                   wanted.c_str());
      return {};
    }
  }
  if (device >= count) {
    std::fprintf(stderr, "nivexa: there is no camera %d: %d camera%s found (see 'nivexa list')\n",
                 device, count, count == 1 ? "" : "s");
    return {};
  }
  if (!Nivexa_SetDeviceNumber(h.get(), device)) {
    std::fprintf(stderr, "nivexa: camera %d cannot be opened (%s)\n", device,
                 errorText(h.get()).c_str());
    return {};
  }
  if (args.has("bits") &&
      !Nivexa_SetColorMode(h.get(), static_cast<LONG>(args.integer("bits", 0)))) {
    std::fprintf(stderr, "nivexa: %s bits per pixel refused (%s)\n", args.text("bits").c_str(),
                 errorText(h.get()).c_str());
    return {};
  }
  if (args.has("exposure") && !Nivexa_SetExposureTimeEx(h.get(), args.number("exposure", 0))) {
    std::fprintf(stderr, "nivexa: exposure %s s refused (%s; see 'nivexa info')\n",
                 args.text("exposure").c_str(), errorText(h.get()).c_str());
    return {};
  }
  if (args.has("gain") &&
      !Nivexa_SetGlobalGain(h.get(), static_cast<LONG>(args.integer("gain", 0)))) {
    std::fprintf(stderr, "nivexa: gain %s refused (%s; see 'nivexa info')\n",
                 args.text("gain").c_str(), errorText(h.get()).c_str());
    return {};
  }
  return h;
}

int listCameras(const Arguments& args) {
  const bool json = args.has("json");
  int count = 0;
  const Handle h = openLibrary(count, json);
  if (!h) {
    return kExitFailed;
  }
  JsonWriter out;
  if (json) {
    out.beginObject().key("cameras").beginArray();
  } else {
    std::printf("%-4s %-18s %-10s %s\n", "no.", "name", "serial", "FPGA");
  }
  for (int i = 0; i < count; ++i) {
    char name[kNameBytes] = "?";
    Nivexa_GetDeviceName(h.get(), i, name, sizeof name);
    std::string serial = serialOf(h.get(), i);
    std::optional<uint32_t> fpga;
    if (!serial.empty()) {
      BOOL lowOk = 0;
      BOOL highOk = 0;
      const LONG low = Nivexa_Fpga_ReadRegister(h.get(), kFpgaVersionLow, &lowOk);
      const LONG high = Nivexa_Fpga_ReadRegister(h.get(), kFpgaVersionHigh, &highOk);
      if (lowOk && highOk) {
        fpga = static_cast<uint32_t>((high << kByteBits) | low);
      }
    }
    char fpgaText[16] = "?";
    if (fpga) {
      std::snprintf(fpgaText, sizeof fpgaText, "0x%04X", *fpga);
    }
    if (json) {
      out.beginObject().key("index").value(i).key("name").value(name).key("serial");
      serial.empty() ? out.null() : out.value(serial);
      out.key("fpga");
      fpga ? out.value(std::string_view(fpgaText)) : out.null();
      out.endObject();
    } else {
      std::printf("%-4d %-18s %-10s %s\n", i, name, serial.empty() ? "?" : serial.c_str(),
                  fpgaText);
    }
  }
  const auto unopenable = unopenableCameras();
  if (json) {
    out.endArray().key("without_permission").beginArray();
    for (const auto& camera : unopenable) {
      out.beginObject().key("port").value(camera.port).key("vendor").value(camera.vendorId);
      out.key("product").value(camera.productId).endObject();
    }
    out.endArray().endObject();
    std::fputs(out.text().c_str(), stdout);
  } else {
    for (const auto& camera : unopenable) {
      const std::string where = "USB port " + camera.port;
      std::printf("%-4s %-18s %s\n", "-", where.c_str(), kNoPermission);
    }
  }
  return kExitOk;
}

int showInfo(const Arguments& args) {
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  const auto info = cameraInfo(h.get());
  const auto read = [&h](const char* name) { return findParameter(name)->read(h.get()); };
  const auto temperature = read("temperature");
  const auto cooler = read("cooler");
  const auto exposure = read("exposure");
  const auto gain = read("gain");
  const auto bits = read("colour-mode");
  if (args.has("json")) {
    JsonWriter out;
    const auto optional = [&out](const char* key, std::optional<double> value) {
      out.key(key);
      value ? out.value(*value) : out.null();
    };
    out.beginObject().key("sdk_version").value(versionText(Nivexa_GetDllVersion()));
    char serial[kSerialBytes] = "";
    Nivexa_ReadSerialNumberA(h.get(), serial, sizeof serial);
    out.key("serial").value(std::string_view(serial));
    if (info) {
      out.key("width")
          .value(int64_t{info->widthLimit})
          .key("height")
          .value(int64_t{info->heightLimit});
      out.key("exposure_range_s").beginArray().value(info->exposureSecondsMin);
      out.value(info->exposureSecondsMax).endArray();
      out.key("gain_range")
          .beginArray()
          .value(int64_t{info->globalGainMin})
          .value(int64_t{info->globalGainMax});
      out.endArray();
    }
    optional("temperature_c", temperature);
    out.key("cooler");
    cooler ? out.value(*cooler != 0) : out.null();
    optional("exposure_s", exposure);
    optional("gain", gain);
    optional("bits", bits);
    out.endObject();
    std::fputs(out.text().c_str(), stdout);
    return kExitOk;
  }
  const auto line = [](const char* label, const std::string& text) {
    std::printf("%-18s %s\n", label, text.empty() ? "unavailable" : text.c_str());
  };
  const auto shown = [](const char* name, std::optional<double> value) {
    const Parameter& parameter = *findParameter(name);
    return value ? withUnit(parameter, formatValue(parameter, *value)) : std::string();
  };
  char text[96] = "";
  if (info) {
    std::snprintf(text, sizeof text, "%d x %d", int(info->widthLimit), int(info->heightLimit));
  }
  line("sensor size", text);
  text[0] = '\0';
  if (info) {
    std::snprintf(text, sizeof text, "%g .. %g s", info->exposureSecondsMin,
                  info->exposureSecondsMax);
  }
  line("exposure range", text);
  text[0] = '\0';
  if (info) {
    std::snprintf(text, sizeof text, "%d .. %d", int(info->globalGainMin),
                  int(info->globalGainMax));
  }
  line("gain range", text);
  line("exposure", shown("exposure", exposure));
  line("gain", shown("gain", gain));
  line("bits per pixel", shown("colour-mode", bits));
  char degrees[32] = "";
  if (temperature) {
    std::snprintf(degrees, sizeof degrees, "%.1f C", *temperature);
  }
  line("temperature", degrees);
  line("cooler", shown("cooler", cooler));
  return kExitOk;
}

int showFeatures(const Arguments& args) {
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  const bool json = args.has("json");
  JsonWriter out;
  if (json) {
    out.beginObject().key("features").beginArray();
  } else {
    std::printf("%-15s %-12s %-8s %-22s %-3s %s\n", "name", "value", "unit", "range", "rw",
                "meaning");
  }
  for (const auto& parameter : parameters()) {
    const auto value = parameter.read(h.get());
    const auto range = parameter.range(h.get());
    if (json) {
      out.beginObject().key("name").value(parameter.name).key("value");
      value ? out.value(*value) : out.null();
      out.key("unit").value(parameter.unit).key("writable").value(bool(parameter.write));
      out.key("range");
      if (range) {
        out.beginArray().value(range->minimum).value(range->maximum).endArray();
      } else {
        out.null();
      }
      out.key("help").value(parameter.help).endObject();
      continue;
    }
    std::string rangeText = "-";
    if (range) {
      rangeText = parameter.kind == ParameterKind::Switch
                      ? "off|on"
                      : formatValue(parameter, range->minimum) + " .. " +
                            formatValue(parameter, range->maximum);
    }
    std::printf("%-15s %-12s %-8s %-22s %-3s %s\n", parameter.name,
                value ? formatValue(parameter, *value).c_str() : "unavailable",
                *parameter.unit ? parameter.unit : "-", rangeText.c_str(),
                parameter.write ? "rw" : "r", parameter.help);
  }
  if (json) {
    out.endArray().endObject();
    std::fputs(out.text().c_str(), stdout);
  }
  return kExitOk;
}

int getParameter(const Arguments& args) {
  const std::string& name = args.positional()[0];
  const Parameter* parameter = findParameter(name);
  if (parameter == nullptr) {
    std::fprintf(stderr, "nivexa get: unknown parameter '%s' (see 'nivexa features')\n",
                 name.c_str());
    return kExitUsage;
  }
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  const auto value = parameter->read(h.get());
  if (!value) {
    std::fprintf(stderr, "nivexa get: %s cannot be read (%s)\n", name.c_str(),
                 errorText(h.get()).c_str());
    return kExitFailed;
  }
  std::printf("%s\n", withUnit(*parameter, formatValue(*parameter, *value)).c_str());
  return kExitOk;
}

int setParameter(const Arguments& args) {
  const std::string& name = args.positional()[0];
  const std::string& text = args.positional()[1];
  const Parameter* parameter = findParameter(name);
  if (parameter == nullptr) {
    std::fprintf(stderr, "nivexa set: unknown parameter '%s' (see 'nivexa features')\n",
                 name.c_str());
    return kExitUsage;
  }
  if (!parameter->write) {
    std::fprintf(stderr, "nivexa set: %s is read-only\n", name.c_str());
    return kExitUsage;
  }
  const auto value = parseValue(*parameter, text);
  if (!value) {
    std::fprintf(stderr, "nivexa set: %s takes %s, not '%s'\n", name.c_str(),
                 parameter->kind == ParameterKind::Switch   ? "on or off"
                 : parameter->kind == ParameterKind::Number ? "a number"
                                                            : "a whole number",
                 text.c_str());
    return kExitUsage;
  }
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  const auto range = parameter->range(h.get());
  if (range && (*value < range->minimum || *value > range->maximum)) {
    std::fprintf(stderr, "nivexa set: %s takes %s .. %s, not %s\n", name.c_str(),
                 formatValue(*parameter, range->minimum).c_str(),
                 formatValue(*parameter, range->maximum).c_str(), text.c_str());
    return kExitUsage;
  }
  if (!parameter->write(h.get(), *value)) {
    std::fprintf(stderr, "nivexa set: %s %s refused (%s)\n", name.c_str(), text.c_str(),
                 errorText(h.get()).c_str());
    return kExitFailed;
  }
  const auto now = parameter->read(h.get());
  std::printf("%s = %s\n", name.c_str(),
              now ? withUnit(*parameter, formatValue(*parameter, *now)).c_str() : "?");
  return kExitOk;
}

}  // namespace nivexa::tool
