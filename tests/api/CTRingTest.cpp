#include "api/CTRing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nivexa::api {
namespace {

struct Entry {
  int32_t handle = 0;
  std::string name;
};

// Builds a ring by inserting the handles in order; the last one inserted is the head.
void fill(CTRing<Entry>& ring, std::initializer_list<int32_t> handles) {
  for (int32_t handle : handles) {
    // Appended: GCC 12 at -O3 warns falsely (-Wrestrict) about a literal + std::string.
    ring.insert(Entry{handle, std::string("h").append(std::to_string(handle))});
  }
}

TEST(CTRing, InsertPutsTheNewNodeAtTheHeadBeforeTheOldHead) {
  CTRing<Entry> ring;
  EXPECT_EQ(ring.count(), 0);
  EXPECT_FALSE(ring.headHandle());
  fill(ring, {1, 2, 3});
  EXPECT_EQ(ring.count(), 3);
  EXPECT_EQ(ring.headHandle(), 3);
  // Each insert goes between the last node and the head, so the order from the head is 3, 2, 1
  // and the last node is 1.
  ASSERT_TRUE(ring.lookup(1));
  EXPECT_EQ(ring.headHandle(), 1);
  ASSERT_TRUE(ring.lookup(2));
  EXPECT_EQ(ring.headHandle(), 2) << "from 1 the walk wraps round to 3 and then 2";
}

TEST(CTRing, LookupRotatesToTheFoundNodeAndReturnsItsPayload) {
  CTRing<Entry> ring;
  fill(ring, {10, 20, 30, 40});
  auto found = ring.lookup(20);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "h20");
  EXPECT_EQ(ring.headHandle(), 20);
  EXPECT_EQ(ring.count(), 4) << "rotation does not change membership";
}

TEST(CTRing, FailedLookupLeavesTheFormerLastNodeAsHead) {
  CTRing<Entry> ring;
  fill(ring, {1, 2, 3});  // order 3, 2, 1; last node is 1
  EXPECT_FALSE(ring.lookup(99));
  EXPECT_EQ(ring.headHandle(), 1);
  EXPECT_FALSE(ring.lookup(99));
  EXPECT_EQ(ring.headHandle(), 2) << "the last node is now 2, the node before 1";
}

TEST(CTRing, EmptyRingFindsNothing) {
  CTRing<Entry> ring;
  EXPECT_FALSE(ring.lookup(1));
  EXPECT_FALSE(ring.remove(1));
}

TEST(CTRing, RemoveUnlinksTheNodeAndMakesItsSuccessorTheHead) {
  CTRing<Entry> ring;
  fill(ring, {1, 2, 3});  // order 3, 2, 1
  auto removed = ring.remove(1);
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->name, "h1");
  EXPECT_EQ(ring.count(), 2);
  EXPECT_EQ(ring.headHandle(), 3) << "the successor of 1 wraps round to 3";
  EXPECT_FALSE(ring.lookup(1));
  EXPECT_FALSE(ring.remove(1)) << "a second removal finds nothing";
  ASSERT_TRUE(ring.remove(2));
  ASSERT_TRUE(ring.remove(3));
  EXPECT_EQ(ring.count(), 0);
  EXPECT_FALSE(ring.headHandle());
  fill(ring, {7});
  EXPECT_EQ(ring.headHandle(), 7) << "an emptied ring is usable again";
}

TEST(CTRing, SingleNodeIsFoundAndRemoved) {
  CTRing<Entry> ring;
  fill(ring, {5});
  EXPECT_TRUE(ring.lookup(5));
  EXPECT_FALSE(ring.lookup(6));
  EXPECT_EQ(ring.headHandle(), 5);
  EXPECT_TRUE(ring.remove(5));
  EXPECT_EQ(ring.count(), 0);
}

TEST(CTRing, InsertUniqueSkipsZeroAndHandlesInUse) {
  CTRing<Entry> ring;
  fill(ring, {5, 6});
  std::vector<int32_t> draws = {0, 5, 6, 0, 8};
  size_t next = 0;
  std::vector<int32_t> counts;
  const int32_t handle = ring.insertUnique(
      [&](int32_t count) {
        counts.push_back(count);
        return draws[next++];
      },
      [](int32_t h) {
        return Entry{h, "new"};
      });
  EXPECT_EQ(handle, 8);
  EXPECT_EQ(next, draws.size());
  EXPECT_EQ(counts.front(), 2) << "the draw sees the node count";
  EXPECT_EQ(ring.count(), 3);
  EXPECT_EQ(ring.headHandle(), 8);
}

TEST(CTRing, DrainHandsOutEveryPayload) {
  CTRing<Entry> ring;
  fill(ring, {1, 2, 3});
  std::vector<int32_t> seen;
  ring.drain([&](Entry entry) { seen.push_back(entry.handle); });
  EXPECT_EQ(seen, (std::vector<int32_t>{3, 2, 1}));
  EXPECT_EQ(ring.count(), 0);
}

}  // namespace
}  // namespace nivexa::api
