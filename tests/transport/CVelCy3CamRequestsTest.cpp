#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "RecordingBackend.h"
#include "TransportTestSupport.h"
#include "transport/CVelCy3Cam.h"
#include "transport/RequestRecord.h"

namespace nivexa::transport {
namespace {

using testing::RecordingBackend;
using testing::SeenRequest;
using Clock = std::chrono::steady_clock;

class CVelCy3CamRequestsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    camera_ = RecordingBackend::instance().addCamera({.serial = "REQ1"});
  }
  static void TearDownTestSuite() {
    RecordingBackend::instance().removeCamera(camera_);
    camera_.reset();
  }
  void SetUp() override {
    backend().vendorReplyBytes = -1;
    ASSERT_EQ(cam_.SetDeviceIndex(testing::indexOfPath(cam_, backend().pathOf(camera_))), 1);
    backend().clearRequests();
  }
  void TearDown() override { backend().vendorReplyBytes = -1; }
  static RecordingBackend& backend() { return RecordingBackend::instance(); }

  // One vendor request exactly as given, past the controller's own request building: the
  // camera's answer to requests the controller would never send. True when it was served.
  bool rawRequest(uint8_t type, uint8_t request, uint16_t value = 0, uint16_t index = 0,
                  std::span<const uint8_t> payload = {}) {
    const DeviceHandle handle = cam_.Open(cam_.DeviceIndex(), false);
    if (handle == kInvalidDeviceHandle) {
      return false;
    }
    std::array<uint8_t, 102> block{};
    RequestRecord record;
    record.requestType = type;
    record.request = request;
    record.value = value;
    record.index = index;
    record.length = 102;
    record.timeLimitSeconds = 3;
    record.dataOffset = 38;
    record.dataLength = 64;
    encodeRequestRecord(record, std::span(block).first<38>());
    std::copy(payload.begin(), payload.end(), block.begin() + 38);
    const IoResult result = fx3Driver().ioctl(handle, kIoctlVendorRequest, block, block, nullptr);
    fx3Driver().close(handle);
    return result.ok;
  }

  std::vector<SeenRequest> vendorRequests() const {
    std::vector<SeenRequest> out;
    for (auto& r : backend().requests()) {
      if (r.code == kIoctlVendorRequest) {
        out.push_back(r);
      }
    }
    return out;
  }

  static inline std::shared_ptr<sim::Camera> camera_;
  CVelCy3Cam cam_;
};

TEST_F(CVelCy3CamRequestsTest, DeviceSelectionAndNames) {
  const int current = cam_.DeviceIndex();
  EXPECT_EQ(cam_.SetDeviceIndex(cam_.DeviceCount()), 0);
  EXPECT_EQ(cam_.SetDeviceIndex(-1), 0);
  EXPECT_EQ(cam_.DeviceIndex(), current);
  std::string name = "unchanged";
  EXPECT_EQ(cam_.GetDeviceName(current, name), 0);  // this product names itself elsewhere
  EXPECT_EQ(name, "unchanged");

  auto older = backend().addCamera({.productId = 0x3020, .serial = "OLD"});
  const int index = testing::indexOfPath(cam_, backend().pathOf(older));
  ASSERT_GE(index, 0);
  ASSERT_EQ(cam_.GetDeviceName(index, name), 1);
  EXPECT_NE(name.find("-USB3-R5_00"), std::string::npos) << name;
  older->unplug();
  EXPECT_EQ(cam_.GetDeviceName(index, name), 0);
  EXPECT_EQ(cam_.SetDeviceIndex(index), 0);
  EXPECT_EQ(cam_.DeviceIndex(), current);
  backend().removeCamera(older);
}

