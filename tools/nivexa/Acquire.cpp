#include "Acquire.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Camera.h"
#include "Files.h"
#include "Json.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "Recording.h"
#include "View.h"

namespace nivexa::tool {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kDefaultStreamSeconds = 3;
constexpr double kDefaultRecordSeconds = 3;
constexpr double kBytesPerMegabyte = 1e6;
// Buffers the stream command lends the library, and how long it waits for one at a time.
constexpr size_t kStreamBuffers = 4;
constexpr int32_t kStreamWaitMs = 100;
// Raw recordings keep the sensor's 12 bits unless --bits asks for 8.
constexpr LONG kRawRecordingBits = 16;

struct ImageType {
  const char* name;
  int code;  // as Nivexa_SaveImage takes it
  std::vector<const char*> extensions;
};

const std::vector<ImageType>& imageTypes() {
  static const std::vector<ImageType> types{{"bmp", 0, {".bmp"}},
                                            {"raw", 1, {".raw"}},
                                            {"jpeg", 2, {".jpg", ".jpeg"}},
                                            {"jpeg70", 3, {".jpg", ".jpeg"}},
                                            {"jpeg20", 4, {".jpg", ".jpeg"}},
                                            {"png", 5, {".png"}},
                                            {"tiff", 6, {".tif", ".tiff"}}};
  return types;
}

const ImageType* typeByName(const std::string& name) {
  for (const auto& type : imageTypes()) {
    if (name == type.name) {
      return &type;
    }
  }
  return nullptr;
}

const ImageType* typeByExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const auto& type : imageTypes()) {
    for (const char* candidate : type.extensions) {
      if (extension == candidate) {
        return &type;
      }
    }
  }
  return nullptr;
}

// The output file checked before the camera is opened; false after saying why not.
bool outputUsable(const char* command, const std::string& path) {
  if (const std::string why = whyNotWritable(path); !why.empty()) {
    std::fprintf(stderr, "nivexa %s: cannot write %s: %s\n", command, path.c_str(), why.c_str());
    return false;
  }
  return true;
}

}  // namespace

