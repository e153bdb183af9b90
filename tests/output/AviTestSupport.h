#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "output/AviSink.h"

namespace nivexa::test {

inline uint16_t rd16(std::span<const uint8_t> b, uint64_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t rd32(std::span<const uint8_t> b, uint64_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint64_t rd64(std::span<const uint8_t> b, uint64_t at) {
  return rd32(b, at) | (static_cast<uint64_t>(rd32(b, at + 4)) << 32);
}
inline std::string tag(std::span<const uint8_t> b, uint64_t at) {
  return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A sink in memory that accepts a limited number of bytes in total, like a disk that fills up
// part way through a write.
class BudgetSink : public output::AviSink {
 public:
  explicit BudgetSink(std::vector<uint8_t>& bytes, uint64_t budget = UINT64_MAX,
                      bool* finished = nullptr)
      : bytes_(bytes), budget_(budget), finished_(finished) {
    bytes_.clear();
    if (finished_ != nullptr) {
      *finished_ = false;
    }
  }
  bool append(std::span<const uint8_t> data) override {
    const uint64_t room = bytes_.size() >= budget_ ? 0 : budget_ - bytes_.size();
    const size_t taken = static_cast<size_t>(std::min<uint64_t>(room, data.size()));
    bytes_.insert(bytes_.end(), data.begin(), data.begin() + taken);
    return taken == data.size();
  }
  bool writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    if (offset + data.size() > bytes_.size()) {
      return false;
    }
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<ptrdiff_t>(offset));
    return true;
  }
  bool resize(uint64_t size) override {
    if (size > budget_) {
      return false;
    }
    bytes_.resize(static_cast<size_t>(size));
    return true;
  }
  uint64_t size() const override { return bytes_.size(); }
  bool finish() override {
    if (finished_ != nullptr) {
      *finished_ = true;
    }
    return true;
  }

 private:
  std::vector<uint8_t>& bytes_;
  uint64_t budget_;
  bool* finished_;
};

// What an independent walk through the RIFF structure finds: the frames in index order, each
// as the position of its pixel data.
struct AviContents {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frameBytes = 0;
  uint32_t streamLength = 0;
  uint32_t mainTotalFrames = 0;
  uint32_t microsecondsPerFrame = 0;
  uint32_t scale = 0;
  uint32_t rate = 0;
  bool extended = false;
  uint32_t odmlTotalFrames = 0;
  size_t riffCount = 0;
  std::vector<uint64_t> idx1Frames;      // data positions from idx1
  std::vector<uint64_t> extendedFrames;  // data positions from the super and standard indexes
};

// Reads a movi list as a sequential player does: frame chunks and standard indexes only, back
// to back up to the list's end. Returns the data positions of the frames.
inline std::vector<uint64_t> scanMovi(std::span<const uint8_t> b, uint64_t moviTag,
                                      uint64_t moviEnd) {
  std::vector<uint64_t> frames;
  uint64_t at = moviTag + 4;
  while (at + 8 <= moviEnd) {
    const std::string id = tag(b, at);
    EXPECT_TRUE(id == "00db" || id == "ix00") << "chunk '" << id << "' at " << at;
    if (id == "00db") {
      frames.push_back(at + 8);
    }
    at += 8 + ((uint64_t{rd32(b, at + 4)} + 1) & ~uint64_t{1});
  }
  EXPECT_EQ(at, moviEnd) << "movi list does not end on a chunk boundary";
  return frames;
}

// Checks every size and index of the file on the way; a failed expectation marks the test.
inline AviContents walkAvi(std::span<const uint8_t> b) {
  AviContents c;
  EXPECT_GE(b.size(), 232u);
  if (b.size() < 232) {
    return c;
  }
  EXPECT_EQ(tag(b, 0), "RIFF");
  EXPECT_EQ(tag(b, 8), "AVI ");
  const uint64_t firstEnd = 8 + uint64_t{rd32(b, 4)};
  EXPECT_LE(firstEnd, b.size());
  EXPECT_EQ(tag(b, 12), "LIST");
  EXPECT_EQ(tag(b, 20), "hdrl");
  EXPECT_EQ(tag(b, 24), "avih");
  EXPECT_EQ(rd32(b, 28), 56u);
  c.microsecondsPerFrame = rd32(b, 32);
  c.mainTotalFrames = rd32(b, 48);
  c.width = rd32(b, 64);
  c.height = rd32(b, 68);
  EXPECT_EQ(tag(b, 88), "LIST");
  EXPECT_EQ(tag(b, 96), "strl");
  EXPECT_EQ(tag(b, 100), "strh");
  EXPECT_EQ(rd32(b, 104), 64u);
  EXPECT_EQ(tag(b, 108), "vids");
  EXPECT_EQ(tag(b, 112), "DIB ");
  c.scale = rd32(b, 128);
  c.rate = rd32(b, 132);
  c.streamLength = rd32(b, 140);
  EXPECT_EQ(tag(b, 172), "strf");
  EXPECT_EQ(rd32(b, 176), 40u);
  EXPECT_EQ(rd32(b, 184), c.width);
  EXPECT_EQ(rd32(b, 188), c.height);
  EXPECT_EQ(rd16(b, 194), 24u);
  const uint32_t stride = (c.width * 3 + 3) & ~3u;
  c.frameBytes = stride * c.height;

  const uint64_t hdrlEnd = 20 + uint64_t{rd32(b, 16)};
  const uint64_t strlEnd = 96 + uint64_t{rd32(b, 92)};
  std::vector<std::pair<uint64_t, uint32_t>> superEntries;  // index offset, frames
  c.extended = strlEnd > 220;
  if (c.extended) {
    EXPECT_EQ(tag(b, 220), "indx");
    EXPECT_EQ(rd16(b, 228), 4u);
    EXPECT_EQ(b[231], 0u);  // index of indexes
    const uint32_t inUse = rd32(b, 232);
    EXPECT_EQ(tag(b, 236), "00db");
    for (uint32_t i = 0; i < inUse; ++i) {
      const uint64_t at = 252 + 16 * uint64_t{i};
      superEntries.emplace_back(rd64(b, at), rd32(b, at + 12));
      EXPECT_EQ(rd32(b, at + 8), 32 + 8 * rd32(b, at + 12));
    }
    EXPECT_EQ(tag(b, strlEnd), "LIST");
    EXPECT_EQ(tag(b, strlEnd + 8), "odml");
    EXPECT_EQ(tag(b, strlEnd + 12), "dmlh");
    c.odmlTotalFrames = rd32(b, strlEnd + 20);
  } else {
    EXPECT_EQ(hdrlEnd, 220u);
  }
  EXPECT_EQ(tag(b, hdrlEnd), "LIST");
  EXPECT_EQ(tag(b, hdrlEnd + 8), "movi");
  const uint64_t moviTag = hdrlEnd + 8;
  const uint64_t moviEnd = moviTag + rd32(b, hdrlEnd + 4);
  EXPECT_LE(moviEnd, firstEnd);
  if (moviEnd + 8 > b.size()) {
    ADD_FAILURE() << "no room for idx1";
    return c;
  }
  std::vector<uint64_t> sequential = scanMovi(b, moviTag, moviEnd);
  EXPECT_EQ(tag(b, moviEnd), "idx1");
  const uint32_t idx1Bytes = rd32(b, moviEnd + 4);
  EXPECT_EQ(idx1Bytes % 16, 0u);
  EXPECT_EQ(moviEnd + 8 + idx1Bytes, firstEnd);
  for (uint32_t i = 0; i < idx1Bytes / 16 && moviEnd + 24 + 16 * i <= b.size(); ++i) {
    const uint64_t at = moviEnd + 8 + 16 * uint64_t{i};
    EXPECT_EQ(tag(b, at), "00db");
    EXPECT_EQ(rd32(b, at + 4), 0x10u);
    EXPECT_EQ(rd32(b, at + 12), c.frameBytes);
    const uint64_t chunk = moviTag + rd32(b, at + 8);
    EXPECT_EQ(tag(b, chunk), "00db");
    EXPECT_EQ(rd32(b, chunk + 4), c.frameBytes);
    c.idx1Frames.push_back(chunk + 8);
  }
  EXPECT_EQ(c.idx1Frames, sequential);

  // Every further RIFF chunk is an AVIX with one movi list.
  c.riffCount = 1;
  uint64_t at = firstEnd;
  while (at + 8 <= b.size()) {
    EXPECT_EQ(tag(b, at), "RIFF");
    EXPECT_EQ(tag(b, at + 8), "AVIX");
    EXPECT_EQ(tag(b, at + 12), "LIST");
    EXPECT_EQ(tag(b, at + 20), "movi");
    EXPECT_EQ(at + 20 + rd32(b, at + 16), at + 8 + rd32(b, at + 4));
    const std::vector<uint64_t> more = scanMovi(b, at + 20, at + 20 + rd32(b, at + 16));
    sequential.insert(sequential.end(), more.begin(), more.end());
    at += 8 + uint64_t{rd32(b, at + 4)};
    ++c.riffCount;
  }
  EXPECT_EQ(at, b.size());

  for (const auto& [offset, frames] : superEntries) {
    EXPECT_EQ(tag(b, offset), "ix00");
    EXPECT_EQ(rd16(b, offset + 8), 2u);
    EXPECT_EQ(b[offset + 11], 1u);  // index of chunks
    EXPECT_EQ(rd32(b, offset + 12), frames);
    EXPECT_EQ(tag(b, offset + 16), "00db");
    const uint64_t base = rd64(b, offset + 20);
    for (uint32_t i = 0; i < frames; ++i) {
      const uint64_t data = base + rd32(b, offset + 32 + 8 * uint64_t{i});
      EXPECT_EQ(rd32(b, offset + 36 + 8 * uint64_t{i}), c.frameBytes);  // key frame bit clear
      EXPECT_EQ(tag(b, data - 8), "00db");
      c.extendedFrames.push_back(data);
    }
  }
  EXPECT_EQ(superEntries.size(), c.extended ? c.riffCount : 0);
  if (c.extended) {
    EXPECT_EQ(c.extendedFrames, sequential);
  }
  return c;
}

// Runs a shell command and returns its standard output.
inline std::string runCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return out;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, got);
  }
  pclose(pipe);
  return out;
}

