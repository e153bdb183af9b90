#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>

#include "output/AviTestSupport.h"
#include "output/AviWriter.h"
#include "platform/FileIO.h"

namespace nivexa::output {
namespace {

// A file sink that leaves long runs of zero bytes as holes, so that a recording of several
// gigabytes costs the disk only its non-zero bytes. Readers see the zeros all the same.
class SparseFileSink : public AviSink {
 public:
  bool create(const std::string& path) { return file_.open(path.c_str()); }
  bool append(std::span<const uint8_t> bytes) override {
    constexpr size_t kHoleFrom = 64 * 1024;
    if (bytes.size() < kHoleFrom) {
      return file_.write(bytes);
    }
    const auto lastNonZero =
        std::find_if(bytes.rbegin(), bytes.rend(), [](uint8_t b) { return b; });
    const size_t data = static_cast<size_t>(bytes.rend() - lastNonZero);
    return file_.write(bytes.first(data)) && file_.resize(file_.size() + bytes.size() - data);
  }
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    return file_.writeAt(offset, bytes);
  }
  bool resize(uint64_t size) override { return file_.resize(size); }
  uint64_t size() const override { return file_.size(); }
  bool finish() override { return file_.commit(); }

 private:
  platform::AtomicFileWriter file_;
};

// Full-size frames with the standard 1 GiB chunk limits: a file past 4 GiB, whose frame offsets
// no longer fit in 32 bits, read back by ffprobe and ffmpeg frame by frame.
TEST(AviWriterLarge, RecordingPastFourGibibytesIsReadWithEveryFrame) {
  const std::string path = test::tempPath("large.avi");
  struct Remove {
    std::string path;
    ~Remove() { std::filesystem::remove(path); }
  } remove{path};
  auto sink = std::make_unique<SparseFileSink>();
  ASSERT_TRUE(sink->create(path));
  AviFormat format;
  format.width = 2048;
  format.height = 1536;
  const uint64_t frames = 470;
  format.maxFrames = frames;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(std::move(sink), format));
  ASSERT_TRUE(writer.Extended());
  // Each frame's bottom row (first in the file) says which frame it is.
  std::vector<uint8_t> rows(writer.FrameBytes());
  for (uint64_t k = 0; k < frames; ++k) {
    std::fill_n(rows.begin(), 6144, static_cast<uint8_t>(k + 1));
    ASSERT_EQ(writer.AppendFrame(rows), AppendResult::Written) << "frame " << k;
  }
  ASSERT_TRUE(writer.Close(3000));
  ASSERT_GT(platform::fileSize(path.c_str()), int64_t{4} << 30);

  if (!test::haveFfmpeg()) {
    return;
  }
  auto probed = test::probeStream(path);
  EXPECT_EQ(probed["codec_name"], "rawvideo");
  EXPECT_EQ(probed["nb_frames"], std::to_string(frames));
  EXPECT_EQ(probed["nb_read_packets"], std::to_string(frames));
  const std::vector<uint8_t> last = test::decodeFrame(path, frames - 1);
  ASSERT_EQ(last.size(), writer.FrameBytes());
  // Top row first after decoding: the bottom row is the last one.
  EXPECT_EQ(last[last.size() - 1], static_cast<uint8_t>(frames));
  EXPECT_EQ(last[0], 0);
}

}  // namespace
}  // namespace nivexa::output
