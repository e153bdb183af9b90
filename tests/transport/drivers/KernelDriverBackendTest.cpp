#include "transport/drivers/KernelDriverBackend.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <thread>

#include "VirtualCameraRig.h"

namespace nivexa::transport {
namespace {

using platform::DeviceIo;
using platform::DeviceIoOutcome;
using platform::PendingIo;

// Completion records whose system thread is a test thread.
class FakePendingIo : public PendingIo {
 public:
  explicit FakePendingIo(std::vector<std::thread::id>& destroyedOn) : destroyedOn_(destroyedOn) {}
  ~FakePendingIo() override { destroyedOn_.push_back(std::this_thread::get_id()); }
  bool notifyWhenDone(std::function<void()> done) override {
    done_ = std::move(done);
    return true;
  }
  // What the system does when the driver completes the request.
  void complete(uint32_t bytes, uint32_t error) {
    outcome = {error == 0, bytes, error};
    finished = true;
    if (done_) {
      done_();
    }
  }
  DeviceIoOutcome outcome{false, 0, kErrorIoIncomplete};
  bool finished = false;

 private:
  std::vector<std::thread::id>& destroyedOn_;
  std::function<void()> done_;
};

// The Win32 calls, scripted: each DeviceIoControl takes the next reply; a reply of
// kErrorIoPending leaves the request to the test, which completes it through its record.
class FakeDeviceIo : public DeviceIo {
 public:
  struct Call {
    Handle handle;
    uint32_t code;
    std::span<uint8_t> in;
    std::span<uint8_t> out;
    FakePendingIo* pending;
  };

  std::vector<std::string> interfacePaths(const std::array<uint8_t, 16>& guid) override {
    askedGuid = guid;
    return paths;
  }
  Handle createFile(const std::string& path, bool overlapped) override {
    opened.emplace_back(path, overlapped);
    return path == "missing" ? kInvalidHandle : static_cast<Handle>(0x40 + opened.size());
  }
  void closeHandle(Handle handle) override { closed.push_back(handle); }
  std::unique_ptr<PendingIo> newPendingIo() override {
    return std::make_unique<FakePendingIo>(destroyedOn);
  }
  DeviceIoOutcome deviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                                  std::span<uint8_t> out, PendingIo* pending) override {
    auto* fake = static_cast<FakePendingIo*>(pending);
    calls.push_back({handle, code, in, out, fake});
    DeviceIoOutcome reply = replies.empty() ? DeviceIoOutcome{true, 0, 0} : replies.front();
    if (!replies.empty()) {
      replies.pop_front();
    }
    if (reply.ok && fake != nullptr) {
      fake->complete(reply.bytes, 0);  // done at once: the record holds the result as well
    }
    return reply;
  }
  DeviceIoOutcome getOverlappedResult(Handle, PendingIo& pending, bool wait) override {
    auto& fake = static_cast<FakePendingIo&>(pending);
    ++resultCalls;
    if (!fake.finished && wait) {
      fake.complete(waitedBytes, 0);  // a blocking wait in the system ends with the request
    }
    return fake.outcome;
  }

  std::vector<std::string> paths;
  std::array<uint8_t, 16> askedGuid{};
  std::vector<std::pair<std::string, bool>> opened;
  std::vector<Handle> closed;
  std::vector<Call> calls;
  std::deque<DeviceIoOutcome> replies;
  std::vector<std::thread::id> destroyedOn;
  uint32_t waitedBytes = 0;
  int resultCalls = 0;
};

struct Backend {
  std::shared_ptr<FakeDeviceIo> calls = std::make_shared<FakeDeviceIo>();
  KernelDriverBackend backend{calls};
};

TEST(KernelDriverBackend, EnumeratesOpensAndClosesThroughTheSystem) {
  Backend b;
  b.calls->paths = {"\\\\?\\usb#vid_04b4&pid_33d0#5&1a2b#{328184c5-93e6-49b7-94b8-2ada13aabb39}"};
  EXPECT_EQ(b.backend.enumerate(kCameraInterfaceGuid), b.calls->paths);
  EXPECT_EQ(b.calls->askedGuid, kCameraInterfaceGuid);

  EXPECT_EQ(b.backend.open("missing", false), kInvalidDeviceHandle);
  const DeviceHandle sync = b.backend.open(b.calls->paths[0], false);
  const DeviceHandle async = b.backend.open(b.calls->paths[0], true);
  ASSERT_NE(sync, kInvalidDeviceHandle);
  ASSERT_NE(async, sync);
  ASSERT_EQ(b.calls->opened.size(), 3u);
  EXPECT_FALSE(b.calls->opened[1].second);
  EXPECT_TRUE(b.calls->opened[2].second);

  b.backend.close(sync);
  b.backend.close(sync);  // a second close reaches nothing
  EXPECT_EQ(b.calls->closed, std::vector<DeviceIo::Handle>{0x42});
  std::vector<uint8_t> none;
  EXPECT_EQ(b.backend.ioctl(sync, kIoctlResetPort, none, none, nullptr).error, kErrorInvalidHandle);
  EXPECT_TRUE(b.calls->calls.empty());
}

TEST(KernelDriverBackend, RecordsReachTheDriverUnchangedAndItsAnswersReachTheCaller) {
  Backend b;
  const DeviceHandle h = b.backend.open("camera", false);
  auto block = testing::vendorBlock(0xC0, 0xB0, 0x1234, 0x5678);
  const auto sent = block;
  b.calls->replies = {{true, 102, 0}};
  const IoResult r = b.backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, 102u);
  ASSERT_EQ(b.calls->calls.size(), 1u);
  const auto& call = b.calls->calls[0];
  EXPECT_EQ(call.code, 0x220020u);
  EXPECT_EQ(call.pending, nullptr) << "a handle opened without overlapped I/O gets none";
  // The very buffers of the caller, in and out, so that what the driver writes back is seen.
  EXPECT_EQ(call.in.data(), block.data());
  EXPECT_EQ(call.out.data(), block.data());
  EXPECT_EQ(call.in.size(), 102u);
  EXPECT_EQ(std::vector<uint8_t>(call.in.begin(), call.in.end()), sent);

