#include "Recording.h"

#include <tiffio.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "Camera.h"
#include "Json.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"

namespace nivexa::tool {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kBuffers = 8;
constexpr int32_t kWaitMs = 100;
// Frames that may arrive before the first one, as the camera starts.
constexpr int32_t kFirstFrameMs = 5000;
// A classic TIFF addresses 4 GiB; its directories and tags need some room of their own.
constexpr uint64_t kClassicTiffLimit = (uint64_t{1} << 32) - (uint64_t{1} << 24);
// How much faster than the first frames the camera might run, in choosing the TIFF layout.
constexpr double kRateMargin = 1.5;
constexpr uint32_t kSixteenBits = 16;
constexpr uint32_t kByteBits = 8;
constexpr uint16_t kTwelveBitMaximum = 4095;

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// One page per frame, rows decoded from the buffer's little-endian words into the host order
// libtiff writes from.
class TiffRecording {
 public:
  bool open(const std::string& path, bool big) {
    tiff_.reset(TIFFOpen(path.c_str(), big ? "w8" : "w"));
    return tiff_ != nullptr;
  }
  bool write(const NivexaBuffer& frame, uint32_t page) {
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
  bool close() {
    tiff_.reset();
    return true;
  }

 private:
  std::unique_ptr<TIFF, TiffCloser> tiff_;
};

// The frames as they came, rows packed, back to back.
class RawRecording {
 public:
  bool open(const std::string& path) {
    file_.open(path, std::ios::binary | std::ios::trunc);
    return file_.is_open();
  }
  bool write(const NivexaBuffer& frame) {
    const auto* bytes = static_cast<const char*>(frame.data);
    const auto rowBytes = static_cast<std::streamsize>(frame.width) *
                          (frame.bitsPerPixel / static_cast<int>(kByteBits));
    for (int32_t y = 0; y < frame.height; ++y) {
      file_.write(bytes + static_cast<size_t>(y) * static_cast<size_t>(frame.stride), rowBytes);
    }
    return file_.good();
  }
  bool close() {
    file_.close();
    return !file_.fail();
  }

 private:
  std::ofstream file_;
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

int recordRawFrames(int32_t h, RecordingFormat format, const std::string& path, double seconds) {
  const uint32_t frameBytes = NivexaStream_FrameBytes(h, 0);
  if (frameBytes == 0) {
    std::fprintf(stderr, "nivexa record: the camera cannot stream (%s)\n", errorText(h).c_str());
    return kExitFailed;
  }
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
  if (!NivexaStream_Start(h, 0)) {
    std::fprintf(stderr, "nivexa record: the stream did not start (%s)\n", errorText(h).c_str());
    return kExitFailed;
  }

  // The first two frames tell the frame rate, and with it whether the TIFF needs the 64-bit
  // layout; they are held until then.
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
  const double interval = static_cast<double>(held[1]->timestampNs - held[0]->timestampNs) / 1e9;
  const double expectedFrames = interval > 0 ? seconds / interval * kRateMargin + held.size() : 0;
  const double expectedBytes = expectedFrames * frameBytes;
  const bool big = interval <= 0 || expectedBytes >= static_cast<double>(kClassicTiffLimit);

  TiffRecording tiff;
  RawRecording raw;
  const bool opened = format == RecordingFormat::Tiff ? tiff.open(path, big) : raw.open(path);
  if (!opened) {
    std::fprintf(stderr, "nivexa record: cannot write %s\n", path.c_str());
    return kExitFailed;
  }
  const NivexaBuffer first = *held[0];
  std::vector<FrameRecord> frames;
  uint64_t written = 0;
  uint32_t failed = 0;
  bool ok = true;
  const auto start = Clock::now();
  const auto record = [&](NivexaBuffer* frame) {
    if (frame->width != first.width || frame->height != first.height ||
        frame->bitsPerPixel != first.bitsPerPixel) {
      std::fprintf(stderr, "nivexa record: the frame size changed; stopped\n");
      return false;
    }
    const bool good = format == RecordingFormat::Tiff
                          ? tiff.write(*frame, static_cast<uint32_t>(frames.size()))
                          : raw.write(*frame);
    if (!good) {
      std::fprintf(stderr, "nivexa record: writing %s failed\n", path.c_str());
      return false;
    }
    frames.push_back({frame->frameNumber, frame->timestampNs});
    written += static_cast<uint64_t>(frame->width) * static_cast<uint64_t>(frame->height) *
               static_cast<uint64_t>(frame->bitsPerPixel / static_cast<int>(kByteBits));
    return true;
  };
  for (NivexaBuffer* frame : held) {
    ok = ok && record(frame);
    NivexaStream_Queue(h, frame);
  }
  while (ok && std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
    NivexaBuffer* filled = NivexaStream_Wait(h, kWaitMs);
    if (filled == nullptr) {
      continue;
    }
    if (filled->status == NIVEXA_BUFFER_FAILED) {
      std::fprintf(stderr, "nivexa record: the camera stopped delivering frames\n");
      ++failed;
      break;
    }
    if (filled->status == NIVEXA_BUFFER_COMPLETE) {
      if (!big && format == RecordingFormat::Tiff && written + frameBytes >= kClassicTiffLimit) {
        std::fprintf(stderr, "nivexa record: the TIFF file reached 4 GiB; stopped\n");
        break;
      }
      ok = record(filled);
    } else {
      ++failed;
    }
    NivexaStream_Queue(h, filled);
  }
  NivexaStreamStatistics counts{};
  NivexaStream_GetStatistics(h, &counts);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  ok = (format == RecordingFormat::Tiff ? tiff.close() : raw.close()) && ok;
  const std::string sidecar = path + ".json";
  if (ok && format == RecordingFormat::Raw && !writeSidecar(sidecar, first, frames, counts)) {
    std::fprintf(stderr, "nivexa record: cannot write %s\n", sidecar.c_str());
    ok = false;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  std::printf(
      "recorded %s (%llu bytes, %s%s): %zu frames of %dx%d at %d bits, %.2f fps, %llu lost, "
      "%llu dropped, %u frame errors\n",
      std::filesystem::absolute(path, error).string().c_str(),
      static_cast<unsigned long long>(size),
      format == RecordingFormat::Tiff ? (big ? "BigTIFF" : "TIFF") : "raw",
      format == RecordingFormat::Raw ? (", description in " + sidecar).c_str() : "", frames.size(),
      first.width, first.height, first.bitsPerPixel, elapsed > 0 ? frames.size() / elapsed : 0.0,
      static_cast<unsigned long long>(counts.framesLost),
      static_cast<unsigned long long>(counts.framesDropped), failed);
  return ok && failed == 0 && !frames.empty() ? kExitOk : kExitFailed;
}

}  // namespace nivexa::tool
