#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "RecordingBackend.h"
#include "TransportTestSupport.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "transport/CVelCy3Cam.h"
#include "transport/FrameHeader.h"

namespace nivexa::transport {
namespace {

using testing::RecordingBackend;
using testing::SeenRequest;

constexpr uint8_t kFpgaDepth = 60;
constexpr uint8_t kFpgaHeightLow = 64;
constexpr uint8_t kFpgaWidthLow = 68;

class CVelCy3CamTransfersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    camera_ = RecordingBackend::instance().addCamera(
        {.serial = "XFER1", .pacing = sim::Pacing::Fast, .noise = false});
  }
  static void TearDownTestSuite() {
    RecordingBackend::instance().removeCamera(camera_);
    camera_.reset();
  }
  void SetUp() override {
    backend().memoryDevice = false;
    camera_->clearFaults();
    ASSERT_EQ(cam_.SetDeviceIndex(testing::indexOfPath(cam_, backend().pathOf(camera_))), 1);
    ASSERT_EQ(cam_.PrepareStream(), 1);
    setFrame(2048, 1536, true);
    backend().clearRequests();
    camera_->clearTrace();
  }
  void TearDown() override {
    backend().memoryDevice = false;
    backend().swallowTransfers = false;
    camera_->clearFaults();
  }

  // Endpoint bytes of the aborts the driver saw, in order.
  static std::vector<int> aborts() {
    std::vector<int> endpoints;
    for (const auto& r : backend().requests()) {
      if (r.code == kIoctlAbortPipe) {
        endpoints.push_back(r.argument);
      }
    }
    return endpoints;
  }
  static int countOf(uint32_t code) {
    int n = 0;
    for (const auto& r : backend().requests()) {
      n += r.code == code ? 1 : 0;
    }
    return n;
  }
  static RecordingBackend& backend() { return RecordingBackend::instance(); }

  void setFrame(uint16_t width, uint16_t height, bool sixteenBit) {
    ASSERT_EQ(cam_.WriteFpgaRegister(kFpgaWidthLow, width & 0xFF), 1);
    ASSERT_EQ(cam_.WriteFpgaRegister(kFpgaWidthLow + 1, width >> 8), 1);
    ASSERT_EQ(cam_.WriteFpgaRegister(kFpgaHeightLow, height & 0xFF), 1);
    ASSERT_EQ(cam_.WriteFpgaRegister(kFpgaHeightLow + 1, height >> 8), 1);
    ASSERT_EQ(cam_.WriteFpgaRegister(kFpgaDepth, sixteenBit ? 2 : 1), 1);
  }

  // Sizes of the bulk transfers the driver saw on an endpoint.
  std::vector<size_t> bulkSizes(uint8_t endpoint) const {
    std::vector<size_t> sizes;
    for (const auto& r : backend().requests()) {
      if (r.code == kIoctlDirectTransfer && r.record && r.record->endpoint == endpoint) {
        sizes.push_back(r.outSize);
      }
    }
    return sizes;
  }

  static void setPayloadLength(FrameDescriptor& frame, uint32_t length) {
    platform::storeLe32(frame.header, 16, length);
  }

  static inline std::shared_ptr<sim::Camera> camera_;
  CVelCy3Cam cam_;
};

TEST_F(CVelCy3CamTransfersTest, WholeFrameArrivesInPiecesStraightIntoTheBuffer) {
  std::vector<uint8_t> buffer(2048 * 1536 * 2, 0xEE);
  FrameDescriptor frame;
  frame.receiveBuffer = buffer;
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  EXPECT_NE(cam_.StreamHandle(), kInvalidDeviceHandle);  // left open for the payload
  const FrameHeaderFields fields = decodeFrameHeader(frame.header);
  EXPECT_EQ(fields.payloadLength, buffer.size());
  EXPECT_EQ(frame.frameCounter, fields.frameCounter);
  EXPECT_EQ(frame.frameCounter, camera_->frameCount());
  ASSERT_EQ(cam_.ReadFramePayload(frame, 1000), 1);
  EXPECT_EQ(bulkSizes(0x81),
            (std::vector<size_t>{64, 0x80000, 0x80000, 0x80000, 0x80000, 0x80000, 0x80000, 0x80000,
                                 0x80000, 0x80000, 0x80000, 0x80000, 0x80000}));
  // The last piece was written too: the sensor's black level is never 0xEEEE.
  EXPECT_FALSE(buffer[buffer.size() - 1] == 0xEE && buffer[buffer.size() - 2] == 0xEE);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  EXPECT_EQ(frame.frameCounter, fields.frameCounter + 1);
}

