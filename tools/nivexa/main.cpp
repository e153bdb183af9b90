// nivexa: command-line tool for the Nivexa SDK. It uses the public C interface, as an
// application would; only the family table and the settings listing, which the C interface
// does not show, come from the SDK's own static libraries.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AviSummary.h"
#include "FrameWindow.h"
#include "NivexaSdk.h"
#include "View.h"
#include "engine/FamilyReport.h"
#include "platform/Process.h"
#include "settings/SettingsReport.h"

namespace {

constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";
constexpr const char* kFallbackMarker = "NIVEXA_TOOL_FALLBACK";
// The FPGA's version word, read through the public register export (the tool uses the public
// interface, so it names the two registers itself).
constexpr LONG kFpgaVersionLow = 0x10;
constexpr LONG kFpgaVersionHigh = 0x11;
// How long past its duration a recording may take to start and to complete its file before the
// tool stops it (a safety net only: a recording normally completes on its own well before, and
// a loaded machine may need far more than the duration); where the file cannot be watched, how
// long it is given to start.
constexpr LONG kRecordGraceMs = 20000;
constexpr LONG kRecordStartMs = 1000;
constexpr int kRecordPollMs = 50;

int printUsage(std::FILE* out) {
  std::fputs(
      "usage: nivexa <command> [options]\n"
      "\n"
      "commands:\n"
      "  list                    cameras with name, serial number and FPGA version\n"
      "  info [--device N]       camera information, temperature, cooler, exposure and gain\n"
      "  stream [--seconds N] [--device N] [--bits 8|16]\n"
      "                          preview into a buffer and report the frames delivered\n"
      "  view [--seconds N] [--device N]\n"
      "                          live video in a window with the frame rate in its title; q or\n"
      "                          closing the window ends it (0 seconds or none: until then)\n"
      "  record [-o FILE] [--seconds N] [--device N] [--bits 8|16]\n"
      "                          record N seconds of processed frames into an AVI file\n"
      "                          (default recording.avi, 3 s)\n"
      "  family                  the camera family: product IDs, drivers, arrays, capabilities\n"
      "  snapshot [-o FILE] [--type bmp|raw|jpeg|jpeg70|jpeg20|png|tiff] [--bits 8|16]\n"
      "           [--exposure SECONDS] [--gain N] [--device N]\n"
      "                          take one frame and save it (type from the extension when\n"
      "                          --type is absent; default frame.png)\n"
      "  settings [show]         print the stored settings of every camera position\n"
      "  settings reset --yes    remove them (the next start uses the first-run values)\n"
      "  version                 print the SDK version\n"
      "  help                    print this text\n"
      "\n"
      "Without an attached camera the tool uses one virtual camera and says so.\n",
      out);
  return out == stdout ? 0 : 2;
}

std::string versionText(LONG version) {
  const auto word = static_cast<uint32_t>(version);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", word >> 24, (word >> 16) & 0xFFu,
                (word >> 8) & 0xFFu, word & 0xFFu);
  return text;
}

int printVersion() {
  const LONG version = Nivexa_GetDllVersion();
  std::printf("Nivexa SDK %s (0x%08X)\n", versionText(version).c_str(),
              static_cast<uint32_t>(version));
  return 0;
}

struct Options {
  int device = 0;
  int seconds = 3;
  int bits = 8;
  std::string file = "recording.avi";
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "nivexa: %s needs a value\n", name.c_str());
      return false;
    }
    if (name == "-o") {
      options.file = argv[++i];
      continue;
    }
    char* end = nullptr;
    const long value = std::strtol(argv[++i], &end, 10);
    if (end == argv[i] || *end != '\0' || value < 0 || value > 100000) {
      std::fprintf(stderr, "nivexa: bad value for %s: %s\n", name.c_str(), argv[i]);
      return false;
    }
    if (name == "--device") {
      options.device = static_cast<int>(value);
    } else if (name == "--seconds") {
      options.seconds = static_cast<int>(value);
    } else if (name == "--bits") {
      if (value != 8 && value != 16) {
        std::fprintf(stderr, "nivexa: --bits takes 8 or 16, not %s\n", argv[i]);
        return false;
      }
      options.bits = static_cast<int>(value);
    } else {
      std::fprintf(stderr, "nivexa: unknown option %s\n", name.c_str());
      return false;
    }
  }
  return true;
}

