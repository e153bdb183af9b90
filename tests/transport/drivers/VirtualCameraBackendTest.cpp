#include "transport/drivers/VirtualCameraBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "transport/drivers/VirtualCameraRig.h"

namespace nivexa::transport {
namespace {

using testing::get32;
using testing::kRecordSize;
using testing::Rig;

TEST(VirtualCameraBackend, ListsInterfacePathsWithVendorAndProductFields) {
  Rig rig;
  ASSERT_EQ(rig.path.size() > 30, true);
  EXPECT_EQ(rig.path.substr(0, 8), "\\\\?\\usb#");
  EXPECT_EQ(rig.path.substr(12, 4), "04b4");
  EXPECT_EQ(rig.path.substr(21, 4), "33d0");
  EXPECT_NE(rig.path.find("#{328184c5-93e6-49b7-94b8-2ada13aabb39}"), std::string::npos);
  Guid other = kCameraInterfaceGuid;
  other[0] ^= 1;
  EXPECT_TRUE(rig.backend.enumerate(other).empty());
  EXPECT_EQ(rig.backend.open(rig.path + "x", false), kInvalidDeviceHandle);

  rig.set.add(Rig::fastOptions());
  auto paths = rig.backend.enumerate(kCameraInterfaceGuid);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_NE(paths[0], paths[1]);
}

TEST(VirtualCameraBackend, VendorRequestsReturnTheWholeBlock) {
  Rig rig;
  auto info = rig.vendor(0xC0, 0xB0, 0, 0);
  ASSERT_TRUE(info.io.ok);
  EXPECT_EQ(info.io.bytesReturned, 102u);
  EXPECT_EQ(info.dataCount(), 64u);
  EXPECT_EQ(info.data(24) | (info.data(25) << 8), 0x1200);
  EXPECT_EQ(info.data(52), 1);
  EXPECT_EQ(get32(info.block, 14), 0u);  // driver status
  EXPECT_EQ(get32(info.block, 18), 0u);  // USB status

  auto status = rig.vendor(0xC0, 0xC3, 0, 0);
  ASSERT_TRUE(status.io.ok);
  EXPECT_EQ(status.dataCount(), 64u);
  EXPECT_EQ(status.data(0), 1);

  // A read request sent as host-to-device is not something the firmware answers.
  EXPECT_FALSE(rig.vendor(0x40, 0xB0, 0, 0).io.ok);
  EXPECT_FALSE(rig.vendor(0xC0, 0x77, 0, 0).io.ok);
}

TEST(VirtualCameraBackend, SerialBusWritesAreLimitedTo64Bytes) {
  Rig rig;
  // The EEPROM address 0x0010, then data up to the bus limit. Built at its full size: growing
  // a two-byte vector makes GCC 12 at -O3 warn falsely about the copy into the new storage.
  std::vector<uint8_t> eepromWrite(64, 0x5A);
  eepromWrite[0] = 0x00;
  eepromWrite[1] = 0x10;
  EXPECT_TRUE(rig.busWrite(0xA2, eepromWrite));

  auto block = testing::vendorBlock(0x40, 0x30, 65, 0xA2, eepromWrite);
  DeviceHandle h = rig.backend.open(rig.path, false);
  IoResult r = rig.backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr);
  rig.backend.close(h);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(get32(block, 18), 0u);  // the stall shows in the USB status
}

TEST(VirtualCameraBackend, FpgaRegisterReadAnswersValueInSecondByte) {
  Rig rig;
  ASSERT_TRUE(rig.fpgaWrite(0x07, 0xA5));
  ASSERT_TRUE(rig.busWrite(0x40, {0x07}));
  auto bytes = rig.busRead(0x40, 2);
  ASSERT_TRUE(bytes);
  EXPECT_EQ((*bytes)[0], 0x00);
  EXPECT_EQ((*bytes)[1], 0xA5);
  // Only the low byte of the 16-bit word is kept.
  ASSERT_TRUE(rig.busWrite(0x40, {0x07, 0x12, 0x34}));
  EXPECT_EQ(rig.fpgaRead(0x07), 0x34);
  // The version word: bit 15 set and above 260 unless configured otherwise.
  auto low = rig.fpgaRead(0x10);
  auto high = rig.fpgaRead(0x11);
  ASSERT_TRUE(low && high);
  uint16_t version = static_cast<uint16_t>(*high << 8 | *low);
  EXPECT_TRUE(version & 0x8000);
  EXPECT_GT(version, 260);
}

TEST(VirtualCameraBackend, EepromHoldsSerialNumberAndUserBytes) {
  sim::CameraOptions o = Rig::fastOptions();
  o.serial = "SN-4711";
  Rig rig(o);
  ASSERT_TRUE(rig.busWrite(0xA2, {0x10, 0x40}));
  auto text = rig.busRead(0xA2, 32);
  ASSERT_TRUE(text);
  std::string serial;
  for (uint8_t c : *text) {
    if (c == 0xFF) {
      break;
    }
    serial.push_back(static_cast<char>(c));
  }
  EXPECT_EQ(serial, "SN-4711");

  ASSERT_TRUE(rig.busWrite(0xA2, {0x0F, 0xFF, 0x42}));
  // The chip is busy programming for a few milliseconds and does not answer.
  EXPECT_FALSE(rig.busWrite(0xA2, {0x0F, 0xFF}));
  std::this_thread::sleep_for(std::chrono::milliseconds(14));
  ASSERT_TRUE(rig.busWrite(0xA2, {0x0F, 0xFF}));
  EXPECT_EQ(rig.busRead(0xA2, 1).value_or(std::vector<uint8_t>{0})[0], 0x42);
  // User bytes survive unplugging; registers do not.
  rig.fpgaWrite(0x07, 9);
  rig.camera->unplug();
  rig.camera->replug();
  EXPECT_EQ(rig.camera->eepromByte(0x0FFF), 0x42);
  EXPECT_EQ(rig.fpgaRead(0x07), 0);
}

TEST(VirtualCameraBackend, ServesHeaderAndPayloadOfARequestedFrame) {
  Rig rig;
  auto f = rig.frame();
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(get32(f.header, 16), 2048u * 1536u);  // power-up: full array, 8 bits
  EXPECT_EQ(get32(f.header, 32), 1u);
  EXPECT_EQ(f.payload.size(), 2048u * 1536u);
  auto g = rig.frame();
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(get32(g.header, 32), 2u);
}

TEST(VirtualCameraBackend, BulkReadPendsUntilAFrameIsRequested) {
  // The transfer's buffers outlive the backend, so a failed assertion never leaves the backend
  // writing into freed memory.
  std::vector<uint8_t> header(64);
  auto record = testing::bulkRecord(0x81);
  platform::Event event(platform::Event::Reset::Auto);
  Overlapped ov(event);
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, true);
  IoResult r = rig.backend.ioctl(h, kIoctlDirectTransfer, record, header, &ov);
  ASSERT_FALSE(r.ok);
  ASSERT_EQ(r.error, kErrorIoPending);
  EXPECT_FALSE(event.wait(20));
  EXPECT_EQ(rig.backend.overlappedResult(h, ov, false).error, kErrorIoIncomplete);