TEST_F(CVelCy3CamTransfersTest, PayloadPiecesFollowTheHeaderLength) {
  std::vector<uint8_t> buffer(0x100000);
  FrameDescriptor frame;
  frame.receiveBuffer = buffer;

  setFrame(512, 512, true);  // exactly one piece
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  ASSERT_EQ(decodeFrameHeader(frame.header).payloadLength, 0x80000u);
  backend().clearRequests();
  ASSERT_EQ(cam_.ReadFramePayload(frame, 1000), 1);
  EXPECT_EQ(bulkSizes(0x81), std::vector<size_t>{0x80000});

  setFrame(512, 520, true);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  setPayloadLength(frame, 0x80001);
  backend().clearRequests();
  ASSERT_EQ(cam_.ReadFramePayload(frame, 1000), 1);
  EXPECT_EQ(bulkSizes(0x81), (std::vector<size_t>{0x80000, 1}));

  setPayloadLength(frame, 0);
  backend().clearRequests();
  EXPECT_EQ(cam_.ReadFramePayload(frame, 1000), 1);
  EXPECT_TRUE(backend().requests().empty());

  setPayloadLength(frame, 0x100001);  // more than the buffer holds
  EXPECT_EQ(cam_.ReadFramePayload(frame, 1000), 0);
  EXPECT_TRUE(backend().requests().empty());
}

TEST_F(CVelCy3CamTransfersTest, ShortPieceFailsThePayload) {
  setFrame(512, 256, true);  // one piece; the fault sends half of it
  std::vector<uint8_t> buffer(512 * 256 * 2);
  FrameDescriptor frame;
  frame.receiveBuffer = buffer;
  camera_->setFault(sim::Fault::ShortRead, 1);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  EXPECT_EQ(cam_.ReadFramePayload(frame, 1000), 0);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  EXPECT_EQ(cam_.ReadFramePayload(frame, 1000), 1);
}

TEST_F(CVelCy3CamTransfersTest, HeaderTimeoutPulsesTheRestartRegisterBeforeAskingAgain) {
  FrameDescriptor frame;
  camera_->setFault(sim::Fault::HeaderTimeout, 1);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  const auto seen = backend().requests();
  // frame request, lost header, abort, 0x6C <- 1, 0x6C <- 0, frame request, header
  std::vector<std::string> steps;
  for (const auto& r : seen) {
    if (r.code == kIoctlVendorRequest && r.record->request == 0xC2) {
      steps.push_back("request");
    } else if (r.code == kIoctlVendorRequest && r.record->request == 0x30 &&
               r.record->index == 0x40 && r.outgoing.size() == 3 && r.outgoing[0] == 0x6C) {
      steps.push_back("6C=" + std::to_string(r.outgoing[2]));
    } else if (r.code == kIoctlDirectTransfer) {
      steps.push_back("read");
    } else if (r.code == kIoctlAbortPipe) {
      steps.push_back("abort");
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"request", "read", "abort", "6C=1", "6C=0", "request",
                                             "read"}));
  // The FPGA saw the pulse too.
  std::vector<int> pulses;
  for (const auto& t : camera_->trace()) {
    if (t.device == 0x40 && t.write && t.address == 0x6C) {
      pulses.push_back(t.value);
    }
  }
  EXPECT_EQ(pulses, (std::vector<int>{1, 0}));
}

