// Bulk transfers on endpoints 0x81, 0x83 and 0x01: frames, memory reads and writes.
#include <algorithm>
#include <array>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Log.h"
#include "transport/CVelCy3Cam.h"
#include "transport/MemoryCommand.h"
#include "transport/RequestRecord.h"

namespace nivexa::transport {

using namespace fx3;

namespace {

// Closes the streaming handle on the way out when the operation opened it itself, unless the
// operation succeeded and is one that hands the open stream on to the next call.
class StreamScope {
 public:
  StreamScope(CVelCy3Cam& cam, bool openedHere) : cam_(cam), openedHere_(openedHere) {}
  ~StreamScope() {
    if (openedHere_ && !keep_) {
      cam_.CloseStream();
    }
  }
  StreamScope(const StreamScope&) = delete;
  StreamScope& operator=(const StreamScope&) = delete;
  void keep() { keep_ = true; }

 private:
  CVelCy3Cam& cam_;
  bool openedHere_;
  bool keep_ = false;
};

}  // namespace

// One overlapped request: its event and record live on the heap, so that a request the driver
// never completes can be abandoned without the driver writing into a freed stack frame later.
struct CVelCy3Cam::PendingRequest {
  platform::Event done{platform::Event::Reset::Auto};
  Overlapped overlapped{done};
  std::array<uint8_t, kRecordSize> record{};
};

void CVelCy3Cam::settle(std::unique_ptr<PendingRequest> request) {
  if (request && !request->overlapped.completed.load()) {
    // The driver still holds the record; it is left to it rather than freed under its hands.
    (void)request.release();
  }
}

int CVelCy3Cam::abortEndpoint(DeviceHandle handle, uint8_t endpoint) {
  auto request = std::make_unique<PendingRequest>();
  std::array<uint8_t, 1> in{endpoint};
  IoResult result = fx3Driver().ioctl(handle, kIoctlAbortPipe, in, {}, &request->overlapped);
  if (!result.ok && result.error == kErrorIoPending) {
    // An abort completes as soon as the driver has cancelled what was pending; a driver that
    // does not is not waited for longer than a transfer would have been.
    if (request->done.wait(kCancelLimitMs)) {
      result = fx3Driver().overlappedResult(handle, request->overlapped, false);
    }
    settle(std::move(request));
  }
  if (!result.ok) {
    NIVEXA_LOG(Transport, Warning, "abort of endpoint 0x%02X failed (driver error %u)", endpoint,
               result.error);
  }
  // Refused outright (a device that has gone, a closed handle), the request never reached the
  // driver, which therefore holds nothing of it: it is freed here.
  return result.ok ? 1 : 0;
}

int CVelCy3Cam::AbortStream() {
  const DeviceHandle handle = stream_.load();
  if (handle == kInvalidDeviceHandle) {
    return 0;
  }
  abortEndpoint(handle, kEndpointFrames);
  return 1;
}

bool CVelCy3Cam::awaitOrCancel(DeviceHandle handle, PendingRequest& request, uint8_t endpoint,
                               uint32_t limitMs, bool abortFrameEndpoint) {
  if (request.done.wait(limitMs)) {
    return true;
  }
  // A transfer that ran out of time still owns the caller's buffer until the driver completes
  // it, so it is cancelled by aborting the endpoint it waits on (and, for the plain transfers,
  // the frame endpoint as well). Each wait after that is bounded: an abort, then a second one,
  // then a port reset, which completes everything pending on the device.
  auto abort = [&] {
    if (abortFrameEndpoint || endpoint == kEndpointFrames) {
      abortEndpoint(handle, kEndpointFrames);
    }
    if (endpoint != kEndpointFrames) {
      abortEndpoint(handle, endpoint);
    }
  };
  NIVEXA_LOG(Transport, Info, "transfer on endpoint 0x%02X not done after %u ms: cancelled",
             endpoint, limitMs);
  abort();
  if (request.done.wait(kAbortGraceMs)) {
    // Its bytes may have come just as the time ran out, before the abort reached it: then the
    // transfer is whole, and throwing it away would lose a frame the camera has already sent.
    return fx3Driver().overlappedResult(handle, request.overlapped, false).ok;
  }
  abort();
  if (request.done.wait(kCancelLimitMs)) {
    return false;
  }
  NIVEXA_LOG(Transport, Warning, "endpoint 0x%02X ignored two aborts: resetting the port",
             endpoint);
  ResetPort();
  request.done.wait(kCancelLimitMs);
  return false;
}

int CVelCy3Cam::transfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                         uint32_t& count, uint32_t limitMs, bool abortFrameEndpoint) {
  count = 0;
  if (data.size() > kMaxTransfer || handle == kInvalidDeviceHandle || !transferBuffer_) {
    return 0;
  }
  auto request = std::make_unique<PendingRequest>();
  RequestRecord fields;
  fields.endpoint = endpoint;
  encodeRequestRecord(fields, request->record);

  Fx3Driver& driver = fx3Driver();
  IoResult result =
      driver.ioctl(handle, kIoctlDirectTransfer, request->record, data, &request->overlapped);
  if (result.ok) {
    setLastDriverError(kErrorSuccess);
  } else {
    setLastDriverError(result.error);
    if (result.error != kErrorIoPending) {
      NIVEXA_LOG(Transport, Warning, "transfer on endpoint 0x%02X refused (driver error %u)",
                 endpoint, result.error);
      return 0;
    }
    if (!awaitOrCancel(handle, *request, endpoint, limitMs, abortFrameEndpoint)) {
      settle(std::move(request));
      return 0;
    }
    result = driver.overlappedResult(handle, request->overlapped, false);
    if (!result.ok) {
      NIVEXA_LOG(Transport, Warning, "transfer on endpoint 0x%02X failed (driver error %u)",
                 endpoint, result.error);
      return 0;
    }
  }
  // A count beyond the buffer cannot be true; trusting it would let callers read past the end.
  if (result.bytesReturned > data.size()) {
    // %zu is unknown to the Windows C runtime's printf.
    NIVEXA_LOG(Transport, Warning, "transfer on endpoint 0x%02X reported %u bytes for %llu",
               endpoint, result.bytesReturned, static_cast<unsigned long long>(data.size()));
    return 0;
  }
  count = result.bytesReturned;
  const RequestRecord returned = decodeRequestRecord(request->record);
  if (returned.driverStatus != 0 || returned.usbStatus != 0) {
    NIVEXA_LOG(Transport, Warning,
               "transfer on endpoint 0x%02X: driver status 0x%X, USB status 0x%X", endpoint,
               static_cast<unsigned>(returned.driverStatus),
               static_cast<unsigned>(returned.usbStatus));
    platform::sleepMs(kStatusFailurePauseMs);
    return 0;
  }
  return 1;
}

