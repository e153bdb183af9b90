#include "transport/DeviceTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "transport/DeviceNames.h"

namespace nivexa::transport {
namespace {

TEST(DeviceTableTest, LayoutOfTheSharedBlock) {
  ASSERT_EQ(kDeviceTableBytes, 8584u);
  DeviceTableImage table;
  table.userCount = 3;
  table.deviceCount = 2;
  table.entries[0] = {0x04B4, 0x33D0, 0, "\\\\?\\usb#vid_04b4&pid_33d0#1#{x}"};
  table.entries[31] = {0x1234, 0x5678, 7, "p"};
  std::vector<uint8_t> bytes(kDeviceTableBytes, 0xEE);
  encodeDeviceTable(table, std::span<uint8_t, kDeviceTableBytes>(bytes.data(), bytes.size()));

  EXPECT_EQ(platform::loadLe32(bytes, 0), 3u);
  EXPECT_EQ(platform::loadLe16(bytes, 4), 0x04B4);
  EXPECT_EQ(platform::loadLe16(bytes, 6), 0x33D0);
  EXPECT_EQ(platform::loadLe32(bytes, 8), 0u);
  EXPECT_EQ(bytes[12], '\\');
  EXPECT_EQ(bytes[12 + table.entries[0].path.size()], 0);
  const size_t last = 4 + 31 * 268;
  EXPECT_EQ(platform::loadLe16(bytes, last + 2), 0x5678);
  EXPECT_EQ(platform::loadLe32(bytes, last + 4), 7u);
  EXPECT_EQ(bytes[last + 8], 'p');
  EXPECT_EQ(bytes[last + 9], 0);
  // An empty entry in between: zero IDs, instance -1, empty path.
  EXPECT_EQ(platform::loadLe32(bytes, 4 + 268 + 4), 0xFFFFFFFFu);
  EXPECT_EQ(bytes[4 + 268 + 8], 0);
  EXPECT_EQ(platform::loadLe32(bytes, 8580), 2u);

  const DeviceTableImage back =
      decodeDeviceTable(std::span<const uint8_t, kDeviceTableBytes>(bytes.data(), bytes.size()));
  EXPECT_EQ(back.userCount, 3);
  EXPECT_EQ(back.deviceCount, 2);
  EXPECT_EQ(back.entries[0].path, table.entries[0].path);
  EXPECT_EQ(back.entries[31].instance, 7);
  EXPECT_EQ(back.entries[5].instance, -1);
}

TEST(DeviceTableTest, GarbageFromAnotherProcessIsContained) {
  std::vector<uint8_t> bytes(kDeviceTableBytes, 'x');  // no terminator anywhere
  platform::storeLe32(bytes, 8580, 1000);
  DeviceTableImage table =
      decodeDeviceTable(std::span<const uint8_t, kDeviceTableBytes>(bytes.data(), bytes.size()));
  EXPECT_EQ(table.deviceCount, kMaxDevices);
  EXPECT_TRUE(table.entries[0].path.empty());
  platform::storeLe32(bytes, 8580, static_cast<uint32_t>(-5));
  table =
      decodeDeviceTable(std::span<const uint8_t, kDeviceTableBytes>(bytes.data(), bytes.size()));
  EXPECT_EQ(table.deviceCount, 0);
}

TEST(DeviceTableTest, InterfacePathsGiveTheirIdsOrNothing) {
  const auto ids = parseInterfacePath("\\\\?\\usb#vid_04b4&pid_33D0#5&1a2b#{guid}");
  ASSERT_TRUE(ids);
  EXPECT_EQ(ids->vendorId, 0x04B4);
  EXPECT_EQ(ids->productId, 0x33D0);
  EXPECT_TRUE(parseInterfacePath("\\\\?\\usb#vid_04b4&pid_33d0"));
  EXPECT_FALSE(parseInterfacePath("\\\\?\\usb#vid_04b4&pid_33d"));
  EXPECT_FALSE(parseInterfacePath(""));
  EXPECT_FALSE(parseInterfacePath("\\\\?\\usb#vid_04b4&pid_3xd0#1"));
  EXPECT_FALSE(parseInterfacePath("\\\\?\\usb#vid_ 4b4&pid_33d0#1"));
}

TEST(DeviceNamesTest, NamesExactlyTheFourteenEarlierProductsOfTheFamily) {
  // The earlier products, 0x3020 to 0x3140, as the family's factory table has them.
  const std::vector<uint16_t> earlier = {0x3020, 0x3030, 0x3040, 0x3042, 0x3050, 0x3090, 0x30B0,
                                         0x30C0, 0x30F0, 0x3100, 0x3110, 0x3120, 0x3130, 0x3140};
  std::set<std::string> names;
  for (uint16_t productId : earlier) {
    SCOPED_TRACE(::testing::Message() << std::hex << productId);
    const auto name = earlierProductName(productId, 3);
    ASSERT_TRUE(name);
    EXPECT_TRUE(names.insert(*name).second) << "distinct names";
    const bool converter = productId == 0x3130;
    EXPECT_EQ(name->ends_with(converter ? "_03" : "-USB3-R5_03"), true) << *name;
    EXPECT_EQ(name->find("-USB3-R5") != std::string::npos, !converter) << *name;
  }
  EXPECT_EQ(earlierProductName(0x3020, 12).value_or("").substr(6), "-USB3-R5_12");
  for (uint16_t productId : {0x3060, 0x3070, 0x3080, 0x30A0, 0x3150, 0x3260, 0x33D0, 0x3010}) {
    EXPECT_FALSE(earlierProductName(productId, 0)) << std::hex << productId;
  }
}

}  // namespace
}  // namespace nivexa::transport
