#include "Recording.h"

#include <tiffio.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "AviSummary.h"
#include "Camera.h"
#include "Json.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"

namespace nivexa::tool {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kBuffers = 8;
constexpr int32_t kWaitMs = 100;
// A classic TIFF addresses 4 GiB; its directories and tags need some room of their own.
constexpr uint64_t kClassicTiffLimit = (uint64_t{1} << 32) - (uint64_t{1} << 24);
// How much faster than the first frames the camera might run, in choosing the TIFF layout.
constexpr double kRateMargin = 1.5;
constexpr uint32_t kSixteenBits = 16;
constexpr uint32_t kByteBits = 8;
constexpr uint16_t kTwelveBitMaximum = 4095;
// Room for the line of counts every recording reports.
constexpr size_t kCountsText = 160;

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Where the frames of a recording go, one after the other; `index` counts the frames written.
class FrameFile {
 public:
  virtual ~FrameFile() = default;
  virtual bool write(const NivexaBuffer& frame, uint32_t index) = 0;
  virtual bool close() = 0;
};

// One page per frame, rows decoded from the buffer's little-endian words into the host order
// libtiff writes from.
class TiffRecording : public FrameFile {
 public:
  bool open(const std::string& path, bool big) {
    tiff_.reset(TIFFOpen(path.c_str(), big ? "w8" : "w"));
    return tiff_ != nullptr;
  }
  bool write(const NivexaBuffer& frame, uint32_t page) override {
    TIFF* t = tiff_.get();
    const auto bits = static_cast<uint16_t>(frame.bitsPerPixel);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(frame.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(frame.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(frame.height));
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), uint16_t{0});
    if (bits == kSixteenBits) {
      TIFFSetField(t, TIFFTAG_MAXSAMPLEVALUE, kTwelveBitMaximum);
    }
    const auto* bytes = static_cast<const uint8_t*>(frame.data);
    std::vector<uint16_t> words(static_cast<size_t>(frame.width));
    for (int32_t y = 0; y < frame.height; ++y) {
      const uint8_t* row = bytes + static_cast<size_t>(y) * static_cast<size_t>(frame.stride);
      void* line = const_cast<uint8_t*>(row);
      if (bits == kSixteenBits) {
        for (size_t x = 0; x < words.size(); ++x) {
          words[x] = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << kByteBits));
        }
        line = words.data();
      }
      if (TIFFWriteScanline(t, line, static_cast<uint32_t>(y), 0) < 0) {
        return false;
      }
    }
    return TIFFWriteDirectory(t) != 0;
  }
  bool close() override {
    tiff_.reset();
    return true;
  }

 private:
  std::unique_ptr<TIFF, TiffCloser> tiff_;
};

// The frames as they came, rows packed, back to back.
class RawRecording : public FrameFile {
 public:
  bool open(const std::string& path) {
    file_.open(path, std::ios::binary | std::ios::trunc);
    return file_.is_open();
  }
  bool write(const NivexaBuffer& frame, uint32_t /*index*/) override {
    const auto* bytes = static_cast<const char*>(frame.data);
    const auto rowBytes = static_cast<std::streamsize>(frame.width) *
                          (frame.bitsPerPixel / static_cast<int>(kByteBits));
    for (int32_t y = 0; y < frame.height; ++y) {
      file_.write(bytes + static_cast<size_t>(y) * static_cast<size_t>(frame.stride), rowBytes);
    }
    return file_.good();
  }
  bool close() override {
    file_.close();
    return !file_.fail();
  }

 private:
  std::ofstream file_;
};

// Processed frames through the library's AVI writer, in the form Nivexa_Record writes.
class AviRecording : public FrameFile {
 public:
  bool open(int32_t h, const std::string& path, const NivexaBuffer& first, uint64_t maxFrames) {
    // Rate 0: the file's rate comes from the frames' own timestamps.
    file_.reset(NivexaStream_AviCreate(h, path.c_str(), first.width, first.height,
                                       first.bitsPerPixel, 0, maxFrames));
    return file_ != nullptr;
  }
  bool write(const NivexaBuffer& frame, uint32_t /*index*/) override {
    return NivexaStream_AviAppend(file_.get(), &frame) != 0;
  }
  bool close() override {
    const bool ok = file_ != nullptr && NivexaStream_AviClose(file_.get()) != 0;
    file_.reset();
    return ok;
  }

 private:
  struct Release {
    void operator()(NivexaAviFile* file) const { NivexaStream_AviRelease(file); }
  };
  std::unique_ptr<NivexaAviFile, Release> file_;
};

struct FrameRecord {
  uint32_t number;
  uint64_t timestampNs;
};

