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
#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "UsbPermissions.h"
#include "View.h"
#include "compliance/Compliance.h"
#include "engine/FamilyReport.h"
#include "platform/Process.h"
#include "settings/SettingsReport.h"

namespace {

constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";
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
// Buffers the stream command lends the library, and how long it waits for one at a time.
constexpr size_t kStreamBuffers = 4;
constexpr int32_t kStreamWaitMs = 100;

int printUsage(std::FILE* out) {
  std::fputs(
      "usage: nivexa <command> [options]\n"
      "\n"
      "commands:\n"
      "  list                    cameras with name, serial number and FPGA version\n"
      "  info [--device N]       camera information, temperature, cooler, exposure and gain\n"
      "  stream [--seconds N] [--device N] [--bits 8|16]\n"
      "                          stream processed frames into lent buffers; report the frames\n"
      "                          delivered, lost (never received) and dropped (received, not\n"
      "                          delivered)\n"
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
      "  compliance [--device N] [--filter GLOB] [--list] [--junit FILE] [--repeat N]\n"
      "             [--scale PERCENT]\n"
      "                          run the compliance scenarios through the C interface: one\n"
      "                          line each (PASS, FAIL, SKIP, KNOWN) and a summary; --filter\n"
      "                          picks scenarios by name (* and ?; several patterns with\n"
      "                          commas), --list names them,\n"
      "                          --junit writes a JUnit XML report, --repeat N runs the long\n"
      "                          scenarios N times over, --scale runs a share of their counts;\n"
      "                          exit status 0 when none failed\n"
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

constexpr const char* kNoPermission = "no permission (install the udev rule, see README)";

// The attached cameras this user may not open, which the library cannot list.
std::vector<UnopenableCamera> unopenableCameras() {
  std::vector<uint16_t> products;
  for (const auto& row : nivexa::engine::describeFamily()) {
    products.push_back(row.productId);
  }
  return camerasWithoutPermission(products);
}

// A handle with at least one camera listed, or 0 after saying why not. With no camera attached
// and none asked for, the tool asks the library for a virtual one and looks again: an
// enumeration made while no camera is open reads the virtual-camera variable afresh.
LONG openHandle(int& count) {
  LONG h = Nivexa_Initialize(nullptr);
  char names[10][256] = {};
  count = h != 0 ? Nivexa_EnumDevice(h, names) : 0;
  bool fellBack = false;
  if (count == 0) {
    // A camera is attached after all; a virtual one in its place would hide what is wrong.
    const std::vector<UnopenableCamera> unopenable = unopenableCameras();
    for (const auto& camera : unopenable) {
      std::fprintf(stderr, "nivexa: camera %04x:%04x at USB port %s: %s\n", camera.vendorId,
                   camera.productId, camera.port.c_str(), kNoPermission);
    }
    if (!unopenable.empty()) {
      Nivexa_Release(h);
      return 0;
    }
  }
  if (count == 0 && std::getenv(kVirtualCamerasVariable) == nullptr) {
    std::fprintf(stderr, "nivexa: no camera attached; using one virtual camera\n");
    fellBack = nivexa::platform::setEnvironmentVariable(kVirtualCamerasVariable, "1");
    if (fellBack && h == 0) {
      h = Nivexa_Initialize(nullptr);
    }
    count = fellBack && h != 0 ? Nivexa_EnumDevice(h, names) : 0;
  }
  if (count == 0) {
    Nivexa_Release(h);
    std::fprintf(stderr, "nivexa: no camera found\n");
    return 0;
  }
  if (fellBack) {
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
LONG openCamera(int device, int bits) {
  int count = 0;
  const LONG h = openHandle(count);
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

int listCameras() {
  int count = 0;
  const LONG h = openHandle(count);
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
  for (const auto& camera : unopenableCameras()) {
    const std::string where = "USB port " + camera.port;
    std::printf("%-4s %-18s %s\n", "-", where.c_str(), kNoPermission);
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

int showInfo(const Options& options) {
  const LONG h = openCamera(options.device, 0);
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

// Streams processed frames into buffers the tool lends the library, so every frame the camera
// sent is either delivered, dropped (no buffer queued, or replaced while the stream was busy), or
// counted as lost.
int stream(const Options& options) {
  const LONG h = openCamera(options.device, options.bits);
  if (h == 0) {
    return 1;
  }
  const uint32_t frameBytes = NivexaStream_FrameBytes(h, NIVEXA_STREAM_PROCESSED);
  std::vector<std::vector<uint8_t>> memory(kStreamBuffers, std::vector<uint8_t>(frameBytes));
  std::vector<NivexaBuffer> buffers(kStreamBuffers);
  bool started = frameBytes != 0;
  for (size_t i = 0; i < buffers.size() && started; ++i) {
    buffers[i].data = memory[i].data();
    buffers[i].capacity = frameBytes;
    started = NivexaStream_Queue(h, &buffers[i]) != 0;
  }
  if (!started || !NivexaStream_Start(h, NIVEXA_STREAM_PROCESSED)) {
    std::fprintf(stderr, "nivexa: the stream did not start (error %d)\n",
                 static_cast<int>(Nivexa_GetLastError(h)));
    NivexaStream_Stop(h);
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
  uint64_t totalBytes = 0;
  NivexaStreamStatistics statistics{};
  std::printf("%-6s %-8s %-14s %-14s %-8s %-6s %s\n", "second", "frames", "library fps",
              "measured fps", "MB/s", "lost", "dropped");
  for (int second = 1; second <= options.seconds;) {
    if (NivexaBuffer* filled = NivexaStream_Wait(h, kStreamWaitMs); filled != nullptr) {
      if (filled->status == NIVEXA_BUFFER_COMPLETE) {
        const uint64_t frame =
            static_cast<uint64_t>(filled->stride) * static_cast<uint64_t>(filled->height);
        bytes += frame;
        totalBytes += frame;
        ++inSecond;
        ++total;
        NivexaStream_Queue(h, filled);
      } else {
        ++failures;
        std::printf("buffer came back %s\n", filled->status == NIVEXA_BUFFER_FAILED
                                                 ? "failed: the camera stopped"
                                                 : "incomplete");
        if (filled->status == NIVEXA_BUFFER_FAILED) {
          break;
        }
        NivexaStream_Queue(h, filled);
      }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - secondStart).count();
    if (elapsed >= 1.0) {
      NivexaStream_GetStatistics(h, &statistics);
      std::printf("%-6d %-8ld %-14.1f %-14.1f %-8.1f %-6llu %llu\n", second, inSecond,
                  statistics.frameRate, inSecond / elapsed,
                  static_cast<double>(bytes) / 1e6 / elapsed,
                  static_cast<unsigned long long>(statistics.framesLost),
                  static_cast<unsigned long long>(statistics.framesDropped));
      inSecond = 0;
      bytes = 0;
      secondStart = Clock::now();
      ++second;
    }
  }
  NivexaStream_Stop(h);
  NivexaStream_GetStatistics(h, &statistics);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "summary: %ld frames of %d bits in %.1f s, %.1f fps measured, %.1f fps reported, "
      "%.1f MB/s, %llu lost, %llu dropped, %ld frame errors\n",
      total, options.bits, seconds, total / seconds, statistics.frameRate,
      static_cast<double>(totalBytes) / 1e6 / seconds,
      static_cast<unsigned long long>(statistics.framesLost),
      static_cast<unsigned long long>(statistics.framesDropped), failures);
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

int record(const Options& options) {
  const LONG h = openCamera(options.device, options.bits);
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

int snapshot(const SnapshotOptions& options) {
  const LONG h = openCamera(options.device, options.bits);
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
    return snapshot(options);
  }
  if (command == "settings") {
    return runSettings(argc, argv);
  }
  if (command == "compliance") {
    // Without an attached camera the suite runs on a virtual one, as the other commands do;
    // only listing the scenarios needs no camera.
    bool listOnly = false;
    for (int i = 2; i < argc; ++i) {
      listOnly = listOnly || std::strcmp(argv[i], "--list") == 0;
    }
    if (!listOnly) {
      int count = 0;
      const LONG h = openHandle(count);
      if (h == 0) {
        return 1;
      }
      Nivexa_Release(h);
    }
    return runComplianceCommand(argc, argv);
  }
  Options options;
  if (command == "view") {
    options.seconds = 0;
    if (!parseOptions(argc, argv, options)) {
      return printUsage(stderr);
    }
    const LONG h = openCamera(options.device, 0);
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
      return listCameras();
    }
    if (command == "record") {
      return record(options);
    }
    return command == "info" ? showInfo(options) : stream(options);
  }
  std::fprintf(stderr, "nivexa: unknown command '%s'\n", command.c_str());
  return printUsage(stderr);
}