// The library reads the virtual-camera variable once, when it first looks for cameras; to fall
// back to a virtual camera the tool starts itself again with the variable set.
void fallBackToVirtualCamera(char** argv) {
  if (std::getenv(kVirtualCamerasVariable) != nullptr || std::getenv(kFallbackMarker) != nullptr) {
    return;
  }
  std::fprintf(stderr, "nivexa: no camera attached; using one virtual camera\n");
  nivexa::platform::setEnvironmentVariable(kVirtualCamerasVariable, "1");
  nivexa::platform::setEnvironmentVariable(kFallbackMarker, "1");
  const int code = nivexa::platform::runProgramAgain(argv);
  if (code >= 0) {
    std::exit(code);
  }
  std::fprintf(stderr, "nivexa: cannot restart with a virtual camera\n");
}

// A handle with at least one camera listed, or 0 after saying why not.
LONG openHandle(char** argv, int& count) {
  LONG h = Nivexa_Initialize(nullptr);
  char names[10][256] = {};
  count = h != 0 ? Nivexa_EnumDevice(h, names) : 0;
  if (count == 0) {
    Nivexa_Release(h);
    fallBackToVirtualCamera(argv);
    std::fprintf(stderr, "nivexa: no camera found\n");
    return 0;
  }
  if (std::getenv(kFallbackMarker) != nullptr) {
    std::printf("(virtual camera: no camera was attached)\n");
  }
  return h;
}

bool selectDevice(LONG h, int device) {
  if (!Nivexa_SetDeviceNumber(h, device)) {
    std::fprintf(stderr, "nivexa: device %d cannot be opened (error %d)\n", device,
                 static_cast<int>(Nivexa_GetLastError(h)));
    return false;
  }
  return true;
}

// A handle on camera `device`, at `bits` per pixel unless that is 0; 0 after saying why not.
LONG openCamera(char** argv, int device, int bits) {
  int count = 0;
  const LONG h = openHandle(argv, count);
  if (h == 0 || !selectDevice(h, device)) {
    Nivexa_Release(h);
    return 0;
  }
  if (bits != 0 && !Nivexa_SetColorMode(h, bits)) {
    std::fprintf(stderr, "nivexa: %d bits per pixel refused (error %d)\n", bits,
                 static_cast<int>(Nivexa_GetLastError(h)));
    Nivexa_Release(h);
    return 0;
  }
  return h;
}

int listCameras(char** argv) {
  int count = 0;
  const LONG h = openHandle(argv, count);
  if (h == 0) {
    return 1;
  }
  std::printf("%-4s %-18s %-10s %s\n", "no.", "name", "serial", "FPGA");
  for (int i = 0; i < count; ++i) {
    char name[256] = "?";
    Nivexa_GetDeviceName(h, i, name, sizeof name);
    char serial[64] = "?";
    std::string fpga = "?";
    if (Nivexa_SetDeviceNumber(h, i)) {
      Nivexa_ReadSerialNumberA(h, serial, sizeof serial);
      BOOL lowOk = 0;
      BOOL highOk = 0;
      const LONG low = Nivexa_Fpga_ReadRegister(h, kFpgaVersionLow, &lowOk);
      const LONG high = Nivexa_Fpga_ReadRegister(h, kFpgaVersionHigh, &highOk);
      if (lowOk && highOk) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>((high << 8) | low));
        fpga = text;
      }
    }
    std::printf("%-4d %-18s %-10s %s\n", i, name, serial, fpga.c_str());
  }
  Nivexa_Release(h);
  return 0;
}

template <typename T>
void printValue(const char* label, bool ok, const char* format, T value) {
  std::printf("%-22s ", label);
  if (ok) {
    std::printf(format, value);
    std::printf("\n");
  } else {
    std::printf("unavailable\n");
  }
}