  b.calls->replies = {{false, 0, kErrorDeviceNotConnected}};
  auto record = testing::bulkRecord(0x81);
  std::vector<uint8_t> data(4096);
  const IoResult gone = b.backend.ioctl(h, kIoctlDirectTransfer, record, data, nullptr);
  EXPECT_FALSE(gone.ok);
  EXPECT_EQ(gone.error, kErrorDeviceNotConnected);
  EXPECT_EQ(b.calls->calls[1].code, 0x22004Bu);
  EXPECT_EQ(b.calls->calls[1].out.size(), 4096u);
}

TEST(KernelDriverBackend, WaitingRequestOnAnOverlappedHandleWaitsForItsOwnRecord) {
  Backend b;
  const DeviceHandle h = b.backend.open("camera", true);
  b.calls->replies = {{false, 0, kErrorIoPending}};
  b.calls->waitedBytes = 4;
  std::vector<uint8_t> none;
  std::vector<uint8_t> speed(4);
  const IoResult r = b.backend.ioctl(h, kIoctlBusSpeed, none, speed, nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, 4u);
  ASSERT_EQ(b.calls->calls.size(), 1u);
  EXPECT_NE(b.calls->calls[0].pending, nullptr);
  EXPECT_EQ(b.calls->destroyedOn.size(), 1u) << "the record goes when the request is done";
}

TEST(KernelDriverBackend, PendingRequestCompletesThroughTheCallersOverlapped) {
  Backend b;
  const DeviceHandle h = b.backend.open("camera", true);
  auto record = testing::bulkRecord(0x81);
  std::vector<uint8_t> data(1024);
  platform::Event done(platform::Event::Reset::Auto);
  Overlapped overlapped(done);

  b.calls->replies = {{false, 0, kErrorIoPending}};
  IoResult r = b.backend.ioctl(h, kIoctlDirectTransfer, record, data, &overlapped);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kErrorIoPending);
  EXPECT_FALSE(done.isSet());
  EXPECT_EQ(b.backend.overlappedResult(h, overlapped, false).error, kErrorIoIncomplete);

  FakePendingIo* io = b.calls->calls[0].pending;
  std::thread::id systemThread;
  std::thread system([&] {
    systemThread = std::this_thread::get_id();
    io->complete(1000, 0);
  });
  system.join();
  EXPECT_TRUE(done.wait(0));
  r = b.backend.overlappedResult(h, overlapped, false);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytesReturned, 1000u);
  // Freeing a record inside its own completion callback deadlocks on the real system.
  ASSERT_EQ(b.calls->destroyedOn.size(), 1u);
  EXPECT_NE(b.calls->destroyedOn[0], systemThread);

  // An aborted transfer: the driver's error reaches the caller.
  b.calls->replies = {{false, 0, kErrorIoPending}};
  ASSERT_EQ(b.backend.ioctl(h, kIoctlDirectTransfer, record, data, &overlapped).error,
            kErrorIoPending);
  std::thread abort([&] { b.calls->calls[1].pending->complete(0, kErrorOperationAborted); });
  r = b.backend.overlappedResult(h, overlapped, true);
  abort.join();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, kErrorOperationAborted);
}

TEST(KernelDriverBackend, OverlappedRequestsThatEndAtOnceNeedNoWait) {
  Backend b;
  const DeviceHandle h = b.backend.open("camera", true);
  std::array<uint8_t, 1> endpoint{0x81};
  std::vector<uint8_t> none;
  platform::Event done(platform::Event::Reset::Auto);
  Overlapped overlapped(done);

  b.calls->replies = {{true, 0, 0}};
  EXPECT_TRUE(b.backend.ioctl(h, kIoctlAbortPipe, endpoint, none, &overlapped).ok);
  EXPECT_EQ(b.calls->calls[0].in.data(), endpoint.data());

  b.calls->replies = {{false, 0, kErrorGenFailure}};
  const IoResult failed = b.backend.ioctl(h, kIoctlAbortPipe, endpoint, none, &overlapped);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.error, kErrorGenFailure);
  EXPECT_EQ(b.calls->destroyedOn.size(), 2u) << "nothing stays in flight";
  // The same Overlapped serves the next request.
  b.calls->replies = {{false, 0, kErrorIoPending}};
  EXPECT_EQ(b.backend.ioctl(h, kIoctlAbortPipe, endpoint, none, &overlapped).error,
            kErrorIoPending);
  b.calls->calls[2].pending->complete(0, 0);
  EXPECT_TRUE(b.backend.overlappedResult(h, overlapped, false).ok);
}

}  // namespace
}  // namespace nivexa::transport