  ASSERT_TRUE(rig.requestFrame(rig.backend.open(rig.path, false)));
  // A full frame renders first: seconds under a thread sanitizer on a busy machine.
  ASSERT_TRUE(event.wait(20000));
  IoResult done = rig.backend.overlappedResult(h, ov, false);
  EXPECT_TRUE(done.ok);
  EXPECT_EQ(done.bytesReturned, 64u);
  EXPECT_EQ(get32(header, 16), 2048u * 1536u);
  EXPECT_EQ(get32(record, 14), 0u);
  EXPECT_EQ(get32(record, 18), 0u);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, AbortCompletesPendingReadWithError) {
  Rig rig;
  DeviceHandle reader = rig.backend.open(rig.path, true);
  DeviceHandle other = rig.backend.open(rig.path, true);
  std::vector<uint8_t> data(64);
  auto record = testing::bulkRecord(0x81);
  platform::Event event(platform::Event::Reset::Auto);
  Overlapped ov(event);
  ASSERT_EQ(rig.backend.ioctl(reader, kIoctlDirectTransfer, record, data, &ov).error,
            kErrorIoPending);
  std::vector<uint8_t> ep{0x81};
  platform::Event abortEvent(platform::Event::Reset::Auto);
  Overlapped abortOv(abortEvent);
  rig.backend.ioctl(other, kIoctlAbortPipe, ep, {}, &abortOv);
  // The transfer has completed by the time the abort has.
  EXPECT_TRUE(ov.completed.load());
  ASSERT_TRUE(abortEvent.wait(1000));
  ASSERT_TRUE(event.wait(1000));
  IoResult r = rig.backend.overlappedResult(reader, ov, true);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kErrorOperationAborted);
  rig.backend.close(reader);
  rig.backend.close(other);
}