int showInfo(char** argv, const Options& options) {
  const LONG h = openCamera(argv, options.device, 0);
  if (h == 0) {
    return 1;
  }
  NivexaCameraInfo info{};
  info.size = sizeof info;
  const bool haveInfo = Nivexa_GetCameraInfo(h, &info) != 0;
  printValue("sensor size", haveInfo, "%s",
             (std::to_string(info.widthLimit) + " x " + std::to_string(info.heightLimit)).c_str());
  printValue(
      "global gain range", haveInfo, "%s",
      (std::to_string(info.globalGainMin) + " .. " + std::to_string(info.globalGainMax)).c_str());
  printValue(
      "colour gain range", haveInfo, "%s",
      (std::to_string(info.colorGainMin) + " .. " + std::to_string(info.colorGainMax)).c_str());
  printValue(
      "exposure range", haveInfo, "%s",
      (std::to_string(info.exposureMin) + " .. " + std::to_string(info.exposureMax) + " x 100 us")
          .c_str());
  char seconds[64];
  std::snprintf(seconds, sizeof seconds, "%g .. %g s", info.exposureSecondsMin,
                info.exposureSecondsMax);
  printValue("exposure range (s)", haveInfo, "%s", seconds);
  BOOL ok = 0;
  const double temperature = Nivexa_GetTemperatureEx(h, &ok);
  printValue("temperature", ok != 0, "%.1f C", temperature);
  ok = 0;
  const LONG cooler = Nivexa_GetPeltier(h, &ok);
  printValue("cooler", ok != 0 && cooler >= 0, "%s", cooler > 0 ? "on" : "off");
  ok = 0;
  const double exposure = Nivexa_GetExposureTime(h, &ok) / 10000.0;
  printValue("exposure", ok != 0, "%g s", exposure);
  ok = 0;
  const LONG gain = Nivexa_GetGlobalGain(h, &ok);
  printValue("global gain", ok != 0, "%d", static_cast<int>(gain));
  Nivexa_Release(h);
  return 0;
}

int stream(char** argv, const Options& options) {
  const LONG h = openCamera(argv, options.device, options.bits);
  if (h == 0) {
    return 1;
  }
  Nivexa_SetWaitTime(h, 0);
  // Room for a frame of the whole sensor, whatever area is set: the camera says how large it is.
  NivexaCameraInfo info{};
  info.size = sizeof info;
  if (!Nivexa_GetCameraInfo(h, &info) || info.widthLimit <= 0 || info.heightLimit <= 0) {
    std::fprintf(stderr, "nivexa: the camera did not report its sensor size (error %d)\n",
                 static_cast<int>(Nivexa_GetLastError(h)));
    Nivexa_Release(h);
    return 1;
  }
  const size_t frameBytes = static_cast<size_t>(info.widthLimit) *
                            static_cast<size_t>(info.heightLimit) *
                            static_cast<size_t>(options.bits / 8);
  std::vector<BYTE> buffer(frameBytes);
  HWND sink = nivexa::tool::createFrameWindow();
  if (!Nivexa_CallBackPreview(h, sink, buffer.data(), static_cast<LONG>(buffer.size()), 1)) {
    std::fprintf(stderr, "nivexa: preview did not start (error %d)\n",
                 static_cast<int>(Nivexa_GetLastError(h)));
    nivexa::tool::destroyFrameWindow(sink);
    Nivexa_Release(h);
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto secondStart = start;
  long total = 0;
  long inSecond = 0;
  long failures = 0;
  uint64_t bytes = 0;
  LONG reported = 0;
  std::printf("%-6s %-8s %-14s %-14s %s\n", "second", "frames", "library fps", "measured fps",
              "MB/s");
  for (int second = 1; second <= options.seconds;) {
    nivexa::tool::FrameMessage message{};
    if (nivexa::tool::takeFrameMessage(sink, message, 100) && message.message == NIVEXA_WM_FRAME) {
      if (message.lParam != 0) {
        ++failures;
        std::printf("frame error %d\n", static_cast<int>(message.lParam));
        if (message.lParam == NIVEXA_ERR_STREAM_LOST) {
          break;
        }
      } else if (message.wParam != 0) {
        // Read while handling the message, as the record is reused for the next frame.
        const auto* info = reinterpret_cast<const NivexaFrameInfo*>(message.wParam);
        reported = info->frameRate;
        bytes += static_cast<uint64_t>(info->width) * static_cast<uint64_t>(info->height) *
                 static_cast<uint64_t>(info->bitsPerPixel / 8);
        ++inSecond;
        ++total;
      }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - secondStart).count();
    if (elapsed >= 1.0) {
      std::printf("%-6d %-8ld %-14.1f %-14.1f %.1f\n", second, inSecond, reported / 10.0,
                  inSecond / elapsed, static_cast<double>(bytes) / 1e6 / elapsed);
      inSecond = 0;
      bytes = 0;
      secondStart = Clock::now();
      ++second;
    }
  }
  Nivexa_StopPreview(h);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "summary: %ld frames of %d bits in %.1f s, %.1f fps measured, %.1f fps reported, "
      "%.1f MB/s, %ld frame errors\n",
      total, options.bits, seconds, total / seconds, reported / 10.0,
      static_cast<double>(total) * static_cast<double>(frameBytes) / 1e6 / seconds, failures);
  nivexa::tool::destroyFrameWindow(sink);
  Nivexa_Release(h);
  return failures == 0 && total > 0 ? 0 : 1;
}

