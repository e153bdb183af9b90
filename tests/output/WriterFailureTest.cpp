#include <gtest/gtest.h>

#include <vector>

#include "output/ImageWriters.h"
#include "output/OutputTestSupport.h"

namespace nivexa::output::testing {
namespace {

// A disk that fills up after `limit` bytes, or whose in-place writes fail.
class LimitedSink final : public ByteSink {
 public:
  explicit LimitedSink(uint64_t limit, bool patchFails = false)
      : limit_(limit), patchFails_(patchFails) {}
  bool append(std::span<const uint8_t> bytes) override {
    if (bytes.size() > limit_ - bytes_.size()) {
      return false;
    }
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return true;
  }
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    ++patches_;
    if (patchFails_ || offset + bytes.size() > bytes_.size()) {
      return false;
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<ptrdiff_t>(offset));
    return true;
  }
  uint64_t size() const override { return bytes_.size(); }
  int patches() const { return patches_; }

 private:
  uint64_t limit_;
  bool patchFails_;
  int patches_ = 0;
  std::vector<uint8_t> bytes_;
};

TEST(ImageWriters, EveryWriterReportsASinkThatFillsUpAtAnyPoint) {
  for (int32_t bits : {8, 16, 24, 32, 48, 64}) {
    imaging::DibImage image;
    ASSERT_EQ(image.Create(33, 21, static_cast<uint16_t>(bits)), 1);
    paintPicture(image);
    for (int32_t type = 0; type <= 6; ++type) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, type " << type);
      LimitedSink whole(UINT64_MAX);
      ASSERT_TRUE(writeImageTo(image, type, whole));
      const uint64_t size = whole.size();
      ASSERT_GT(size, 0u);
      for (uint64_t limit :
           {uint64_t{0}, uint64_t{1}, uint64_t{8}, uint64_t{60}, size / 2, size - 1}) {
        LimitedSink full(limit);
        EXPECT_FALSE(writeImageTo(image, type, full)) << "full after " << limit << " bytes";
      }
    }
  }
}

TEST(ImageWriters, TiffReportsAFailingHeaderPatch) {
  imaging::DibImage image;
  ASSERT_EQ(image.Create(8, 8, 24), 1);
  LimitedSink sink(UINT64_MAX, /*patchFails=*/true);
  // libtiff links the directory by patching the header once the strip is written.
  EXPECT_FALSE(writeTiff(image, sink));
  EXPECT_GT(sink.patches(), 0);
}

}  // namespace
}  // namespace nivexa::output::testing