TEST(VirtualCameraBackend, SynchronousHandleBlocksUntilDataArrives) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, false);
  std::thread requester([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rig.requestFrame(rig.backend.open(rig.path, false));
  });
  std::vector<uint8_t> header(64);
  auto record = testing::bulkRecord(0x81);
  IoResult r = rig.backend.ioctl(h, kIoctlDirectTransfer, record, header, nullptr);
  requester.join();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, 64u);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, BufferedTransferCountsTheRecord) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, true);
  ASSERT_TRUE(rig.requestFrame(h));
  std::vector<uint8_t> buffer(kRecordSize + 64, 0);
  buffer[13] = 0x81;
  testing::put32(buffer, 30, kRecordSize);
  testing::put32(buffer, 34, 64);
  platform::Event event(platform::Event::Reset::Auto);
  Overlapped ov(event);
  IoResult r = rig.backend.ioctl(h, kIoctlBufferedTransfer, buffer, buffer, &ov);
  if (!r.ok && r.error == kErrorIoPending) {
    r = rig.backend.overlappedResult(h, ov, true);
  }
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, kRecordSize + 64);
  EXPECT_EQ(get32(buffer, kRecordSize + 16), 2048u * 1536u);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, UnpluggedCameraFailsEveryRequest) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, true);
  std::vector<uint8_t> data(64);
  auto record = testing::bulkRecord(0x81);
  platform::Event event(platform::Event::Reset::Auto);
  Overlapped ov(event);
  ASSERT_EQ(rig.backend.ioctl(h, kIoctlDirectTransfer, record, data, &ov).error, kErrorIoPending);

  rig.camera->unplug();
  ASSERT_TRUE(event.wait(2000));
  EXPECT_EQ(rig.backend.overlappedResult(h, ov, false).error, kErrorDeviceNotConnected);
  auto block = testing::vendorBlock(0xC0, 0xB0, 0, 0);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr).error,
            kErrorDeviceNotConnected);
  std::vector<uint8_t> speed(4);
  EXPECT_FALSE(rig.backend.ioctl(h, kIoctlBusSpeed, {}, speed, nullptr).ok);
  EXPECT_TRUE(rig.backend.enumerate(kCameraInterfaceGuid).empty());
  EXPECT_EQ(rig.backend.open(rig.path, false), kInvalidDeviceHandle);

  // After replugging the old handle stays dead; a new one works.
  rig.camera->replug();
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr).error,
            kErrorDeviceNotConnected);
  EXPECT_TRUE(rig.vendor(0xC0, 0xB0, 0, 0).io.ok);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, PortAndPipeRequests) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, false);
  std::vector<uint8_t> speed(4);
  IoResult r = rig.backend.ioctl(h, kIoctlBusSpeed, {}, speed, nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, 4u);
  EXPECT_EQ(speed[0], 4);
  std::vector<uint8_t> ep{0x81};
  EXPECT_TRUE(rig.backend.ioctl(h, kIoctlResetPipe, ep, {}, nullptr).ok);
  EXPECT_TRUE(rig.backend.ioctl(h, kIoctlResetPort, {}, {}, nullptr).ok);
  EXPECT_FALSE(rig.backend.ioctl(h, 0x220099, {}, {}, nullptr).ok);
  rig.backend.close(h);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlBusSpeed, {}, speed, nullptr).error, kErrorInvalidHandle);
}