// The file a recording writes takes its name only once it is complete; a file of that name from
// before is told apart by its time of last change.
class FinishedFile {
 public:
  explicit FinishedFile(std::string path) : path_(std::move(path)) { previous_ = lastChange(); }
  bool appeared() const {
    const auto now = lastChange();
    return now && now != previous_;
  }

 private:
  std::optional<std::filesystem::file_time_type> lastChange() const {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path_, error);
    return error ? std::nullopt : std::optional(time);
  }

  std::string path_;
  std::optional<std::filesystem::file_time_type> previous_;
};

int record(char** argv, const Options& options) {
  const LONG h = openCamera(argv, options.device, options.bits);
  if (h == 0) {
    return 1;
  }
  Nivexa_SetWaitTime(h, 0);
  const LONG durationMs = static_cast<LONG>(options.seconds) * 1000;
  // A device or a pipe (the null device, a program reading the stream) is written in place and
  // cannot be read back: there the recording's own outcome is all there is to report.
  std::error_code kindError;
  const auto kind = std::filesystem::status(options.file, kindError).type();
  const bool readBack =
      kind == std::filesystem::file_type::not_found || kind == std::filesystem::file_type::regular;
  const FinishedFile finished(options.file);
  if (!Nivexa_Record(h, options.file.c_str(), durationMs, 0)) {
    std::fprintf(stderr, "nivexa: the recording did not start (error %d)\n",
                 static_cast<int>(Nivexa_GetLastError(h)));
    Nivexa_Release(h);
    return 1;
  }
  // The recording ends by itself once its time has passed after the first frame, and its file
  // then takes its name. Should that not happen in time, stopping the stream completes the
  // recording as it stands; either way the file is complete once Nivexa_StopPreview returns.
  using Clock = std::chrono::steady_clock;
  if (readBack) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(durationMs + kRecordGraceMs);
    while (!finished.appeared() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kRecordPollMs));
    }
    if (!finished.appeared()) {
      std::fprintf(stderr,
                   "nivexa: the recording did not complete by itself within %ld ms; stopped it\n",
                   static_cast<long>(durationMs + kRecordGraceMs));
    }
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(durationMs + kRecordStartMs));
  }
  Nivexa_StopPreview(h);
  const LONG failure = Nivexa_GetLastError(h);
  Nivexa_Release(h);
  if (!readBack) {
    if (failure != 0) {
      std::fprintf(stderr, "nivexa: the recording to %s failed (error %d)\n", options.file.c_str(),
                   static_cast<int>(failure));
      return 1;
    }
    std::printf("recorded to %s\n", options.file.c_str());
    return 0;
  }
  const AviSummary summary = summarizeAvi(options.file);
  if (failure != 0 || !summary.complete) {
    std::fprintf(stderr, "nivexa: the recording is not complete (error %d%s%s)\n",
                 static_cast<int>(failure), summary.complete ? "" : ": ", summary.problem.c_str());
    return 1;
  }
  std::error_code error;
  std::printf("recorded %s (%llu bytes, %s layout, %u RIFF chunk%s): %u frames, %.2f fps\n",
              std::filesystem::absolute(options.file, error).string().c_str(),
              static_cast<unsigned long long>(summary.fileBytes),
              summary.extended ? "extended" : "plain", summary.riffChunks,
              summary.riffChunks == 1 ? "" : "s", summary.frames, summary.framesPerSecond);
  return summary.frames > 0 ? 0 : 1;
}