// A header whose bytes came just as its time ran out is the frame's: neither the restart pulse
// nor a new frame request may follow, and the payload after it is that frame's.
TEST_F(CVelCy3CamTransfersTest, HeaderCompletedAsItsTimeRanOutIsKept) {
  std::vector<uint8_t> buffer(2048 * 1536 * 2);
  FrameDescriptor frame;
  frame.receiveBuffer = buffer;
  backend().holdReadUntilAbort = true;
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  EXPECT_EQ(countOf(kIoctlDirectTransfer), 1);
  EXPECT_EQ(aborts(), std::vector<int>{0x81});
  for (const auto& t : camera_->trace()) {
    EXPECT_FALSE(t.device == 0x40 && t.write && t.address == 0x6C) << "restart pulsed";
  }
  EXPECT_EQ(frame.frameCounter, camera_->frameCount());
  EXPECT_EQ(cam_.ReadFramePayload(frame, 1000), 1);
}

TEST_F(CVelCy3CamTransfersTest, HeaderReadGivesUpAfterThirtyAttemptsAndClosesItsStream) {
  FrameDescriptor frame;
  camera_->setFault(sim::Fault::HeaderTimeout, sim::kPersistent);
  ASSERT_EQ(cam_.StreamHandle(), kInvalidDeviceHandle);
  EXPECT_EQ(cam_.ReadFrameHeader(frame, 0), 0);
  EXPECT_EQ(cam_.StreamHandle(), kInvalidDeviceHandle);
  EXPECT_EQ(bulkSizes(0x81).size(), 30u);
  int frameRequests = 0;
  for (const auto& r : backend().requests()) {
    frameRequests += r.code == kIoctlVendorRequest && r.record->request == 0xC2;
  }
  EXPECT_EQ(frameRequests, 31);
  EXPECT_EQ(frame.header, decltype(frame.header){});
  camera_->clearFaults();
  EXPECT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
}

TEST_F(CVelCy3CamTransfersTest, OversizedTransfersNeverReachTheDriver) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  backend().clearRequests();
  const size_t size = 0x4000001;
  std::unique_ptr<uint8_t[]> big(new uint8_t[size]);
  uint32_t count = 7;
  EXPECT_EQ(cam_.DirectTransfer(cam_.StreamHandle(), {big.get(), size}, 0x81, count, 100), 0);
  EXPECT_EQ(cam_.BufferedTransfer(cam_.StreamHandle(), {big.get(), size}, 0x81, count), 0);
  EXPECT_TRUE(backend().requests().empty());
  // Nor does any transfer before the transfer buffer exists.
  cam_.ReleaseStream();
  ASSERT_EQ(cam_.OpenStream(), 1);
  backend().clearRequests();
  EXPECT_EQ(cam_.DirectTransfer(cam_.StreamHandle(), {big.get(), 64}, 0x81, count, 100), 0);
  EXPECT_TRUE(backend().requests().empty());
}

TEST_F(CVelCy3CamTransfersTest, AbortFromAnotherThreadEndsAWaitingTransfer) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  std::array<uint8_t, 64> header{};
  uint32_t count = 99;
  int result = -1;
  // No frame was requested: only the abort can end a transfer without limit.
  std::thread reader([&] {
    result = cam_.DirectTransfer(cam_.StreamHandle(), header, 0x81, count, platform::kInfinite);
  });
  for (int i = 0; i < 500 && bulkSizes(0x81).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(cam_.AbortStream(), 1);
  reader.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(cam_.LastDriverError(), kErrorIoPending);
}

TEST_F(CVelCy3CamTransfersTest, PayloadTimeoutAndStallStatusFailTheRead) {
  std::vector<uint8_t> buffer(2048 * 1536 * 2);
  FrameDescriptor frame;
  frame.receiveBuffer = buffer;
  camera_->setFault(sim::Fault::PayloadTimeout, 1);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  EXPECT_EQ(cam_.ReadFramePayload(frame, 100), 0);
  ASSERT_EQ(cam_.ReadFrameHeader(frame, 0), 1);
  camera_->setFault(sim::Fault::UsbStatus, 1);
  EXPECT_EQ(cam_.ReadFramePayload(frame, 1000), 0);
}