TEST(VirtualCameraBackend, SynchronousHandleStillReportsThroughTheOverlappedRecord) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, false);
  ASSERT_TRUE(rig.requestFrame(h));
  std::vector<uint8_t> header(64);
  auto record = testing::bulkRecord(0x81);
  platform::Event event(platform::Event::Reset::Auto);
  Overlapped ov(event);
  IoResult r = rig.backend.ioctl(h, kIoctlDirectTransfer, record, header, &ov);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(event.wait(0));
  IoResult result = rig.backend.overlappedResult(h, ov, false);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytesReturned, 64u);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, RemovedCameraIsReleasedOnceItsHandlesClose) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, false);
  std::weak_ptr<sim::Camera> watched = rig.camera;
  rig.set.remove(rig.camera);
  rig.camera.reset();
  EXPECT_FALSE(watched.expired());  // still open
  rig.backend.close(h);
  EXPECT_TRUE(watched.expired());
}

TEST(VirtualCameraBackend, RecordFieldsDecideTheDataStage) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, false);

  // More bytes asked on the bus than the data area holds: the firmware stalls.
  auto block = testing::vendorBlock(0xC0, 0x31, 65, 0x41);
  IoResult r = rig.backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kErrorGenFailure);
  EXPECT_NE(get32(block, 18), 0u) << "USB status of the stall";

  std::vector<uint8_t> tiny(20, 0);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlVendorRequest, tiny, tiny, nullptr).error,
            kErrorInvalidParameter);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlDirectTransfer, tiny, tiny, nullptr).error,
            kErrorInvalidParameter);

  // Separate input and output buffers: the answer lands in the output.
  auto in = testing::vendorBlock(0xC0, 0xB0, 0, 0);
  std::vector<uint8_t> out(102, 0xEE);
  r = rig.backend.ioctl(h, kIoctlVendorRequest, in, out, nullptr);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, kRecordSize + 64);
  EXPECT_EQ(out[1], 0xB0);
  EXPECT_EQ(out[kRecordSize + 24], 0x00);
  EXPECT_EQ(out[kRecordSize + 25], 0x12);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, MalformedRecordsAreRefusedBeforeTheCamera) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, true);
  struct Field {
    size_t offset;
    uint32_t value;
  };
  // Each an FPGA write of 0x3C to register 0x07 with one field of the block wrong.
  const std::vector<Field> wrongVendor = {
      {6, 64},  // the data length where the whole block's size belongs
      {6, 0},  {30, 0}, {30, 40}, {34, 3}, {34, 0}};
  for (const Field& f : wrongVendor) {
    auto block = testing::vendorBlock(0x40, 0x30, 3, 0x40, {0x07, 0x00, 0x3C});
    if (f.offset == 6) {
      testing::put16(block, 6, static_cast<uint16_t>(f.value));
    } else {
      testing::put32(block, f.offset, f.value);
    }
    IoResult r = rig.backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr);
    EXPECT_FALSE(r.ok) << "field at " << f.offset << " = " << f.value;
    EXPECT_EQ(r.error, kErrorInvalidParameter) << "field at " << f.offset;
  }
  // A block that fits only in part of the buffers it came with.
  auto block = testing::vendorBlock(0x40, 0x30, 3, 0x40, {0x07, 0x00, 0x3C});
  std::vector<uint8_t> shortOut(80);
  std::span<uint8_t> shortIn(block.data(), 101);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlVendorRequest, block, shortOut, nullptr).error,
            kErrorInvalidParameter);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlVendorRequest, shortIn, shortIn, nullptr).error,
            kErrorInvalidParameter);
  EXPECT_TRUE(rig.camera->trace().empty()) << "nothing reached the serial bus";
  EXPECT_EQ(rig.camera->fpgaRegister(0x07), 0);

  // Bulk records: a direct transfer describes no data area; a buffered one describes its own.
  ASSERT_TRUE(rig.requestFrame(h));
  std::vector<uint8_t> data(64);
  auto direct = testing::bulkRecord(0x81);
  testing::put32(direct, 30, kRecordSize);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlDirectTransfer, direct, data, nullptr).error,
            kErrorInvalidParameter);
  direct = testing::bulkRecord(0x81);
  testing::put32(direct, 34, 64);
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlDirectTransfer, direct, data, nullptr).error,
            kErrorInvalidParameter);
  std::vector<uint8_t> buffered(kRecordSize + 64, 0);
  buffered[13] = 0x81;
  testing::put32(buffered, 34, 64);  // data offset left at 0
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlBufferedTransfer, buffered, buffered, nullptr).error,
            kErrorInvalidParameter);
  testing::put32(buffered, 30, kRecordSize);
  testing::put32(buffered, 34, 65);  // one byte more than the buffer holds
  EXPECT_EQ(rig.backend.ioctl(h, kIoctlBufferedTransfer, buffered, buffered, nullptr).error,
            kErrorInvalidParameter);
  // None of them took the frame's header.
  auto header = rig.read(h, 64);
  ASSERT_EQ(header.data.size(), 64u);
  EXPECT_EQ(get32(header.data, 16), 2048u * 1536u);

  const auto seen = rig.camera->requests();
  ASSERT_EQ(seen.size(), wrongVendor.size() + 2 + 1 + 4 + 1);
  for (size_t i = 0; i < wrongVendor.size() + 2; ++i) {
    EXPECT_TRUE(seen[i].refused) << i;
    EXPECT_EQ(seen[i].code, kIoctlVendorRequest);
  }
  EXPECT_EQ(seen[0].length, 64u);
  EXPECT_EQ(seen[wrongVendor.size()].outSize, 80u);
  EXPECT_EQ(seen[wrongVendor.size() + 1].inSize, 101u);
  EXPECT_FALSE(seen[wrongVendor.size() + 2].refused) << "the frame request";
  for (size_t i = wrongVendor.size() + 3; i < seen.size() - 1; ++i) {
    EXPECT_TRUE(seen[i].refused) << i;
  }
  EXPECT_FALSE(seen.back().refused) << "the header read";
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, RequestTraceShowsEveryDecodedRecord) {
  Rig rig;
  ASSERT_TRUE(rig.fpgaWrite(0x07, 0x3C));
  ASSERT_EQ(rig.fpgaRead(0x07), 0x3C);
  ASSERT_TRUE(rig.frame().ok);
  const auto seen = rig.camera->requests();
  // write, write + read, frame request, header, 6 payload pieces
  ASSERT_EQ(seen.size(), 1u + 2u + 1u + 1u + 6u);
  const std::vector<std::pair<uint8_t, uint8_t>> vendor = {
      {0x40, 0x30}, {0x40, 0x30}, {0xC0, 0x31}, {0x42, 0xC2}};
  for (size_t i = 0; i < vendor.size(); ++i) {
    const sim::DriverRequest& r = seen[i];
    EXPECT_EQ(r.code, kIoctlVendorRequest) << i;
    EXPECT_EQ(r.requestType, vendor[i].first) << i;
    EXPECT_EQ(r.request, vendor[i].second) << i;
    EXPECT_EQ(r.length, 102u) << i;
    EXPECT_EQ(r.dataOffset, kRecordSize) << i;
    EXPECT_EQ(r.dataLength, 64u) << i;
    EXPECT_EQ(r.timeLimitS, 3u) << i;
    EXPECT_EQ(r.endpoint, 0u) << i;
    EXPECT_FALSE(r.refused) << i;
  }
  EXPECT_EQ(seen[0].value, 3u) << "byte count";
  EXPECT_EQ(seen[0].index, 0x40u) << "device";
  EXPECT_EQ(seen[2].value, 2u);
  EXPECT_EQ(seen[2].index, 0x41u);
  EXPECT_EQ(seen[4].outSize, 64u);
  for (size_t i = 4; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].code, kIoctlDirectTransfer) << i;
    EXPECT_EQ(seen[i].endpoint, 0x81) << i;
    EXPECT_EQ(seen[i].dataOffset, 0u) << i;
    EXPECT_FALSE(seen[i].refused) << i;
  }
  EXPECT_EQ(seen.back().outSize, 0x80000u);
  rig.camera->clearRequests();
  EXPECT_TRUE(rig.camera->requests().empty());
}