int printFamily() {
  std::printf("%-7s %-33s %-12s %-4s %-7s %-6s %-6s %s\n", "product", "driver", "array", "addr",
              "variant", "orient", "opens", "capabilities");
  for (const auto& row : nivexa::engine::describeFamily()) {
    char array[24];
    std::snprintf(array, sizeof array, "%dx%d", row.arrayWidth, row.arrayHeight);
    char variant[12] = "-";
    if (row.variant != 0) {
      std::snprintf(variant, sizeof variant, "%d", row.variant);
    }
    std::printf("0x%04X  %-33s %-12s %-4u %-7s %-6d %-6s %s\n", row.productId, row.driver.c_str(),
                array, row.deviceAddress, variant, row.orientation, row.programmed ? "yes" : "no",
                nivexa::family::groupNames(row.groups).c_str());
  }
  return 0;
}

struct SnapshotOptions {
  std::string file = "frame.png";
  int type = -1;
  int device = 0;
  int bits = 8;
  double exposure = -1;
  long gain = -1;
};

struct FileType {
  const char* name;
  int code;
};
constexpr FileType kTypeNames[] = {{"bmp", 0},    {"raw", 1}, {"jpeg", 2}, {"jpeg70", 3},
                                   {"jpeg20", 4}, {"png", 5}, {"tiff", 6}};
constexpr FileType kExtensions[] = {{".bmp", 0}, {".raw", 1}, {".jpg", 2}, {".jpeg", 2},
                                    {".png", 5}, {".tif", 6}, {".tiff", 6}};

bool caseEqual(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) {
      return false;
    }
  }
  return true;
}

int typeFromName(const std::string& name, const FileType* table, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (caseEqual(name, table[i].name)) {
      return table[i].code;
    }
  }
  return -1;
}

bool parseSnapshotOptions(int argc, char** argv, SnapshotOptions& options) {
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "nivexa: %s needs a value\n", name.c_str());
      return false;
    }
    const std::string value = argv[++i];
    char* end = nullptr;
    bool good = true;
    if (name == "-o" || name == "--output") {
      options.file = value;
      good = !value.empty();
    } else if (name == "--type") {
      options.type = typeFromName(value, kTypeNames, std::size(kTypeNames));
      good = options.type >= 0;
    } else if (name == "--bits") {
      options.bits = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      good = *end == '\0' && (options.bits == 8 || options.bits == 16);
    } else if (name == "--exposure") {
      options.exposure = std::strtod(value.c_str(), &end);
      good = *end == '\0' && options.exposure > 0;
    } else if (name == "--gain") {
      options.gain = std::strtol(value.c_str(), &end, 10);
      good = *end == '\0' && options.gain >= 0;
    } else if (name == "--device") {
      options.device = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      good = *end == '\0' && options.device >= 0;
    } else {
      std::fprintf(stderr, "nivexa: unknown option %s\n", name.c_str());
      return false;
    }
    if (!good) {
      std::fprintf(stderr, "nivexa: bad value for %s: %s\n", name.c_str(), value.c_str());
      return false;
    }
  }
  if (options.type < 0) {
    const std::string extension = std::filesystem::path(options.file).extension().string();
    options.type = typeFromName(extension, kExtensions, std::size(kExtensions));
    if (options.type < 0) {
      std::fprintf(stderr, "nivexa: cannot tell the file type of %s; give --type\n",
                   options.file.c_str());
      return false;
    }
  }
  return true;
}