TEST_F(CVelCy3CamRequestsTest, EveryBlockIsTheFullRecordWithItsSizes) {
  uint8_t byte = 0;
  uint32_t word = 0;
  std::array<uint8_t, 64> info{};
  const std::array<uint8_t, 2> two{1, 2};
  ASSERT_EQ(cam_.BusWrite(0x5A, two), 1);
  ASSERT_EQ(cam_.ReadAuxRegister(1, byte), 1);
  ASSERT_EQ(cam_.WriteRegister32(0x8123, 0xCAFEBEEF), 1);
  ASSERT_EQ(cam_.ReadRegister16(0x8123, word), 1);
  ASSERT_EQ(cam_.ReadDeviceInfo(info), 1);
  ASSERT_EQ(cam_.ReadStatusByte(byte), 1);
  ASSERT_EQ(cam_.SendEndpointCommand(), 1);
  ASSERT_EQ(cam_.StartStream(), 1);
  const auto seen = vendorRequests();
  ASSERT_EQ(seen.size(), 9u);
  for (const auto& r : seen) {
    ASSERT_TRUE(r.record);
    EXPECT_EQ(r.inSize, 102u);
    EXPECT_EQ(r.outSize, 102u);
    EXPECT_EQ(r.record->length, 102);
    EXPECT_EQ(r.record->dataLength, 64u);
    EXPECT_EQ(r.record->dataOffset, 38u);
    EXPECT_EQ(r.record->timeLimitS, 3u);
    EXPECT_EQ(r.record->endpoint, 0);
  }
  // The bus write: type, request, count in value, device in index, bytes in the data area.
  EXPECT_EQ(seen[0].record->requestType, 0x40);
  EXPECT_EQ(seen[0].record->request, 0x30);
  EXPECT_EQ(seen[0].record->value, 2);
  EXPECT_EQ(seen[0].record->index, 0x5A);
  EXPECT_EQ(seen[0].outgoing, std::vector<uint8_t>(two.begin(), two.end()));
  EXPECT_EQ(seen[2].record->requestType, 0xC0);
  EXPECT_EQ(seen[2].record->request, 0x31);
  EXPECT_EQ(seen[2].record->index, 0x5B);
  // Address bit 15 in the value field, the rest in the index field.
  EXPECT_EQ(seen[3].record->request, 0xD0);
  EXPECT_EQ(seen[3].record->value, 1);
  EXPECT_EQ(seen[3].record->index, 0x0123);
  EXPECT_EQ(word, 0xBEEFu);
  EXPECT_EQ(seen[7].record->requestType, 0x42);
  EXPECT_EQ(seen[7].record->request, 0xCC);
  EXPECT_EQ(seen[8].record->requestType, 0x40);
  EXPECT_EQ(seen[8].record->request, 0xC0);
  EXPECT_EQ(byte, 1);  // the firmware's ready status
  EXPECT_EQ(info[24] | (info[25] << 8), camera_->options().firmwareVersion);
}

TEST_F(CVelCy3CamRequestsTest, OversizedBusTransfersSendNothing) {
  std::vector<uint8_t> bytes(65, 0x11);
  EXPECT_EQ(cam_.BusWrite(0x40, bytes), 0);
  EXPECT_EQ(cam_.BusRead(0x41, bytes), 0);
  EXPECT_TRUE(backend().requests().empty());
  EXPECT_EQ(bytes, std::vector<uint8_t>(65, 0x11));
  bytes.resize(64);
  EXPECT_EQ(cam_.BusWrite(0x5A, bytes), 1);
}

TEST_F(CVelCy3CamRequestsTest, FpgaRegistersAndVersion) {
  uint8_t value = 0;
  // The FPGA answers each register as a big-endian word whose first byte is 0.
  ASSERT_EQ(cam_.ReadFpgaRegister(0x10, value), 1);
  EXPECT_EQ(value, camera_->options().fpgaVersion & 0xFF);
  uint16_t version = 0;
  ASSERT_EQ(cam_.ReadFpgaVersion(version), 1);
  EXPECT_EQ(version, camera_->options().fpgaVersion);
  ASSERT_EQ(cam_.WriteFpgaRegister(60, 2), 1);
  EXPECT_EQ(camera_->fpgaRegister(60), 2);
  const auto seen = vendorRequests();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().outgoing, (std::vector<uint8_t>{60, 0x00, 2}));
  ASSERT_EQ(cam_.WriteFpgaRegister(60, 1), 1);
}