int CVelCy3Cam::DirectTransfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                               uint32_t& count, uint32_t limitMs) {
  return transfer(handle, data, endpoint, count, limitMs, true);
}

int CVelCy3Cam::DirectTransferFixed(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                                    uint32_t& count) {
  return DirectTransfer(handle, data, endpoint, count, kFixedTransferLimitMs);
}

int CVelCy3Cam::ArmedTransfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                              uint32_t& count) {
  // The frame request may fail on a camera that is already sending; the transfer tells.
  RequestFrame(handle);
  // Left alone after its time-out, the transfer would keep the caller's buffer in the driver's
  // hands after this call returned, so it is cancelled all the same, but only on its own
  // endpoint: the frame endpoint has nothing of this transfer to give back.
  return transfer(handle, data, endpoint, count, kArmedTransferLimitMs, false);
}

int CVelCy3Cam::BufferedTransfer(DeviceHandle handle, std::span<uint8_t> data, uint8_t endpoint,
                                 uint32_t& count) {
  if (data.size() > kMaxTransfer || handle == kInvalidDeviceHandle || !transferBuffer_) {
    return 0;
  }
  const std::span<uint8_t> block(transferBuffer_.get(), data.size() + kRecordSize);
  std::ranges::fill(block, uint8_t{0});
  RequestRecord fields;
  fields.endpoint = endpoint;
  fields.dataOffset = kRecordSize;
  fields.dataLength = static_cast<uint32_t>(data.size());
  encodeRequestRecord(fields, block.first<kRecordSize>());

  auto request = std::make_unique<PendingRequest>();
  Fx3Driver& driver = fx3Driver();
  IoResult result =
      driver.ioctl(handle, kIoctlBufferedTransfer, block, block, &request->overlapped);
  if (!result.ok) {
    if (result.error == kErrorIoPending) {
      if (!awaitOrCancel(handle, *request, endpoint, kBufferedTransferLimitMs, true)) {
        settle(std::move(request));
        return 0;
      }
      result = driver.overlappedResult(handle, request->overlapped, false);
      if (!result.ok) {
        return 0;
      }
    } else if (result.error != kErrorSuccess) {
      return 0;
    }
  }
  if (result.bytesReturned > block.size()) {
    return 0;
  }
  const uint32_t dataCount =
      result.bytesReturned >= kRecordSize ? result.bytesReturned - kRecordSize : 0;
  std::copy_n(block.begin() + kRecordSize, dataCount, data.begin());
  count = dataCount;
  return 1;
}