int snapshot(char** argv, const SnapshotOptions& options) {
  const LONG h = openCamera(argv, options.device, options.bits);
  if (h == 0) {
    return 1;
  }
  const auto failed = [h](const char* what) {
    std::fprintf(stderr, "nivexa: %s (error %d)\n", what, static_cast<int>(Nivexa_GetLastError(h)));
    Nivexa_Release(h);
    return 1;
  };
  // Ticks of 100 us, the exposure unit every camera of the family accepts.
  const auto ticks = static_cast<LONG>(options.exposure * 10000.0 + 0.5);
  if (options.exposure > 0 && !Nivexa_SetExposureTime(h, ticks < 1 ? 1 : ticks)) {
    return failed("exposure refused");
  }
  if (options.gain >= 0 && !Nivexa_SetGlobalGain(h, static_cast<LONG>(options.gain))) {
    return failed("gain refused");
  }
  if (!Nivexa_SnapShot(h, nullptr, 0, 1)) {
    return failed("no frame");
  }
  if (!Nivexa_SaveImage(h, options.file.c_str(), options.type)) {
    return failed("the image could not be saved");
  }
  BOOL ok = 0;
  const double exposure = Nivexa_GetExposureTime(h, &ok) / 10000.0;
  std::error_code error;
  const auto where = std::filesystem::absolute(options.file, error);
  const auto size = std::filesystem::file_size(options.file, error);
  std::printf("saved %s (%llu bytes): %d bits per pixel", where.string().c_str(),
              static_cast<unsigned long long>(size), options.bits);
  if (ok) {
    std::printf(", exposure %g s", exposure);
  }
  std::printf("\n");
  Nivexa_Release(h);
  return 0;
}

int runSettings(int argc, char** argv) {
  const char* action = argc > 2 ? argv[2] : "show";
  if (std::strcmp(action, "show") == 0 && argc <= 3) {
    std::fputs(nivexa::settings::describeStoredSettings().c_str(), stdout);
    return 0;
  }
  if (std::strcmp(action, "reset") == 0) {
    if (argc != 4 || std::strcmp(argv[3], "--yes") != 0) {
      std::fputs(
          "nivexa: settings reset removes the stored settings of every camera position;\n"
          "        run 'nivexa settings reset --yes' to confirm\n",
          stderr);
      return 2;
    }
    const int removed = nivexa::settings::resetStoredSettings();
    if (removed < 0) {
      std::fputs("nivexa: the settings store cannot be written\n", stderr);
      return 1;
    }
    std::printf("removed the stored settings of %d camera position%s\n", removed,
                removed == 1 ? "" : "s");
    return 0;
  }
  std::fprintf(stderr, "nivexa: unknown settings action '%s'\n", action);
  return printUsage(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return printUsage(stderr);
  }
  const std::string command = argv[1];
  if (command == "version") {
    return printVersion();
  }
  if (command == "family") {
    return printFamily();
  }
  if (command == "help" || command == "--help" || command == "-h") {
    return printUsage(stdout);
  }
  if (command == "snapshot") {
    SnapshotOptions options;
    if (!parseSnapshotOptions(argc, argv, options)) {
      return printUsage(stderr);
    }
    return snapshot(argv, options);
  }
  if (command == "settings") {
    return runSettings(argc, argv);
  }
  Options options;
  if (command == "view") {
    options.seconds = 0;
    if (!parseOptions(argc, argv, options)) {
      return printUsage(stderr);
    }
    const LONG h = openCamera(argv, options.device, 0);
    if (h == 0) {
      return 1;
    }
    const int status = runView(h, options.seconds);
    Nivexa_Release(h);
    return status;
  }
  if (command == "list" || command == "info" || command == "stream" || command == "record") {
    if (!parseOptions(argc, argv, options)) {
      return printUsage(stderr);
    }
    if (command == "list") {
      return listCameras(argv);
    }
    if (command == "record") {
      return record(argv, options);
    }
    return command == "info" ? showInfo(argv, options) : stream(argv, options);
  }
  std::fprintf(stderr, "nivexa: unknown command '%s'\n", command.c_str());
  return printUsage(stderr);
}
