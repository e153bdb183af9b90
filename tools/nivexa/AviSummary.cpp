#include "AviSummary.h"

#include <array>
#include <fstream>
#include <optional>

namespace {

constexpr uint64_t kChunkHeadBytes = 8;  // tag, then the little-endian size
constexpr uint64_t kTagBytes = 4;
// Offsets inside the chunks' data.
constexpr uint64_t kMainHeaderTotalFrames = 16;
constexpr uint64_t kStreamHeaderScale = 20;
constexpr uint64_t kStreamHeaderRate = 24;
constexpr uint64_t kStreamHeaderLength = 32;
constexpr uint64_t kOdmlTotalFrames = 0;
constexpr const char* kFrameChunk = "00db";

class Reader {
 public:
  explicit Reader(const std::string& path) : in_(path, std::ios::binary) {}
  bool ok() const { return static_cast<bool>(in_); }

  // Its own little-endian reader: the tool sees the public headers only, not the library's.
  std::optional<uint32_t> word(uint64_t at) {
    std::array<unsigned char, 4> bytes{};
    if (!read(at, bytes)) {
      return std::nullopt;
    }
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
  }
  std::string tag(uint64_t at) {
    std::array<unsigned char, kTagBytes> bytes{};
    return read(at, bytes) ? std::string(bytes.begin(), bytes.end()) : std::string();
  }

 private:
  template <size_t N>
  bool read(uint64_t at, std::array<unsigned char, N>& bytes) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(N));
    return in_.gcount() == static_cast<std::streamsize>(N);
  }

  std::ifstream in_;
};

uint64_t padded(uint64_t size) {
  return size + (size & 1);
}

struct Header {
  std::optional<uint32_t> mainTotal, streamLength, scale, rate, odmlTotal;
};

// The chunks and lists of [from, to); `visit(tag, listType, dataStart, dataSize)` for each.
template <typename Visit>
bool walk(Reader& file, uint64_t from, uint64_t to, Visit visit) {
  for (uint64_t at = from; at < to;) {
    const auto size = file.word(at + kTagBytes);
    if (at + kChunkHeadBytes > to || !size || at + kChunkHeadBytes + *size > to) {
      return false;
    }
    const std::string tag = file.tag(at);
    const bool list = tag == "LIST";
    const std::string type = list ? file.tag(at + kChunkHeadBytes) : std::string();
    if (!visit(tag, type, at + kChunkHeadBytes, uint64_t{*size})) {
      return false;
    }
    at += kChunkHeadBytes + padded(*size);
  }
  return true;
}

void readHeader(Reader& file, uint64_t from, uint64_t to, Header& header) {
  (void)walk(file, from, to,
             [&](const std::string& tag, const std::string& type, uint64_t data, uint64_t size) {
               if (tag == "LIST" && (type == "strl" || type == "odml")) {
                 readHeader(file, data + kTagBytes, data + size, header);
               } else if (tag == "avih") {
                 header.mainTotal = file.word(data + kMainHeaderTotalFrames);
               } else if (tag == "strh") {
                 header.scale = file.word(data + kStreamHeaderScale);
                 header.rate = file.word(data + kStreamHeaderRate);
                 header.streamLength = file.word(data + kStreamHeaderLength);
               } else if (tag == "dmlh") {
                 header.odmlTotal = file.word(data + kOdmlTotalFrames);
               }
               return true;
             });
}

}  // namespace

AviSummary summarizeAvi(const std::string& path) {
  AviSummary summary;
  Reader file(path);
  std::ifstream sizer(path, std::ios::binary | std::ios::ate);
  if (!file.ok() || !sizer) {
    summary.problem = "it cannot be read";
    return summary;
  }
  summary.fileBytes = static_cast<uint64_t>(sizer.tellg());

  Header header;
  uint64_t frames = 0;
  uint64_t at = 0;
  while (at < summary.fileBytes) {
    const auto size = file.word(at + kTagBytes);
    const std::string form = file.tag(at + kChunkHeadBytes);
    const bool first = at == 0;
    if (file.tag(at) != "RIFF" || !size || form != (first ? "AVI " : "AVIX") ||
        at + kChunkHeadBytes + *size > summary.fileBytes) {
      summary.problem = "RIFF chunk " + std::to_string(summary.riffChunks + 1) +
                        " is missing, of another kind or cut short";
      return summary;
    }
    const uint64_t end = at + kChunkHeadBytes + *size;
    bool movi = false;
    const bool whole =
        walk(file, at + kChunkHeadBytes + kTagBytes, end,
             [&](const std::string&, const std::string& type, uint64_t data, uint64_t listSize) {
               if (first && type == "hdrl") {
                 readHeader(file, data + kTagBytes, data + listSize, header);
               } else if (type == "movi") {
                 movi = true;
                 return walk(file, data + kTagBytes, data + listSize,
                             [&](const std::string& chunk, const std::string&, uint64_t, uint64_t) {
                               frames += chunk == kFrameChunk ? 1 : 0;
                               return true;
                             });
               }
               return true;
             });
    if (!whole || !movi) {
      summary.problem = "RIFF chunk " + std::to_string(summary.riffChunks + 1) +
                        " does not hold a whole frame list";
      return summary;
    }
    ++summary.riffChunks;
    at = padded(end);
  }
  if (summary.riffChunks == 0) {
    summary.problem = "it is empty";
    return summary;
  }
  summary.extended = header.odmlTotal.has_value();
  const std::optional<uint32_t> total = summary.extended ? header.odmlTotal : header.mainTotal;
  if (!total || !header.streamLength || *total != frames || *header.streamLength != frames) {
    summary.problem =
        "its header does not count the " + std::to_string(frames) + " frames it holds";
    return summary;
  }
  summary.frames = *total;
  if (header.scale && header.rate && *header.scale != 0) {
    summary.framesPerSecond = static_cast<double>(*header.rate) / *header.scale;
  }
  summary.complete = true;
  return summary;
}
