#include "platform/FileIO.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace nivexa::platform {
namespace {

namespace fs = std::filesystem;

class FileIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / "nivexa-fileio-test";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  size_t entries() { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  fs::path dir_;
};

TEST_F(FileIOTest, CommitReplacesTargetAtomicallyAndLeavesNoTemporary) {
  const auto target = dir_ / "a.bin";
  std::ofstream(target) << "old";
  AtomicFileWriter w;
  ASSERT_TRUE(w.open(target.string().c_str()));
  const uint8_t bytes[] = {'n', 'e', 'w'};
  ASSERT_TRUE(w.write(bytes));
  EXPECT_EQ(contents(target), "old") << "the target changes only at commit";
  EXPECT_EQ(entries(), 2u);
  ASSERT_TRUE(w.commit());
  EXPECT_EQ(contents(target), "new");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(FileIOTest, AbandonedOrFailedWritesKeepTheOldFile) {
  const auto target = dir_ / "b.bin";
  std::ofstream(target) << "old";
  {
    AtomicFileWriter w;
    ASSERT_TRUE(w.open(target.string().c_str()));
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(w.write(bytes));
  }  // destroyed without commit
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(entries(), 1u);
  AtomicFileWriter nowhere;
  EXPECT_FALSE(nowhere.open((dir_ / "missing" / "c.bin").string().c_str()));
  const uint8_t byte[] = {0};
  EXPECT_FALSE(nowhere.write(byte));
  EXPECT_FALSE(nowhere.commit());
  EXPECT_FALSE(nowhere.open(""));
}

// A recording that hits a full disk cuts itself back to its last whole frame and still ends as
// a complete file; an encoder that patches outside its file never does.
TEST_F(FileIOTest, AFailureHoldsUntilResizeCutsTheFileBackToAWholeSize) {
  const auto target = dir_ / "r.bin";
  AtomicFileWriter w;
  ASSERT_TRUE(w.open(target.string().c_str()));
  const uint8_t head[] = {'a', 'b', 'c', 'd'};
  ASSERT_TRUE(w.write(head));
  EXPECT_FALSE(w.writeAt(2, head)) << "reaches past the end";
  EXPECT_FALSE(w.write(head)) << "the failure holds";
  ASSERT_TRUE(w.resize(2));
  const uint8_t tail[] = {'z'};
  ASSERT_TRUE(w.write(tail)) << "writing continues at the new end";
  ASSERT_TRUE(w.resize(5)) << "grows with zeros";
  ASSERT_TRUE(w.write(tail));
  EXPECT_EQ(w.size(), 6u);
  ASSERT_TRUE(w.commit());
  EXPECT_EQ(contents(target), std::string("abz\0\0z", 6));

  ASSERT_TRUE(w.open(target.string().c_str()));
  ASSERT_TRUE(w.write(head));
  EXPECT_FALSE(w.writeAt(3, head));
  EXPECT_FALSE(w.commit()) << "a failed file never replaces the target";
  EXPECT_EQ(contents(target), std::string("abz\0\0z", 6));
  EXPECT_EQ(entries(), 1u);
  EXPECT_FALSE(w.open((dir_.string() + "/").c_str())) << "a folder is no file to write";
}

// More pieces than one system call takes, empty ones among them, after bytes already written.
TEST_F(FileIOTest, PiecesArriveInOrderAfterWhatWasWritten) {
  const auto target = dir_ / "p.bin";
  std::vector<std::vector<uint8_t>> rows;
  std::string expected = "hd";
  for (int i = 0; i < 700; ++i) {
    rows.emplace_back(static_cast<size_t>(i % 5), static_cast<uint8_t>('a' + i % 26));
    expected.append(rows.back().begin(), rows.back().end());
  }
  std::vector<std::span<const uint8_t>> pieces(rows.begin(), rows.end());
  AtomicFileWriter w;
  ASSERT_TRUE(w.open(target.string().c_str()));
  const uint8_t head[] = {'h', 'd'};
  ASSERT_TRUE(w.write(head));
  ASSERT_TRUE(w.writePieces(pieces));
  EXPECT_EQ(w.size(), expected.size());
  ASSERT_TRUE(w.commit());
  EXPECT_EQ(contents(target), expected);
}

TEST_F(FileIOTest, InputFileReadsRegularFilesExactlyOrFails) {
  const auto path = dir_ / "in.bin";
  std::ofstream(path) << "abcdef";
  InputFile in;
  ASSERT_TRUE(in.open(path.string().c_str()));
  EXPECT_EQ(in.size().value_or(0), 6u);
  std::vector<uint8_t> four(4), three(3);
  EXPECT_TRUE(in.readExact(four));
  EXPECT_EQ(four[3], 'd');
  EXPECT_FALSE(in.readExact(three)) << "only two bytes are left";
  EXPECT_FALSE(InputFile().open((dir_ / "none").string().c_str()));
  EXPECT_FALSE(InputFile().open(dir_.string().c_str())) << "a folder is no file to read";
  EXPECT_FALSE(readWholeFile(path.string().c_str(), 5)) << "larger than allowed";
  EXPECT_EQ(readWholeFile(path.string().c_str(), 6).value_or(std::vector<uint8_t>{}).size(), 6u);
}

}  // namespace
}  // namespace nivexa::platform
