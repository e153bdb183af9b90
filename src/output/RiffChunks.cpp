#include "output/RiffChunks.h"

#include "platform/ByteOrder.h"

namespace nivexa::output {

namespace {

constexpr uint32_t kKeyFrameFlag = 0x10;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;
constexpr uint32_t kDmlhBytes = 248;
constexpr size_t kTagBytes = 4;
constexpr size_t kSizeFieldBytes = 4;

}  // namespace

void RiffBuilder::fourcc(const char (&tag)[5]) {
  for (size_t i = 0; i < kTagBytes; ++i) {
    bytes_.push_back(static_cast<uint8_t>(tag[i]));
  }
}

template <typename T>
void RiffBuilder::append(T value) {
  const size_t at = bytes_.size();
  bytes_.resize(at + sizeof value);
  platform::storeLe(std::span(bytes_), at, value);
}

void RiffBuilder::u16(uint16_t value) {
  append(value);
}

void RiffBuilder::u32(uint32_t value) {
  append(value);
}

void RiffBuilder::u64(uint64_t value) {
  append(value);
}

void RiffBuilder::zeros(size_t count) {
  bytes_.insert(bytes_.end(), count, 0);
}

size_t RiffBuilder::begin(const char (&tag)[5]) {
  fourcc(tag);
  const size_t sizeField = bytes_.size();
  u32(0);
  return sizeField;
}

void RiffBuilder::end(size_t started) {
  platform::storeLe32(bytes_, started,
                      static_cast<uint32_t>(bytes_.size() - started - kSizeFieldBytes));
}

void putMainHeader(RiffBuilder& out, const AviMainHeader& header) {
  out.u32(header.microsecondsPerFrame);
  out.u32(header.maxBytesPerSecond);
  out.u32(0);  // padding granularity
  out.u32(header.flags);
  out.u32(header.totalFrames);
  out.u32(0);  // initial frames
  out.u32(1);  // streams
  out.u32(header.suggestedBufferSize);
  out.u32(header.width);
  out.u32(header.height);
  out.zeros(16);
}

void putStreamHeader(RiffBuilder& out, const AviStreamHeader& header) {
  out.fourcc("vids");
  out.fourcc("DIB ");
  out.u32(0);  // flags
  out.u16(0);  // priority
  out.u16(0);  // language
  out.u32(0);  // initial frames
  out.u32(header.scale);
  out.u32(header.rate);
  out.u32(0);  // start
  out.u32(header.length);
  out.u32(header.suggestedBufferSize);
  out.u32(0);  // quality
  out.u32(0);  // sample size
  out.zeros(16);
}

void putBitmapInfo24(RiffBuilder& out, int32_t width, int32_t height) {
  out.u32(static_cast<uint32_t>(kBitmapInfoBytes));
  out.u32(static_cast<uint32_t>(width));
  out.u32(static_cast<uint32_t>(height));  // positive: rows bottom-up
  out.u16(1);
  out.u16(24);
  out.zeros(24);  // uncompressed; image size, resolution and palette counts 0
}

void putIndexEntry(RiffBuilder& out, uint32_t offsetFromMoviTag, uint32_t size) {
  out.fourcc("00db");
  out.u32(kKeyFrameFlag);
  out.u32(offsetFromMoviTag);
  out.u32(size);
}

void putSuperIndex(RiffBuilder& out, std::span<const SuperIndexEntry> entries, size_t capacity) {
  const size_t chunk = out.begin("indx");
  out.u16(4);                                            // longs per entry
  out.u16(static_cast<uint16_t>(kIndexOfIndexes << 8));  // sub-type 0, then the type byte
  out.u32(static_cast<uint32_t>(entries.size()));
  out.fourcc("00db");
  out.zeros(12);
  for (const SuperIndexEntry& entry : entries) {
    out.u64(entry.indexOffset);
    out.u32(entry.indexBytes);
    out.u32(entry.frames);
  }
  if (capacity > entries.size()) {
    out.zeros((capacity - entries.size()) * kSuperIndexEntryBytes);
  }
  out.end(chunk);
}

void putStandardIndex(RiffBuilder& out, uint64_t base, std::span<const uint32_t> dataOffsets,
                      uint32_t frameBytes) {
  const size_t chunk = out.begin("ix00");
  out.u16(2);  // longs per entry
  out.u16(static_cast<uint16_t>(kIndexOfChunks << 8));
  out.u32(static_cast<uint32_t>(dataOffsets.size()));
  out.fourcc("00db");
  out.u64(base);
  out.u32(0);
  for (const uint32_t offset : dataOffsets) {
    out.u32(offset);
    out.u32(frameBytes);  // top bit clear: a key frame
  }
  out.end(chunk);
}

void putOdmlList(RiffBuilder& out, uint32_t totalFrames) {
  const size_t list = out.begin("LIST");
  out.fourcc("odml");
  const size_t header = out.begin("dmlh");
  out.u32(totalFrames);
  out.zeros(kDmlhBytes - 4);
  out.end(header);
  out.end(list);
}

}  // namespace nivexa::output
