#include "output/AviWriter.h"

#include <algorithm>

namespace nivexa::output {

namespace {

constexpr uint32_t kFlagsHasIndexWasCapture = 0x00010010;
constexpr uint32_t kStreamRate = 10000000;
constexpr uint32_t kMicrosecondsPerFrameTimesRate = 100000000;
constexpr uint32_t kScaleTimesRate = 1000000000;
// A 32-bit RIFF size field cannot describe more.
constexpr uint64_t kLargestRiff = uint64_t{1} << 32;
// Every size and position of a plain file, its own length included, fits in a signed 32-bit
// integer: the readers that know nothing of the extended layout often keep them that way.
constexpr uint64_t kLargestPlainFile = (uint64_t{1} << 31) - 1;
// Bit 31 of a standard index size marks a frame that is not a key frame.
constexpr uint64_t kLargestFrame = (uint64_t{1} << 31) - 8;
constexpr size_t kPlainHeaderBytes = 232;
constexpr size_t kContinuationHeadBytes = 24;  // RIFF size AVIX LIST size movi
constexpr size_t kUnknownLengthIndexes = 1024;
constexpr size_t kMostIndexes = 65536;

}  // namespace

uint32_t AviWriter::MeasuredRate(uint64_t frames, uint32_t elapsedMs) {
  if (elapsedMs == 0) {
    return kOpenRate;
  }
  // 64-bit: frames × 100000 leaves 32 bits after 42949 frames.
  const uint64_t rate = frames * 100000 / elapsedMs;
  return static_cast<uint32_t>(std::clamp<uint64_t>(rate, 1, UINT32_MAX));
}

void AviWriter::reset() {
  sink_.reset();
  riffs_.clear();
  framePositions_.clear();
  writeFailed_ = false;
  full_ = false;
  extended_ = false;
  superIndexCapacity_ = 0;
  fileBytes_ = 0;
}

bool AviWriter::Open(const std::string& path, const AviFormat& format, const AviLimits& limits) {
  reset();
  if (format.width <= 0 || format.height <= 0) {
    return false;
  }
  auto sink = openAviFileSink(path);
  return sink != nullptr && Open(std::move(sink), format, limits);
}

bool AviWriter::Open(std::unique_ptr<AviSink> sink, const AviFormat& format,
                     const AviLimits& limits) {
  reset();
  if (sink == nullptr || format.width <= 0 || format.height <= 0) {
    return false;
  }
  const uint64_t stride = StrideOf(format.width);
  const uint64_t frameBytes = stride * static_cast<uint64_t>(format.height);
  if (format.width > INT32_MAX / 3 || frameBytes > kLargestFrame) {
    return false;
  }
  width_ = format.width;
  height_ = format.height;
  sourceDepth_ = format.sourceBitsPerPixel;
  stride_ = static_cast<uint32_t>(stride);
  frameBytes_ = static_cast<uint32_t>(frameBytes);
  limits_.firstRiffBytes = std::min(limits.firstRiffBytes, kLargestRiff);
  limits_.riffBytes = std::min(limits.riffBytes, kLargestRiff);
  limits_.plainBytes = std::min(limits.plainBytes, kLargestPlainFile);

  const uint64_t chunk = frameBytes + 8;
  if (format.maxFrames != 0) {
    const uint64_t plainBytes =
        kPlainHeaderBytes + format.maxFrames * (chunk + kIndexEntryBytes) + 8;
    extended_ = plainBytes > limits_.plainBytes;
  } else {
    extended_ = true;
  }
  if (extended_) {
    size_t capacity = kUnknownLengthIndexes;
    const uint64_t perChunk = chunk + kStandardIndexEntryBytes;
    const uint64_t room = limits_.riffBytes - kContinuationHeadBytes - kStandardIndexHeadBytes;
    const uint64_t framesPerRiff = std::max<uint64_t>(1, room / perChunk);
    if (format.maxFrames != 0) {
      capacity = static_cast<size_t>(std::min<uint64_t>(
          kMostIndexes, (format.maxFrames + framesPerRiff - 1) / framesPerRiff + 2));
    }
    // The index of indexes must leave the first chunk room for frames.
    const size_t roomInFirst =
        static_cast<size_t>(limits_.firstRiffBytes / 4 / kSuperIndexEntryBytes);
    superIndexCapacity_ = std::max<size_t>(2, std::min(capacity, roomInFirst));
  }

  sink_ = std::move(sink);
  riffs_.push_back(Riff{});
  const std::vector<uint8_t> header = encodeHeader(kOpenRate);
  riffs_.front().moviTag = header.size() - 4;
  riffs_.front().moviEnd = header.size();
  riffs_.front().end = header.size();
  if (!sink_->append(header)) {
    reset();
    return false;
  }
  return true;
}

std::vector<uint8_t> AviWriter::encodeHeader(uint32_t rate) const {
  const Riff& first = riffs_.front();
  const uint32_t frames = static_cast<uint32_t>(framePositions_.size());
  const uint32_t chunkBytes = frameBytes_ + 8;
  rate = std::max<uint32_t>(rate, 1);

  RiffBuilder out;
  out.fourcc("RIFF");
  out.u32(first.end >= 8 ? static_cast<uint32_t>(first.end - 8) : 0);
  out.fourcc("AVI ");
  const size_t hdrl = out.begin("LIST");
  out.fourcc("hdrl");
  const size_t avih = out.begin("avih");
  AviMainHeader main;
  main.microsecondsPerFrame = kMicrosecondsPerFrameTimesRate / rate;
  // The square of the chunk size, as recorders of this family have always written it; players
  // take the field as a hint only.
  main.maxBytesPerSecond = chunkBytes * chunkBytes;
  main.flags = kFlagsHasIndexWasCapture;
  main.totalFrames = extended_ ? static_cast<uint32_t>(first.frames) : frames;
  main.suggestedBufferSize = chunkBytes;
  main.width = static_cast<uint32_t>(width_);
  main.height = static_cast<uint32_t>(height_);
  putMainHeader(out, main);
  out.end(avih);

  const size_t strl = out.begin("LIST");
  out.fourcc("strl");
  const size_t strh = out.begin("strh");
  AviStreamHeader stream;
  stream.scale = kScaleTimesRate / rate;
  stream.rate = kStreamRate;
  stream.length = frames;
  stream.suggestedBufferSize = chunkBytes;
  putStreamHeader(out, stream);
  out.end(strh);
  const size_t strf = out.begin("strf");
  putBitmapInfo24(out, width_, height_);
  out.end(strf);
  if (extended_) {
    std::vector<SuperIndexEntry> entries;
    for (const Riff& riff : riffs_) {
      if (riff.finished) {
        entries.push_back({riff.indexOffset, riff.indexBytes, static_cast<uint32_t>(riff.frames)});
      }
    }
    putSuperIndex(out, entries, superIndexCapacity_);
  }
  out.end(strl);
  if (extended_) {
    putOdmlList(out, frames);
  }
  out.end(hdrl);

  out.fourcc("LIST");
  const uint64_t moviBytes = first.moviEnd > out.size() + 4 ? first.moviEnd - out.size() - 4 : 4;
  out.u32(static_cast<uint32_t>(moviBytes));
  out.fourcc("movi");
  return std::vector<uint8_t>(out.bytes().begin(), out.bytes().end());
}

uint64_t AviWriter::limitOf(const Riff& riff) const {
  if (!extended_) {
    return limits_.plainBytes;
  }
  return &riff == &riffs_.front() ? limits_.firstRiffBytes : limits_.riffBytes;
}

uint64_t AviWriter::tailBytes(const Riff& riff, size_t frames) const {
  uint64_t bytes = 0;
  if (extended_) {
    bytes += kStandardIndexHeadBytes + kStandardIndexEntryBytes * frames;
  }
  if (&riff == &riffs_.front()) {
    bytes += 8 + kIndexEntryBytes * frames;
  }
  return bytes;
}

AppendResult AviWriter::AppendFrame(std::span<const uint8_t> rows) {
  if (!sink_ || rows.size() != frameBytes_) {
    return AppendResult::Rejected;
  }
  if (writeFailed_) {
    return AppendResult::WriteFailed;
  }
  if (full_) {
    return AppendResult::Full;
  }
  const uint64_t chunk = uint64_t{frameBytes_} + 8;
  {
    const Riff& current = riffs_.back();
    if (sink_->size() - current.start + chunk + tailBytes(current, current.frames + 1) >
        limitOf(current)) {
      if (!extended_ || current.frames == 0 || riffs_.size() >= superIndexCapacity_) {
        full_ = true;
        return AppendResult::Full;
      }
      if (!finishRiff() || !beginContinuation()) {
        return AppendResult::WriteFailed;
      }
    }
  }
  const uint64_t position = sink_->size();
  RiffBuilder head;
  head.fourcc("00db");
  head.u32(frameBytes_);
  if (!sink_->append(head.bytes()) || !sink_->append(rows)) {
    writeFailed_ = true;
    // Whatever part of the chunk reached the disk goes, so the file ends on a whole frame.
    (void)sink_->resize(position);
    return AppendResult::WriteFailed;
  }
  framePositions_.push_back(position);
  ++riffs_.back().frames;
  return AppendResult::Written;
}

bool AviWriter::writeTail(Riff& riff) {
  const std::span<const uint64_t> frames(framePositions_.data() + riff.firstFrame, riff.frames);
  RiffBuilder out;
  const uint64_t tailStart = sink_->size();
  if (extended_) {
    std::vector<uint32_t> dataOffsets;
    dataOffsets.reserve(frames.size());
    for (const uint64_t position : frames) {
      dataOffsets.push_back(static_cast<uint32_t>(position + 8 - riff.moviTag));
    }
    putStandardIndex(out, riff.moviTag, dataOffsets, frameBytes_);
  }
  const size_t indexBytes = out.size();
  if (&riff == &riffs_.front()) {
    const size_t idx1 = out.begin("idx1");
    for (const uint64_t position : frames) {
      putIndexEntry(out, static_cast<uint32_t>(position - riff.moviTag), frameBytes_);
    }
    out.end(idx1);
  }
  if (!sink_->append(out.bytes())) {
    return false;
  }
  riff.indexOffset = tailStart;
  riff.indexBytes = static_cast<uint32_t>(indexBytes);
  riff.moviEnd = tailStart + indexBytes;
  riff.end = sink_->size();
  return true;
}

void AviWriter::dropLastFrame() {
  const uint64_t position = framePositions_.back();
  framePositions_.pop_back();
  --riffs_.back().frames;
  (void)sink_->resize(position);
}

bool AviWriter::finishRiff() {
  while (true) {
    Riff& current = riffs_.back();
    const uint64_t mark = sink_->size();
    if (writeTail(current)) {
      break;
    }
    // The disk is full or refuses more: give up frames from the end until the index fits.
    writeFailed_ = true;
    (void)sink_->resize(mark);
    if (current.frames == 0) {
      if (riffs_.size() == 1) {
        return false;
      }
      (void)sink_->resize(current.start);
      riffs_.pop_back();
      return false;
    }
    dropLastFrame();
  }
  Riff& current = riffs_.back();
  current.finished = true;
  if (!patchSizes(current)) {
    writeFailed_ = true;
  }
  return !writeFailed_;
}

bool AviWriter::patchSizes(const Riff& riff) {
  if (&riff == &riffs_.front()) {
    return true;  // the header is rewritten whole at the end
  }
  RiffBuilder riffSize;
  riffSize.u32(static_cast<uint32_t>(riff.end - riff.start - 8));
  RiffBuilder moviSize;
  moviSize.u32(static_cast<uint32_t>(riff.moviEnd - riff.moviTag));
  return sink_->writeAt(riff.start + 4, riffSize.bytes()) &&
         sink_->writeAt(riff.moviTag - 4, moviSize.bytes());
}

bool AviWriter::beginContinuation() {
  Riff next;
  next.start = sink_->size();
  next.firstFrame = framePositions_.size();
  RiffBuilder out;
  out.fourcc("RIFF");
  out.u32(0);
  out.fourcc("AVIX");
  out.fourcc("LIST");
  out.u32(4);
  out.fourcc("movi");
  next.moviTag = next.start + out.size() - 4;
  if (!sink_->append(out.bytes())) {
    writeFailed_ = true;
    (void)sink_->resize(next.start);
    return false;
  }
  riffs_.push_back(next);
  return true;
}

bool AviWriter::Close(uint32_t rate) {
  if (!sink_) {
    return false;
  }
  if (!riffs_.back().finished) {
    (void)finishRiff();
  }
  bool ok = !writeFailed_;
  if (!riffs_.front().finished) {
    // Not even an empty index could be written: the file is not a valid AVI.
    reset();
    return false;
  }
  const std::vector<uint8_t> header = encodeHeader(rate);
  ok = sink_->writeAt(0, header) && ok;
  fileBytes_ = sink_->size();
  ok = sink_->finish() && ok;
  const bool failed = !ok;
  sink_.reset();
  riffs_.clear();
  writeFailed_ = failed;
  return ok;
}

}  // namespace nivexa::output
