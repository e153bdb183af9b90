#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "transport/FrameHeader.h"
#include "transport/MemoryCommand.h"
#include "transport/RequestRecord.h"

namespace nivexa::transport {
namespace {

TEST(WireFormatTest, RequestRecordFieldsSitAtTheirDriverOffsets) {
  RequestRecord r;
  r.requestType = 0xC0;
  r.request = 0x31;
  r.value = 0x1234;
  r.index = 0x41;
  r.length = 102;
  r.timeLimitSeconds = 3;
  r.endpoint = 0x81;
  r.driverStatus = 0xA1A2A3A4;
  r.usbStatus = 0xB1B2B3B4;
  r.isoPacketOffset = 0x01020304;
  r.isoPacketLength = 0x05060708;
  r.dataOffset = 38;
  r.dataLength = 64;
  std::array<uint8_t, 38> bytes;
  bytes.fill(0xEE);
  encodeRequestRecord(r, bytes);
  const std::array<uint8_t, 38> expected = {
      0xC0, 0x31, 0x34, 0x12, 0x41, 0x00, 0x66, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00,
      0x81, 0xA4, 0xA3, 0xA2, 0xA1, 0xB4, 0xB3, 0xB2, 0xB1, 0x04, 0x03, 0x02, 0x01,
      0x08, 0x07, 0x06, 0x05, 0x26, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00};
  EXPECT_EQ(bytes, expected);

  const RequestRecord back = decodeRequestRecord(bytes);
  EXPECT_EQ(back.value, 0x1234);
  EXPECT_EQ(back.driverStatus, 0xA1A2A3A4u);
  EXPECT_EQ(back.usbStatus, 0xB1B2B3B4u);
  EXPECT_EQ(back.dataLength, 64u);
  EXPECT_EQ(back.endpoint, 0x81);
}

TEST(WireFormatTest, FrameHeaderFieldsAreLittleEndianAtTheirOffsets) {
  std::array<uint8_t, 64> header{};
  for (size_t i = 0; i < header.size(); ++i) {
    header[i] = static_cast<uint8_t>(i);
  }
  const FrameHeaderFields f = decodeFrameHeader(header);
  EXPECT_EQ(f.legacyByte, 4);
  EXPECT_EQ(f.payloadLength, 0x13121110u);
  EXPECT_EQ(f.infoA, 0x1F1E1D1Cu);
  EXPECT_EQ(f.frameCounter, 0x23222120u);
  EXPECT_EQ(f.infoB, 0x2B2A2928u);
  EXPECT_EQ(f.infoC, 0x2F2E2D2Cu);
  EXPECT_EQ(f.stamp, 0x333231302F2E2D2Cull);

  std::array<uint8_t, 64> again{};
  encodeFrameHeader(f, again);
  const FrameHeaderFields g = decodeFrameHeader(again);
  EXPECT_EQ(g.payloadLength, f.payloadLength);
  EXPECT_EQ(g.frameCounter, f.frameCounter);
  EXPECT_EQ(g.infoC, f.infoC);
  EXPECT_EQ(g.stamp, f.stamp);
}

TEST(WireFormatTest, MemoryCommandsCarryMagicAddressAndCount) {
  std::array<uint8_t, 32> bytes;
  bytes.fill(0xEE);
  encodeMemoryCommand(MemoryDirection::Read, 0x0000000500001000ull, 0x2000, bytes);
  const std::array<uint8_t, 32> expected = {'A',  'U', '3', 'R', 2, 0,    0,    0, 0x00, 0x10, 0x00,
                                            0x00, 5,   0,   0,   0, 0x00, 0x20, 0, 0,    0,    0,
                                            0,    0,   0,   0,   0, 0,    0,    0, 0,    0};
  EXPECT_EQ(bytes, expected);
  encodeMemoryCommand(MemoryDirection::Write, 0, 1, bytes);
  EXPECT_EQ(std::memcmp(bytes.data(), "AU3W", 4), 0);
}

}  // namespace
}  // namespace nivexa::transport