TEST_F(CVelCy3CamRequestsTest, OtherRegisterFamiliesRoundTrip) {
  uint8_t byte = 0;
  ASSERT_EQ(cam_.WriteAuxRegister(0x21, 0x5C), 1);
  ASSERT_EQ(cam_.ReadAuxRegister(0x21, byte), 1);
  EXPECT_EQ(byte, 0x5C);
  ASSERT_EQ(cam_.WriteControlByte(0x7E), 1);
  ASSERT_EQ(cam_.ReadControlByte(byte), 1);
  EXPECT_EQ(byte, 0x7E);
  uint32_t word = 0;
  ASSERT_EQ(cam_.WriteSensorWord(0x3012, 0xA1B2), 1);
  ASSERT_EQ(cam_.ReadSensorWord(0x3012, word), 1);
  EXPECT_EQ(word, 0xA1B2u);
  uint32_t speed = 0;
  ASSERT_EQ(cam_.GetBusSpeed(speed), 1);
  EXPECT_EQ(speed, camera_->options().busSpeed);
  EXPECT_EQ(cam_.ResetPipe(0x81), 1);
  EXPECT_EQ(cam_.ResetPort(), 1);
}

TEST_F(CVelCy3CamRequestsTest, EepromBytesWithTheirPauses) {
  auto start = Clock::now();
  ASSERT_EQ(cam_.WriteEepromByte(0x0123, 0xA5), 1);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(14));
  EXPECT_EQ(camera_->eepromByte(0x0123), 0xA5);
  uint8_t value = 0;
  start = Clock::now();
  ASSERT_EQ(cam_.ReadEepromByte(0x0123, value), 1);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(10));
  EXPECT_EQ(value, 0xA5);
  // The EEPROM's own record of the traffic: address latched, then the byte read.
  const auto trace = camera_->trace();
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.back().device, 0xA2);
  EXPECT_FALSE(trace.back().write);
  EXPECT_EQ(trace.back().address, 0x0123);

  camera_->setFault(sim::Fault::EepromWriteFail, 1);
  EXPECT_EQ(cam_.WriteEepromByte(0x0124, 0x5A), 0);
  camera_->clearFaults();
}

TEST_F(CVelCy3CamRequestsTest, ShortRepliesLeaveOutputsAlone) {
  std::array<uint8_t, 64> info;
  info.fill(0xEE);
  backend().vendorReplyBytes = 38 + 63;
  EXPECT_EQ(cam_.ReadDeviceInfo(info), 1);
  for (uint8_t b : info) {
    ASSERT_EQ(b, 0xEE);
  }
  // A bus read that brings back fewer bytes than asked is a failed read, not a zero register.
  backend().vendorReplyBytes = 38 + 1;
  uint8_t value = 0x77;
  EXPECT_EQ(cam_.ReadFpgaRegister(0x10, value), 0);
  EXPECT_EQ(value, 0x77);
  backend().vendorReplyBytes = -1;
  EXPECT_EQ(cam_.ReadFpgaRegister(0x10, value), 1);
}

TEST_F(CVelCy3CamRequestsTest, RequestsToAnUnpluggedCameraFail) {
  camera_->unplug();
  uint8_t value = 0x33;
  EXPECT_EQ(cam_.ReadFpgaRegister(0x10, value), 0);
  EXPECT_EQ(value, 0x33);
  EXPECT_EQ(cam_.WriteFpgaRegister(0x10, 1), 0);
  uint32_t speed = 9;
  EXPECT_EQ(cam_.GetBusSpeed(speed), 0);
  EXPECT_EQ(speed, 9u);
  camera_->replug();
  EXPECT_EQ(cam_.ReadFpgaRegister(0x10, value), 1);
}

