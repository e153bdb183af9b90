#include <gtest/gtest.h>

#include "output/ByteSink.h"
#include "output/OutputTestSupport.h"

namespace nivexa::output::testing {
namespace {

using FileSinkTest = OutputFolderTest;

// Pieces smaller and larger than the gather buffer, interleaved with patches of earlier bytes,
// end up in the file in order; nothing reaches the target name before commit.
TEST_F(FileSinkTest, GatheredAndLargeWritesAndPatchesLandInOrder) {
  const auto target = dir_ / "out.bin";
  std::vector<uint8_t> want;
  platform::AtomicFileWriter file;
  ASSERT_TRUE(file.open(target.string().c_str()));
  FileSink sink(file);
  uint8_t next = 1;
  for (size_t piece : {size_t{3}, size_t{100000}, size_t{300000}, size_t{1}, size_t{200000},
                       size_t{70000}, size_t{600000}, size_t{5}}) {
    std::vector<uint8_t> bytes(piece);
    for (auto& b : bytes) {
      b = next;
      next = static_cast<uint8_t>(next * 7 + 3);
    }
    ASSERT_TRUE(sink.append(bytes));
    want.insert(want.end(), bytes.begin(), bytes.end());
    ASSERT_EQ(sink.size(), want.size());
  }
  const uint8_t patch[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  ASSERT_TRUE(sink.writeAt(2, patch));
  std::copy(std::begin(patch), std::end(patch), want.begin() + 2);
  EXPECT_FALSE(sink.writeAt(want.size() - 2, patch)) << "a patch may not grow the file";
  const uint8_t tail[2] = {9, 9};
  EXPECT_FALSE(sink.append(tail)) << "a failed sink stays failed";
  EXPECT_FALSE(sink.flush());
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(file.commit()) << "a file that refused bytes is not committed";
  EXPECT_TRUE(entries().empty());

  platform::AtomicFileWriter again;
  ASSERT_TRUE(again.open(target.string().c_str()));
  FileSink good(again);
  ASSERT_TRUE(good.append(want));
  ASSERT_TRUE(good.writeAt(0, patch));
  ASSERT_TRUE(good.flush());
  ASSERT_TRUE(again.commit());
  std::copy(std::begin(patch), std::end(patch), want.begin());
  EXPECT_EQ(fileBytes(target), want);
  EXPECT_EQ(entries(), std::vector<std::string>{"out.bin"});
}

}  // namespace
}  // namespace nivexa::output::testing
