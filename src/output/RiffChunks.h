#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Little-endian building blocks of RIFF files and the AVI records written with them, encoded
// field by field.
namespace nivexa::output {

class RiffBuilder {
 public:
  void fourcc(const char (&tag)[5]);
  void u16(uint16_t value);
  void u32(uint32_t value);
  void u64(uint64_t value);
  void zeros(size_t count);
  // Starts a chunk or list: writes the tag and a size that end() fills in.
  size_t begin(const char (&tag)[5]);
  void end(size_t started);

  size_t size() const { return bytes_.size(); }
  std::span<const uint8_t> bytes() const { return bytes_; }
  void clear() { bytes_.clear(); }

 private:
  template <typename T>
  void append(T value);

  std::vector<uint8_t> bytes_;
};

// The 56-byte main header.
struct AviMainHeader {
  uint32_t microsecondsPerFrame = 0;
  uint32_t maxBytesPerSecond = 0;
  uint32_t flags = 0;
  uint32_t totalFrames = 0;
  uint32_t suggestedBufferSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};
inline constexpr size_t kMainHeaderBytes = 56;
void putMainHeader(RiffBuilder& out, const AviMainHeader& header);

// The 64-byte header of the one video stream (its frame rectangle is four 32-bit values).
struct AviStreamHeader {
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  uint32_t suggestedBufferSize = 0;
};
inline constexpr size_t kStreamHeaderBytes = 64;
void putStreamHeader(RiffBuilder& out, const AviStreamHeader& header);

// The 40-byte format of a bottom-up, uncompressed 24-bit bitmap.
inline constexpr size_t kBitmapInfoBytes = 40;
void putBitmapInfo24(RiffBuilder& out, int32_t width, int32_t height);

// One 16-byte idx1 entry of a key frame.
inline constexpr size_t kIndexEntryBytes = 16;
void putIndexEntry(RiffBuilder& out, uint32_t offsetFromMoviTag, uint32_t size);

// Extended (OpenDML) index records. The super index lists the standard indexes, one per RIFF
// chunk; a standard index lists the frames of its RIFF chunk relative to a 64-bit base.
struct SuperIndexEntry {
  uint64_t indexOffset = 0;  // file position of the standard index chunk
  uint32_t indexBytes = 0;   // its size including the chunk head
  uint32_t frames = 0;
};
inline constexpr size_t kSuperIndexHeadBytes = 8 + 24;
inline constexpr size_t kSuperIndexEntryBytes = 16;
// Writes the whole 'indx' chunk with `capacity` entries, unused ones zero.
void putSuperIndex(RiffBuilder& out, std::span<const SuperIndexEntry> entries, size_t capacity);

inline constexpr size_t kStandardIndexHeadBytes = 8 + 24;
inline constexpr size_t kStandardIndexEntryBytes = 8;
// Writes the whole 'ix00' chunk; each offset points at a chunk's data, relative to `base`.
void putStandardIndex(RiffBuilder& out, uint64_t base, std::span<const uint32_t> dataOffsets,
                      uint32_t frameBytes);

// The 'odml' list with its 'dmlh' header.
inline constexpr size_t kOdmlListBytes = 8 + 4 + 8 + 248;
void putOdmlList(RiffBuilder& out, uint32_t totalFrames);

}  // namespace nivexa::output