TEST_F(CVelCy3CamRequestsTest, FpgaAccessesFromTwoThreadsDoNotInterleave) {
  const uint8_t low = camera_->options().fpgaVersion & 0xFF;
  const uint8_t high = camera_->options().fpgaVersion >> 8;
  std::atomic<int> wrong{0};
  auto reader = [&](uint8_t reg, uint8_t expected) {
    for (int i = 0; i < 200; ++i) {
      uint8_t value = 0;
      if (!cam_.ReadFpgaRegister(reg, value) || value != expected) {
        ++wrong;
      }
    }
  };
  std::thread a(reader, 0x10, low);
  std::thread b(reader, 0x11, high);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(CVelCy3CamRequestsTest, FrameRequestGoesToTheEndpointAndOnlyThatArmsAFrame) {
  ASSERT_EQ(cam_.OpenStream(), 1);
  backend().clearRequests();
  ASSERT_EQ(cam_.RequestFrame(kInvalidDeviceHandle), 1);
  const auto seen = vendorRequests();
  ASSERT_EQ(seen.size(), 1u);
  ASSERT_TRUE(seen[0].record);
  EXPECT_EQ(seen[0].record->requestType, 0x42) << "vendor, host to device, endpoint recipient";
  EXPECT_EQ(seen[0].record->request, 0xC2);
  EXPECT_EQ(seen[0].record->value, 0);
  EXPECT_EQ(seen[0].record->index, 0);
  cam_.CloseStream();
  // The camera serves each request with its one request type: another direction, type or
  // recipient is stalled, as a real device would.
  struct Served {
    uint8_t request;
    uint8_t type;
  };
  for (const Served served : {Served{0xC2, 0x42}, Served{0xCC, 0x42}, Served{0xC0, 0x40},
                              Served{0xC3, 0xC0}, Served{0xB0, 0xC0}}) {
    SCOPED_TRACE(::testing::Message() << std::hex << "request 0x" << int{served.request});
    EXPECT_TRUE(rawRequest(served.type, served.request));
    for (uint8_t type : {0x40, 0x41, 0x42, 0x43, 0xC0, 0xC1, 0xC2, 0x00, 0x20}) {
      if (type != served.type) {
        EXPECT_FALSE(rawRequest(type, served.request)) << "type 0x" << int{type};
      }
    }
  }
}

TEST_F(CVelCy3CamRequestsTest, BusReadsNameTheDeviceInItsReadForm) {
  // Sensor register 0x3A0 through the raw access of the drivers: the address bytes go to the
  // sensor's write form, the read to its read form, whichever form the caller passes.
  const std::array<uint8_t, 3> write{0x03, 0xA0, 0x5C};
  ASSERT_EQ(cam_.BusWrite(72, write), 1);
  const std::array<uint8_t, 2> address{0x03, 0xA0};
  for (uint8_t device : {uint8_t{72}, uint8_t{73}}) {
    backend().clearRequests();
    std::array<uint8_t, 1> value{};
    ASSERT_EQ(cam_.BusWrite(72, address), 1);
    ASSERT_EQ(cam_.BusRead(device, value), 1) << int{device};
    EXPECT_EQ(value[0], 0x5C);
    const auto seen = vendorRequests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].record->index, 72);
    EXPECT_EQ(seen[1].record->index, 73);
  }
  // The camera itself holds the forms apart.
  const std::array<uint8_t, 1> one{0x10};
  EXPECT_TRUE(rawRequest(0x40, 0x30, 1, 0x40, one));
  EXPECT_FALSE(rawRequest(0x40, 0x30, 1, 0x41, one)) << "a write to the read form";
  EXPECT_FALSE(rawRequest(0x40, 0x30, 1, 0x140, one)) << "an address beyond one byte";
  EXPECT_TRUE(rawRequest(0xC0, 0x31, 2, 0x41));
  EXPECT_FALSE(rawRequest(0xC0, 0x31, 2, 0x40)) << "a read from the write form";
  EXPECT_FALSE(rawRequest(0xC0, 0x31, 2, 0x141));
}

}  // namespace
}  // namespace nivexa::transport