bool writeSidecar(const std::string& path, const NivexaBuffer& first,
                  const std::vector<FrameRecord>& frames, const NivexaStreamStatistics& counts) {
  JsonWriter out;
  out.beginObject().key("width").value(first.width).key("height").value(first.height);
  out.key("bits_per_pixel").value(first.bitsPerPixel);
  out.key("byte_order").value("little-endian");
  out.key("frame_bytes")
      .value(static_cast<uint64_t>(first.width) * static_cast<uint64_t>(first.height) *
             static_cast<uint64_t>(first.bitsPerPixel / static_cast<int>(kByteBits)));
  out.key("frames_lost").value(counts.framesLost).key("frames_dropped").value(counts.framesDropped);
  out.key("frames").beginArray();
  for (const auto& frame : frames) {
    out.beginObject()
        .key("number")
        .value(frame.number)
        .key("timestamp_ns")
        .value(frame.timestampNs);
    out.endObject();
  }
  out.endArray().endObject();
  std::ofstream file(path, std::ios::trunc);
  file << out.text();
  file.close();
  return !file.fail();
}

}  // namespace

int recordStreamFrames(int32_t h, RecordingFormat format, const std::string& path, double seconds) {
  const bool avi = format == RecordingFormat::Avi;
  // An AVI holds what the display shows; TIFF and raw keep the camera's own samples.
  const int32_t flags = avi ? NIVEXA_STREAM_PROCESSED : 0;
  const uint32_t frameBytes = NivexaStream_FrameBytes(h, flags);
  if (frameBytes == 0) {
    std::fprintf(stderr, "nivexa record: the camera cannot stream (%s)\n", errorText(h).c_str());
    return kExitFailed;
  }
  // A device or a pipe (the null device, a program reading the recording) is written in place
  // and cannot be read back: there the recording's own outcome is all there is to report.
  std::error_code kindError;
  const auto kind = std::filesystem::status(path, kindError).type();
  const bool readBack =
      kind == std::filesystem::file_type::not_found || kind == std::filesystem::file_type::regular;
  std::array<std::vector<uint8_t>, kBuffers> memory;
  std::array<NivexaBuffer, kBuffers> buffers{};
  // The stream stops, and the buffers come back before they go, however the recording ends.
  struct Stop {
    int32_t h;
    ~Stop() {
      NivexaStream_Stop(h);
      while (NivexaStream_Wait(h, 0) != nullptr) {
      }
    }
  } const stop{h};
  for (size_t i = 0; i < kBuffers; ++i) {
    memory[i].resize(frameBytes);
    buffers[i].data = memory[i].data();
    buffers[i].capacity = frameBytes;
    NivexaStream_Queue(h, &buffers[i]);
  }
  if (!NivexaStream_Start(h, flags)) {
    std::fprintf(stderr, "nivexa record: the stream did not start (%s)\n", errorText(h).c_str());
    return kExitFailed;
  }

  // The camera's frame rate tells the layout a file of `seconds` needs (a TIFF beyond 4 GiB, an
  // AVI beyond 2 GiB). Two frames' arrival times are only the fallback: a camera that had frames
  // ready when the stream started delivers its first ones back to back, which once made a
  // one-second recording look long enough for the extended layout. The first two frames are held
  // until the file is open.
  std::vector<NivexaBuffer*> held;
  while (held.size() < 2) {
    NivexaBuffer* filled = NivexaStream_Wait(h, kFirstFrameMs);
    if (filled == nullptr || filled->status == NIVEXA_BUFFER_FAILED) {
      std::fprintf(stderr, "nivexa record: no frame arrived (%s)\n", errorText(h).c_str());
      return kExitFailed;
    }
    if (filled->status == NIVEXA_BUFFER_COMPLETE) {
      held.push_back(filled);
    } else {
      NivexaStream_Queue(h, filled);
    }
  }
  double cameraRate = 0;
  const double interval =
      NivexaStream_GetFrameRate(h, &cameraRate) != 0 && cameraRate > 0
          ? 1.0 / cameraRate
          : static_cast<double>(held[1]->timestampNs - held[0]->timestampNs) / 1e9;
  const double expectedFrames = interval > 0 ? seconds / interval * kRateMargin + held.size() : 0;
  const double expectedBytes = expectedFrames * frameBytes;
  const bool big = interval <= 0 || expectedBytes >= static_cast<double>(kClassicTiffLimit);
  // 0 when the rate is unknown: the AVI then has the layout that grows to any length.
  const auto aviFrames = static_cast<uint64_t>(std::ceil(expectedFrames));

  const NivexaBuffer first = *held[0];
  std::unique_ptr<FrameFile> file;
  if (format == RecordingFormat::Avi) {
    auto aviFile = std::make_unique<AviRecording>();
    file = aviFile->open(h, path, first, aviFrames) ? std::move(aviFile) : nullptr;
  } else if (format == RecordingFormat::Tiff) {
    auto tiff = std::make_unique<TiffRecording>();
    file = tiff->open(path, big) ? std::move(tiff) : nullptr;
  } else {
    auto raw = std::make_unique<RawRecording>();
    file = raw->open(path) ? std::move(raw) : nullptr;
  }
  if (file == nullptr) {
    std::fprintf(stderr, "nivexa record: cannot write %s (%s)\n", path.c_str(),
                 avi ? errorText(h).c_str() : "not created");
    return kExitFailed;
  }
  std::vector<FrameRecord> frames;
  uint64_t written = 0;
  uint32_t failed = 0;
  bool ok = true;
  bool full = false;
  const auto start = Clock::now();
  const auto record = [&](NivexaBuffer* frame) {
    if (frame->width != first.width || frame->height != first.height ||
        frame->bitsPerPixel != first.bitsPerPixel) {
      std::fprintf(stderr, "nivexa record: the frame size changed; stopped\n");
      return false;
    }
    if (!big && format == RecordingFormat::Tiff && written + frameBytes >= kClassicTiffLimit) {
      if (!full) {
        std::fprintf(stderr, "nivexa record: the TIFF file reached 4 GiB; stopped\n");
      }
      full = true;
      return true;
    }
    const bool good = file->write(*frame, static_cast<uint32_t>(frames.size()));
    if (!good) {
      std::fprintf(stderr, "nivexa record: writing %s failed (%s)\n", path.c_str(),
                   avi ? errorText(h).c_str() : "write error");
      return false;
    }
    frames.push_back({frame->frameNumber, frame->timestampNs});
    written += static_cast<uint64_t>(frame->width) * static_cast<uint64_t>(frame->height) *
               static_cast<uint64_t>(frame->bitsPerPixel / static_cast<int>(kByteBits));
    return true;
  };
  // A buffer that came back: written when it holds a frame, counted when it failed.
  const auto take = [&](NivexaBuffer* filled) {
    if (filled->status == NIVEXA_BUFFER_COMPLETE) {
      if (ok && !full) {
        ok = record(filled);
      }
    } else if (filled->status != NIVEXA_BUFFER_CANCELLED) {
      ++failed;
    }
  };
  for (NivexaBuffer* frame : held) {
    take(frame);
    NivexaStream_Queue(h, frame);
  }
  while (ok && !full && std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
    NivexaBuffer* filled = NivexaStream_Wait(h, kWaitMs);
    if (filled == nullptr) {
      continue;
    }
    if (filled->status == NIVEXA_BUFFER_FAILED) {
      std::fprintf(stderr, "nivexa record: the camera stopped delivering frames\n");
      ++failed;
      break;
    }
    take(filled);
    NivexaStream_Queue(h, filled);
  }
  // Frames delivered while the time ran out are recorded too: every delivered frame is in the
  // file unless writing stopped.
  NivexaStream_Stop(h);
  while (NivexaBuffer* filled = NivexaStream_Wait(h, 0)) {
    if (filled->status == NIVEXA_BUFFER_COMPLETE) {
      take(filled);
    }
  }
  NivexaStreamStatistics counts{};
  NivexaStream_GetStatistics(h, &counts);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const bool closed = file->close();
  if (!closed && avi) {
    std::fprintf(stderr, "nivexa record: completing %s failed (%s)\n", path.c_str(),
                 errorText(h).c_str());
  }
  ok = closed && ok;
  const std::string sidecar = path + ".json";
  if (ok && format == RecordingFormat::Raw && !writeSidecar(sidecar, first, frames, counts)) {
    std::fprintf(stderr, "nivexa record: cannot write %s\n", sidecar.c_str());
    ok = false;
  }
  char counted[kCountsText];
  std::snprintf(counted, sizeof counted, "%llu delivered, %llu lost, %llu dropped, %u frame errors",
                static_cast<unsigned long long>(counts.framesDelivered),
                static_cast<unsigned long long>(counts.framesLost),
                static_cast<unsigned long long>(counts.framesDropped), failed);
  std::error_code error;
  const std::string shown = std::filesystem::absolute(path, error).string();
  if (avi && !readBack) {
    std::printf("recorded to %s: %zu frames of %dx%d at %d bits, %s\n", path.c_str(), frames.size(),
                first.width, first.height, first.bitsPerPixel, counted);
  } else if (avi) {
    // Read back as a player reads it: the file's own count is what was recorded.
    const AviSummary summary = summarizeAvi(path);
    if (!summary.complete) {
      std::fprintf(stderr, "nivexa record: the recording is not complete (%s)\n",
                   summary.problem.c_str());
      ok = false;
    }
    std::printf("recorded %s (%llu bytes, %s layout, %u RIFF chunk%s): %u frames, %.2f fps, %s\n",
                shown.c_str(), static_cast<unsigned long long>(summary.fileBytes),
                summary.extended ? "extended" : "plain", summary.riffChunks,
                summary.riffChunks == 1 ? "" : "s", summary.frames, summary.framesPerSecond,
                counted);
  } else {
    const auto size = std::filesystem::file_size(path, error);
    std::printf("recorded %s (%llu bytes, %s%s): %zu frames of %dx%d at %d bits, %.2f fps, %s\n",
                shown.c_str(), static_cast<unsigned long long>(size),
                format == RecordingFormat::Tiff ? (big ? "BigTIFF" : "TIFF") : "raw",
                format == RecordingFormat::Raw ? (", description in " + sidecar).c_str() : "",
                frames.size(), first.width, first.height, first.bitsPerPixel,
                elapsed > 0 ? frames.size() / elapsed : 0.0, counted);
  }
  return ok && failed == 0 && !frames.empty() ? kExitOk : kExitFailed;
}

}  // namespace nivexa::tool