int CVelCy3Cam::ReadFrameHeader(FrameDescriptor& frame, uint32_t /*unusedLimitMs*/) {
  bool openedHere = false;
  if (!ensureStream(openedHere)) {
    return 0;
  }
  StreamScope scope(*this, openedHere);
  const DeviceHandle handle = stream_.load();
  if (!RequestFrame(handle)) {
    return 0;
  }
  for (int attempt = 0; attempt < kHeaderAttempts; ++attempt) {
    headerScratch_.fill(0);
    uint32_t count = 0;
    // A header shorter than 64 bytes is as lost as one that never came: its missing bytes
    // would be read as payload length and frame counter.
    if (DirectTransfer(handle, headerScratch_, kEndpointFrames, count, kHeaderLimitMs) &&
        count == headerScratch_.size()) {
      frame.header = headerScratch_;
      frame.frameCounter = decodeFrameHeader(frame.header).frameCounter;
      scope.keep();
      return 1;
    }
    // Kicks the FPGA's frame sender out of a half-sent frame before asking again.
    WriteFpgaRegister(kFpgaHeaderRecover, 1);
    WriteFpgaRegister(kFpgaHeaderRecover, 0);
    platform::sleepMs(kHeaderRecoverPauseMs);
    if (!RequestFrame(handle)) {
      break;
    }
  }
  return 0;
}

int CVelCy3Cam::ReadFramePayload(FrameDescriptor& frame, uint32_t limitMs) {
  bool openedHere = false;
  if (!ensureStream(openedHere)) {
    return 0;
  }
  StreamScope scope(*this, openedHere);
  return readPayloadOn(stream_.load(), frame, limitMs);
}

int CVelCy3Cam::readPayloadOn(DeviceHandle handle, FrameDescriptor& frame, uint32_t limitMs) {
  const uint32_t length = decodeFrameHeader(frame.header).payloadLength;
  if (frame.receiveBuffer.size() < length) {
    return 0;
  }
  for (size_t offset = 0; offset < length; offset += kPayloadPiece) {
    const size_t piece = std::min<size_t>(kPayloadPiece, length - offset);
    uint32_t count = 0;
    if (!DirectTransfer(handle, frame.receiveBuffer.subspan(offset, piece), kEndpointFrames, count,
                        limitMs)) {
      return 0;
    }
    // A short piece would leave the previous frame's bytes in the rest of it.
    if (count != piece) {
      return 0;
    }
  }
  return 1;
}

int CVelCy3Cam::ReadFrameAux(FrameDescriptor& frame) {
  bool openedHere = false;
  if (!ensureStream(openedHere)) {
    return 0;
  }
  StreamScope scope(*this, openedHere);
  const uint32_t length = frame.auxReadLength;
  if (frame.receiveBuffer.size() < length) {
    return 0;
  }
  uint32_t count = 0;
  if (!ArmedTransfer(stream_.load(), frame.receiveBuffer.first(length), kEndpointAux, count) ||
      count != length) {
    return 0;
  }
  scope.keep();
  return 1;
}

