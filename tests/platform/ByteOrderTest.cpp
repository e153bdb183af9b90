#include "platform/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace nivexa::platform {
namespace {

constexpr uint8_t kGuard = 0xA5;

// Each width at every offset of a buffer (so at odd and unaligned addresses too), at both ends
// of its range and with a pattern whose bytes all differ: the bytes land least significant
// first (or most significant first), the neighbours stay untouched, and a load gives the
// value back.
template <typename T, typename Store, typename Load>
void expectRoundTrips(Store store, Load load, bool bigEndian) {
  const T values[] = {T{0}, T{1}, static_cast<T>(T(~T{0}) >> 1), T(~T{0}),
                      static_cast<T>(0xF1E2D3C4B5A69788ull)};
  constexpr size_t kBuffer = 2 * sizeof(T) + 3;
  for (const T value : values) {
    for (size_t at = 0; at + sizeof(T) <= kBuffer; ++at) {
      std::array<uint8_t, kBuffer> bytes{};
      bytes.fill(kGuard);
      store(bytes, at, value);
      for (size_t i = 0; i < kBuffer; ++i) {
        const bool inside = i >= at && i < at + sizeof(T);
        const size_t shift = bigEndian ? sizeof(T) - 1 - (i - at) : i - at;
        const uint8_t want = inside ? static_cast<uint8_t>(value >> (8 * shift)) : kGuard;
        ASSERT_EQ(bytes[i], want) << sizeof(T) << "-byte value " << +value << " at " << at
                                  << ", byte " << i;
      }
      ASSERT_EQ(load(bytes, at), value) << sizeof(T) << "-byte value at " << at;
    }
  }
}

TEST(ByteOrderTest, EveryWidthAtEveryOffsetKeepsItsBytesInOrderAndItsNeighboursAlone) {
  expectRoundTrips<uint16_t>(storeLe16, loadLe16, false);
  expectRoundTrips<uint32_t>(storeLe32, loadLe32, false);
  expectRoundTrips<uint64_t>(storeLe64, loadLe64, false);
  expectRoundTrips<uint16_t>(storeBe16, loadBe16, true);
  expectRoundTrips<uint32_t>(storeBe32, loadBe32, true);
}

TEST(ByteOrderTest, KnownBytesReadAsTheFormatsDefineThem) {
  // The top bit of every byte set, so that a byte widened as signed would spill into the
  // bytes above it.
  const std::array<uint8_t, 9> bytes{0x00, 0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8};
  EXPECT_EQ(loadLe16(bytes, 1), 0x9281u);
  EXPECT_EQ(loadLe32(bytes, 1), 0xB4A39281u);
  EXPECT_EQ(loadLe64(bytes, 1), 0xF8E7D6C5B4A39281ull);
  EXPECT_EQ(loadBe16(bytes, 1), 0x8192u);
  EXPECT_EQ(loadBe32(bytes, 1), 0x8192A3B4u);
  static_assert(loadLe32(std::array<uint8_t, 4>{0x78, 0x56, 0x34, 0x12}, 0) == 0x12345678u);
}

}  // namespace
}  // namespace nivexa::platform