TEST(VirtualCameraBackend, SynchronousBulkReadGivesUpAfterTheRecordTimeLimit) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, false);
  std::vector<uint8_t> header(64);
  auto record = testing::bulkRecord(0x81);
  testing::put32(record, 8, 1);
  IoResult r = rig.backend.ioctl(h, kIoctlDirectTransfer, record, header, nullptr);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kErrorSemTimeout);
  EXPECT_EQ(r.bytesReturned, 0u);
  EXPECT_NE(get32(record, 14), 0u) << "driver status of the failed transfer";

  // Without a limit of its own the record gets the driver's; the caller's Overlapped learns it.
  record = testing::bulkRecord(0x81);
  platform::Event event(platform::Event::Reset::Auto);
  Overlapped ov(event);
  r = rig.backend.ioctl(h, kIoctlDirectTransfer, record, header, &ov);
  EXPECT_EQ(r.error, kErrorSemTimeout);
  EXPECT_TRUE(event.wait(0));
  EXPECT_EQ(rig.backend.overlappedResult(h, ov, false).error, kErrorSemTimeout);

  // The given-up transfers are gone: the next frame's header goes to the next read.
  ASSERT_TRUE(rig.requestFrame(h));
  record = testing::bulkRecord(0x81);
  testing::put32(record, 8, 1);
  r = rig.backend.ioctl(h, kIoctlDirectTransfer, record, header, nullptr);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, 64u);
  EXPECT_EQ(get32(header, 16), 2048u * 1536u);
  rig.backend.close(h);
}

TEST(VirtualCameraBackend, ConcurrentRequestsStreamingAndAborts) {
  Rig rig;
  std::atomic<bool> stop{false};
  std::atomic<int> frames{0};
  std::thread streamer([&] {
    while (!stop) {
      if (rig.frame(200).ok) {
        ++frames;
      }
    }
  });
  std::thread registers([&] {
    for (int i = 0; i < 300; ++i) {
      rig.fpgaWrite(0x07, static_cast<uint8_t>(i));
      rig.sensorWrite(0x714, static_cast<uint8_t>(i));
      rig.fpgaRead(0x08);
    }
  });
  std::thread aborter([&] {
    for (int i = 0; i < 20; ++i) {
      DeviceHandle h = rig.backend.open(rig.path, true);
      std::vector<uint8_t> ep{0x81};
      rig.backend.ioctl(h, kIoctlAbortPipe, ep, {}, nullptr);
      rig.backend.close(h);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  registers.join();
  aborter.join();
  // Frames keep coming once the aborts stop.
  int before = frames.load();
  while (frames.load() < before + 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  streamer.join();
  EXPECT_GE(frames.load(), 2);
}

}  // namespace
}  // namespace nivexa::transport