// Streams processed frames into buffers the tool lends the library, so every frame the camera
// sent is either delivered, dropped (no buffer queued, or replaced while the stream was busy), or
// counted as lost.
int streamFrames(const Arguments& args) {
  const bool json = args.has("json");
  const double seconds = args.number("seconds", kDefaultStreamSeconds);
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  const auto bits = static_cast<int>(Nivexa_GetColorMode(h.get()));
  const uint32_t frameBytes = NivexaStream_FrameBytes(h.get(), NIVEXA_STREAM_PROCESSED);
  std::vector<std::vector<uint8_t>> memory(kStreamBuffers, std::vector<uint8_t>(frameBytes));
  std::vector<NivexaBuffer> buffers(kStreamBuffers);
  bool started = frameBytes != 0;
  for (size_t i = 0; i < buffers.size() && started; ++i) {
    buffers[i].data = memory[i].data();
    buffers[i].capacity = frameBytes;
    started = NivexaStream_Queue(h.get(), &buffers[i]) != 0;
  }
  if (!started || !NivexaStream_Start(h.get(), NIVEXA_STREAM_PROCESSED)) {
    std::fprintf(stderr, "nivexa stream: the stream did not start (%s)\n",
                 errorText(h.get()).c_str());
    NivexaStream_Stop(h.get());
    return kExitFailed;
  }
  long total = 0;
  long inSecond = 0;
  long failures = 0;
  uint64_t bytes = 0;
  uint64_t totalBytes = 0;
  // A buffer that came back: counted, and lent again unless the camera stopped.
  const auto take = [&](NivexaBuffer* filled) {
    if (filled->status == NIVEXA_BUFFER_COMPLETE) {
      const uint64_t frame =
          static_cast<uint64_t>(filled->stride) * static_cast<uint64_t>(filled->height);
      bytes += frame;
      totalBytes += frame;
      ++inSecond;
      ++total;
    } else {
      ++failures;
      std::fprintf(
          stderr, "nivexa stream: buffer came back %s\n",
          filled->status == NIVEXA_BUFFER_FAILED ? "failed: the camera stopped" : "incomplete");
      if (filled->status == NIVEXA_BUFFER_FAILED) {
        return false;
      }
    }
    NivexaStream_Queue(h.get(), filled);
    return true;
  };
  // The time asked for is the stream's own: it starts with the first frame, so a camera still
  // settling or a loaded machine does not leave a short stream without frames.
  bool running = true;
  long markFrames = 0;
  uint64_t markBytes = 0;
  if (NivexaBuffer* first = NivexaStream_Wait(h.get(), kFirstFrameMs); first != nullptr) {
    running = take(first);
    // The first frame marks the start: the rates count the frames after it.
    inSecond = 0;
    bytes = 0;
    markFrames = total;
    markBytes = totalBytes;
  } else {
    std::fprintf(stderr, "nivexa stream: no frame arrived (%s)\n", errorText(h.get()).c_str());
    running = false;
  }
  const auto start = Clock::now();
  auto secondStart = start;
  NivexaStreamStatistics statistics{};
  JsonWriter out;
  if (json) {
    out.beginObject().key("seconds").beginArray();
  } else {
    std::printf("%-6s %-8s %-14s %-14s %-8s %-6s %s\n", "second", "frames", "library fps",
                "measured fps", "MB/s", "lost", "dropped");
  }
  int second = 1;
  while (running) {
    if (NivexaBuffer* filled = NivexaStream_Wait(h.get(), kStreamWaitMs); filled != nullptr) {
      if (!take(filled)) {
        break;
      }
    }
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - secondStart).count();
    const bool finished = std::chrono::duration<double>(now - start).count() >= seconds;
    if (elapsed >= 1.0 || finished) {
      NivexaStream_GetStatistics(h.get(), &statistics);
      const double fps = inSecond / elapsed;
      const double rate = static_cast<double>(bytes) / kBytesPerMegabyte / elapsed;
      if (json) {
        out.beginObject().key("second").value(second).key("frames").value(int64_t{inSecond});
        out.key("library_fps").value(statistics.frameRate).key("measured_fps").value(fps);
        out.key("megabytes_per_second").value(rate);
        out.key("lost").value(statistics.framesLost).key("dropped").value(statistics.framesDropped);
        out.endObject();
      } else {
        std::printf("%-6d %-8ld %-14.1f %-14.1f %-8.1f %-6llu %llu\n", second, inSecond,
                    statistics.frameRate, fps, rate,
                    static_cast<unsigned long long>(statistics.framesLost),
                    static_cast<unsigned long long>(statistics.framesDropped));
      }
      inSecond = 0;
      bytes = 0;
      secondStart = now;
      ++second;
      running = !finished;
    }
  }
  // The rates end where the stream's time did, not after the stop that follows it.
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  NivexaStream_Stop(h.get());
  while (NivexaStream_Wait(h.get(), 0) != nullptr) {
  }
  NivexaStream_GetStatistics(h.get(), &statistics);
  const double measured = static_cast<double>(total - markFrames) / elapsed;
  const double throughput =
      static_cast<double>(totalBytes - markBytes) / kBytesPerMegabyte / elapsed;
  if (json) {
    out.endArray().key("frames").value(int64_t{total}).key("bits").value(bits);
    out.key("seconds_elapsed").value(elapsed).key("measured_fps").value(measured);
    out.key("library_fps").value(statistics.frameRate);
    out.key("megabytes_per_second").value(throughput);
    out.key("lost").value(statistics.framesLost).key("dropped").value(statistics.framesDropped);
    out.key("frame_errors").value(int64_t{failures}).endObject();
    std::fputs(out.text().c_str(), stdout);
  } else {
    std::printf(
        "summary: %ld frames of %d bits in %.1f s, %.1f fps measured, %.1f fps reported, "
        "%.1f MB/s, %llu lost, %llu dropped, %ld frame errors\n",
        total, bits, elapsed, measured, statistics.frameRate, throughput,
        static_cast<unsigned long long>(statistics.framesLost),
        static_cast<unsigned long long>(statistics.framesDropped), failures);
  }
  return failures == 0 && total > 0 ? kExitOk : kExitFailed;
}