int CVelCy3Cam::ReadFrameByCommand(std::span<uint8_t> buffer, uint32_t& length, uint32_t limitMs) {
  bool openedHere = false;
  if (!ensureStream(openedHere)) {
    return 0;
  }
  StreamScope scope(*this, openedHere);
  return readByCommandOn(stream_.load(), buffer, length, limitMs);
}

int CVelCy3Cam::readByCommandOn(DeviceHandle handle, std::span<uint8_t> buffer, uint32_t& length,
                                uint32_t limitMs) {
  // The camera sends whole 16 KiB units and always one more than asked for.
  const uint64_t total = uint64_t{length} / kCommandReadUnit * kCommandReadUnit + kCommandReadUnit;
  if (total > buffer.size() || total > kMaxTransfer) {
    return 0;
  }
  const bool commandPerPiece = ProductIdAt(DeviceIndex()) == kProductCommandPerPiece;
  auto sendCommand = [&](uint32_t byteCount) {
    std::array<uint8_t, kMemoryCommandSize> command{};
    encodeMemoryCommand(MemoryDirection::Read, 0, byteCount, command);
    uint32_t sent = 0;
    return DirectTransferFixed(handle, command, kEndpointCommands, sent) && sent == command.size();
  };
  if (!commandPerPiece && !sendCommand(static_cast<uint32_t>(total))) {
    return 0;
  }
  uint64_t received = 0;
  bool lastComplete = false;
  while (received < total) {
    const size_t piece = std::min<uint64_t>(kCommandReadPiece, total - received);
    if (commandPerPiece && !sendCommand(static_cast<uint32_t>(piece))) {
      lastComplete = false;
      break;
    }
    uint32_t count = 0;
    const int ok =
        DirectTransfer(handle, buffer.subspan(received, piece), kEndpointFrames, count, limitMs);
    received += count;
    lastComplete = ok && count == piece;
    if (!lastComplete) {
      break;
    }
  }
  length = static_cast<uint32_t>(received);
  return lastComplete ? 1 : 0;
}

int CVelCy3Cam::ReadMemory(uint64_t address, std::span<uint8_t> buffer, uint32_t size) {
  return moveMemory(address, buffer, size, true);
}

int CVelCy3Cam::WriteMemory(uint64_t address, std::span<uint8_t> buffer, uint32_t size) {
  return moveMemory(address, buffer, size, false);
}

int CVelCy3Cam::moveMemory(uint64_t address, std::span<uint8_t> buffer, uint32_t size, bool read) {
  // Memory moves in whole 4 KiB pages and always one page more than asked for; a buffer that
  // cannot hold that is refused before anything reaches the camera.
  const uint64_t total = uint64_t{size} / kMemoryUnit * kMemoryUnit + kMemoryUnit;
  if (total > buffer.size()) {
    return 0;
  }
  bool openedHere = false;
  if (!ensureStream(openedHere)) {
    return 0;
  }
  StreamScope scope(*this, openedHere);
  const DeviceHandle handle = stream_.load();
  uint64_t done = 0;
  while (done < total) {
    const auto piece = static_cast<uint32_t>(std::min<uint64_t>(kMemoryPiece, total - done));
    std::array<uint8_t, kMemoryCommandSize> command{};
    encodeMemoryCommand(read ? MemoryDirection::Read : MemoryDirection::Write, address, piece,
                        command);
    uint32_t count = 0;
    if (!DirectTransferFixed(handle, command, kEndpointCommands, count) ||
        count != command.size()) {
      return 0;
    }
    const std::span<uint8_t> data = buffer.subspan(done, piece);
    if (read) {
      if (!DirectTransfer(handle, data, kEndpointFrames, count, kFixedTransferLimitMs)) {
        platform::sleepMs(kStatusFailurePauseMs);
        return 0;
      }
    } else if (!DirectTransferFixed(handle, data, kEndpointCommands, count)) {
      return 0;
    }
    if (count != piece) {
      return 0;
    }
    address += count;
    done += count;
  }
  return 1;
}

}  // namespace nivexa::transport