// Whether ffprobe and ffmpeg run here. Under Wine they do not: they are programs of the Linux
// host, which a Windows process cannot start; the decoder checks are then left out (with a
// line in the output) and only the byte-level checks of the files run.
inline bool haveFfmpeg() {
  static const bool present = [] {
    const bool found = runCommand("ffprobe -version").find("ffprobe") != std::string::npos;
    if (!found) {
      std::printf("note: ffprobe is not available; the files are not decoded\n");
    }
    return found;
  }();
  return present;
}

// What ffprobe reports of the video stream, by key ("codec_name", "nb_read_packets", ...).
inline std::map<std::string, std::string> probeStream(const std::string& path) {
  const std::string out = runCommand(
      "ffprobe -v error -count_packets -select_streams v:0 -show_entries "
      "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,nb_read_packets "
      "-of default=noprint_wrappers=1 '" +
      path + "'");
  std::map<std::string, std::string> values;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) {
      end = out.size();
    }
    const std::string line = out.substr(at, end - at);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    at = end + 1;
  }
  return values;
}

// Frame `n` as ffmpeg decodes it, rows top first, blue-green-red.
inline std::vector<uint8_t> decodeFrame(const std::string& path, uint64_t n) {
  const std::string out =
      runCommand("ffmpeg -v error -i '" + path + "' -vf 'select=eq(n\\," + std::to_string(n) +
                 ")' -frames:v 1 -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
  return std::vector<uint8_t>(out.begin(), out.end());
}

// A path for a test file that no other test program running at the same time uses.
inline std::string tempPath(const std::string& name) {
  static const std::string run = std::to_string(std::random_device()() % 1000000000);
  return ::testing::TempDir() + "nivexa-avi-" + run + "-" + name;
}

}  // namespace nivexa::test