int takeSnapshot(const Arguments& args) {
  const std::string file = args.text("output", "frame.png");
  const ImageType* type = args.has("type") ? typeByName(args.text("type")) : typeByExtension(file);
  if (type == nullptr) {
    std::fprintf(stderr, "nivexa snapshot: cannot tell the file type of %s (give --type)\n",
                 file.c_str());
    return kExitUsage;
  }
  if (!args.has("force")) {
    const std::string written = std::string("a ") + type->name + " file";
    if (const std::string why = extensionMismatch(file, type->extensions, written.c_str());
        !why.empty()) {
      std::fprintf(stderr, "nivexa snapshot: %s: %s\n", file.c_str(), why.c_str());
      return kExitUsage;
    }
  }
  if (!outputUsable("snapshot", file)) {
    return kExitFailed;
  }
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  if (!Nivexa_SnapShot(h.get(), nullptr, 0, 1)) {
    std::fprintf(stderr, "nivexa snapshot: no frame (%s)\n", errorText(h.get()).c_str());
    return kExitFailed;
  }
  if (!Nivexa_SaveImage(h.get(), file.c_str(), type->code)) {
    std::fprintf(stderr, "nivexa snapshot: %s could not be saved (%s)\n", file.c_str(),
                 errorText(h.get()).c_str());
    return kExitFailed;
  }
  BOOL ok = 0;
  const double exposure = Nivexa_GetExposureTimeEx(h.get(), &ok);
  std::error_code error;
  const auto where = std::filesystem::absolute(file, error);
  const auto size = std::filesystem::file_size(file, error);
  std::printf("saved %s (%llu bytes): %d bits per pixel", where.string().c_str(),
              static_cast<unsigned long long>(size),
              static_cast<int>(Nivexa_GetColorMode(h.get())));
  if (ok) {
    std::printf(", exposure %g s", exposure);
  }
  std::printf("\n");
  return kExitOk;
}

int recordFrames(const Arguments& args) {
  const std::string format = args.text("format", "avi");
  const double seconds = args.number("seconds", kDefaultRecordSeconds);
  struct Format {
    const char* name;
    const char* defaultFile;
    std::vector<const char*> extensions;
    const char* written;
  };
  static const std::vector<Format> kFormats{
      {"avi", "recording.avi", {".avi"}, "an AVI file"},
      {"tiff", "recording.tif", {".tif", ".tiff"}, "a TIFF file"},
      {"raw", "recording.raw", {".raw"}, "raw frames"}};
  const Format* chosen = nullptr;
  for (const auto& candidate : kFormats) {
    chosen = format == candidate.name ? &candidate : chosen;
  }
  const std::string file = args.text("output", chosen->defaultFile);
  if (!args.has("force")) {
    if (const std::string why = extensionMismatch(file, chosen->extensions, chosen->written);
        !why.empty()) {
      std::fprintf(stderr, "nivexa record: %s: %s\n", file.c_str(), why.c_str());
      return kExitUsage;
    }
  }
  if (!outputUsable("record", file)) {
    return kExitFailed;
  }
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  if (format == "avi") {
    return recordStreamFrames(h.get(), RecordingFormat::Avi, file, seconds);
  }
  if (!args.has("bits") && !Nivexa_SetColorMode(h.get(), kRawRecordingBits)) {
    std::fprintf(stderr, "nivexa record: 16 bits per pixel refused (%s)\n",
                 errorText(h.get()).c_str());
    return kExitFailed;
  }
  const RecordingFormat kind = format == "tiff" ? RecordingFormat::Tiff : RecordingFormat::Raw;
  return recordStreamFrames(h.get(), kind, file, seconds);
}

int viewFrames(const Arguments& args) {
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  return runView(h.get(), args.number("seconds", 0));
}

}  // namespace nivexa::tool