TEST_F(CVelCy3CamTransfersTest, ArmedAndBufferedTransfersBringTheHeader) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  std::array<uint8_t, 64> header{};
  uint32_t count = 0;
  ASSERT_EQ(cam_.ArmedTransfer(cam_.StreamHandle(), header, 0x81, count), 1);
  EXPECT_EQ(count, 64u);
  EXPECT_EQ(platform::loadLe32(header, 32), camera_->frameCount());
  ASSERT_EQ(cam_.RequestFrame(kInvalidDeviceHandle), 1);
  header.fill(0);
  ASSERT_EQ(cam_.BufferedTransfer(cam_.StreamHandle(), header, 0x81, count), 1);
  EXPECT_EQ(count, 64u);
  EXPECT_EQ(platform::loadLe32(header, 16), 2048u * 1536u * 2u);
  EXPECT_EQ(platform::loadLe32(header, 32), camera_->frameCount());
}

TEST_F(CVelCy3CamTransfersTest, MemoryMovesWholePagesPlusOne) {
  backend().memoryDevice = true;
  std::vector<uint8_t> buffer(8192);
  ASSERT_EQ(cam_.ReadMemory(0x100000000ull + 0x2000, buffer, 4096), 1);
  const auto seen = backend().requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].record->endpoint, 0x01);
  ASSERT_EQ(seen[0].outgoing.size(), 32u);
  EXPECT_EQ(std::memcmp(seen[0].outgoing.data(), "AU3R", 4), 0);
  EXPECT_EQ(platform::loadLe32(seen[0].outgoing, 8), 0x2000u);
  EXPECT_EQ(platform::loadLe32(seen[0].outgoing, 12), 1u);
  EXPECT_EQ(platform::loadLe32(seen[0].outgoing, 16), 8192u);
  EXPECT_EQ(seen[1].record->endpoint, 0x81);
  EXPECT_EQ(seen[1].outSize, 8192u);
  EXPECT_EQ(buffer[8191], static_cast<uint8_t>(8191 * 7));

  backend().clearRequests();
  ASSERT_EQ(cam_.WriteMemory(0, buffer, 100), 1);
  EXPECT_EQ(bulkSizes(0x01), (std::vector<size_t>{32, 4096}));
  // A buffer that cannot hold the extra page is refused before anything is sent.
  backend().clearRequests();
  std::vector<uint8_t> small(4096);
  EXPECT_EQ(cam_.ReadMemory(0, small, 4096), 0);
  EXPECT_TRUE(backend().requests().empty());
  EXPECT_EQ(cam_.StreamHandle(), kInvalidDeviceHandle);
}

TEST_F(CVelCy3CamTransfersTest, CommandReadAsksForWholeUnitsPlusOne) {
  backend().memoryDevice = true;
  std::vector<uint8_t> buffer(0x500000);
  uint32_t length = 0x400000;
  ASSERT_EQ(cam_.ReadFrameByCommand(buffer, length, 1000), 1);
  EXPECT_EQ(length, 0x404000u);
  EXPECT_EQ(bulkSizes(0x81), (std::vector<size_t>{0x400000, 0x4000}));
  const auto command = backend().requests().front();
  EXPECT_EQ(platform::loadLe32(command.outgoing, 16), 0x404000u);
}

TEST_F(CVelCy3CamTransfersTest, ArmedTransferTimesOutAndGivesBackOnlyItsOwnEndpoint) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  backend().clearRequests();
  // This product's camera never sends on endpoint 0x83.
  std::vector<uint8_t> buffer(4096, 0xEE);
  uint32_t count = 5;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(cam_.ArmedTransfer(cam_.StreamHandle(), buffer, 0x83, count), 0);
  const uint32_t took = platform::tickCount() - start;
  EXPECT_GE(took, 5000u);
  EXPECT_LT(took, 5000u + 1000u) << "the abort gave the transfer back at once";
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(aborts(), std::vector<int>{0x83});
  EXPECT_EQ(countOf(kIoctlResetPort), 0);
  // The frame request went first, on the same handle.
  const auto seen = backend().requests();
  ASSERT_FALSE(seen.empty());
  ASSERT_TRUE(seen.front().record);
  EXPECT_EQ(seen.front().record->request, 0xC2);
}

TEST_F(CVelCy3CamTransfersTest, CancelledTransferIsNotWaitedForWithoutLimit) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  backend().swallowTransfers = true;
  backend().clearRequests();
  std::vector<uint8_t> buffer(4096);
  uint32_t count = 5;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(cam_.DirectTransfer(cam_.StreamHandle(), buffer, 0x81, count, 100), 0);
  const uint32_t took = platform::tickCount() - start;
  // Limit, grace after the first abort, a second abort, the port reset: each wait bounded.
  EXPECT_GE(took, 100u + 50u + 1000u + 1000u);
  EXPECT_LT(took, 100u + 50u + 1000u + 1000u + 1000u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(aborts(), (std::vector<int>{0x81, 0x81}));
  EXPECT_EQ(countOf(kIoctlResetPort), 1);
}

TEST_F(CVelCy3CamTransfersTest, BufferedTransferTimesOutAfterThreeSeconds) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  backend().clearRequests();
  std::array<uint8_t, 64> data{};
  data.fill(0xEE);
  uint32_t count = 5;
  const uint32_t start = platform::tickCount();
  // No frame was requested: nothing comes.
  EXPECT_EQ(cam_.BufferedTransfer(cam_.StreamHandle(), data, 0x81, count), 0);
  const uint32_t took = platform::tickCount() - start;
  EXPECT_GE(took, 3000u);
  EXPECT_LT(took, 4000u);
  EXPECT_EQ(count, 5u) << "a failed transfer hands out no count";
  EXPECT_EQ(data[0], 0xEE);
  EXPECT_EQ(aborts(), std::vector<int>{0x81});
  // The stream still works afterwards.
  ASSERT_EQ(cam_.RequestFrame(kInvalidDeviceHandle), 1);
  EXPECT_EQ(cam_.BufferedTransfer(cam_.StreamHandle(), data, 0x81, count), 1);
  EXPECT_EQ(count, 64u);
}

TEST_F(CVelCy3CamTransfersTest, MemoryMovesAbove16MiBGoInPiecesWithTheirAddresses) {
  backend().memoryDevice = true;
  const uint32_t size = 0x1000000 + 100;  // 16 MiB and a bit: one whole piece and one page
  std::vector<uint8_t> buffer(0x1000000 + 4096);
  for (bool read : {true, false}) {
    SCOPED_TRACE(read ? "read" : "write");
    backend().clearRequests();
    const uint64_t base = 0x200000000ull + 0x1000;
    ASSERT_EQ(read ? cam_.ReadMemory(base, buffer, size) : cam_.WriteMemory(base, buffer, size), 1);
    std::vector<std::vector<uint8_t>> commands;
    std::vector<size_t> pieces;
    for (const auto& r : backend().requests()) {
      if (r.code != kIoctlDirectTransfer || !r.record) {
        continue;
      }
      if (r.outSize == 32 && r.record->endpoint == 0x01) {
        commands.push_back(r.outgoing);
      } else {
        pieces.push_back(r.outSize);
      }
    }
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(pieces, (std::vector<size_t>{0x1000000, 4096}));
    const uint64_t second = base + 0x1000000;
    EXPECT_EQ(std::memcmp(commands[1].data(), read ? "AU3R" : "AU3W", 4), 0);
    EXPECT_EQ(platform::loadLe32(commands[0], 8), static_cast<uint32_t>(base));
    EXPECT_EQ(platform::loadLe32(commands[0], 12), static_cast<uint32_t>(base >> 32));
    EXPECT_EQ(platform::loadLe32(commands[0], 16), 0x1000000u);
    EXPECT_EQ(platform::loadLe32(commands[1], 8), static_cast<uint32_t>(second));
    EXPECT_EQ(platform::loadLe32(commands[1], 12), static_cast<uint32_t>(second >> 32));
    EXPECT_EQ(platform::loadLe32(commands[1], 16), 4096u);
  }
}

}  // namespace
}  // namespace nivexa::transport
