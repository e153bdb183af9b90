// The transfer side of the libusb backend: driver request records carried out as control and
// bulk transfers, completed on the backend's event thread.
#include <libusb.h>

#include <algorithm>
#include <cstring>

#include "platform/Log.h"
#include "transport/drivers/DeviceNotices.h"
#include "transport/drivers/DriverRecord.h"
#include "transport/drivers/LibusbBackend.h"
#include "transport/drivers/LibusbRecords.h"

namespace nivexa::transport {
namespace {

constexpr uint8_t kDirectionIn = LIBUSB_ENDPOINT_IN;
constexpr uint32_t kMsPerSecond = 1000;
constexpr uint32_t kStatusUnsuccessful = DriverRecord::kStatusUnsuccessful;
constexpr uint32_t kUsbStatusStall = DriverRecord::kUsbStatusStall;
// Bus speed codes the driver reports.
constexpr uint32_t kSpeedLowOrFull = 1;
constexpr uint32_t kSpeedHigh = 2;
constexpr uint32_t kSpeedSuper = 4;
constexpr size_t kSpeedBytes = 4;
constexpr int kByteBits = 8;

uint32_t timeLimitMs(const DriverRecord& record, bool overlapped) {
  // An overlapped transfer without a limit waits for its data or its abort, like the kernel
  // driver's; libusb reads 0 as no limit too.
  const uint64_t seconds =
      record.timeLimitS != 0 || overlapped ? record.timeLimitS : LibusbBackend::kDefaultTimeLimitS;
  return static_cast<uint32_t>(std::min<uint64_t>(seconds * kMsPerSecond, UINT32_MAX));
}

void signal(Overlapped* overlapped, const IoResult& result) {
  if (overlapped != nullptr) {
    recordOutcome(*overlapped, result.bytesReturned, result.ok ? kErrorSuccess : result.error,
                  Notify::Event);
  }
}

}  // namespace

IoResult LibusbBackend::ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                              std::span<uint8_t> out, Overlapped* overlapped) {
  const std::optional<Opened> found = handles_.find(handle);
  if (!found) {
    return {false, 0, kErrorInvalidHandle};
  }
  Device& device = *found->device;
  if (device.lost) {
    return {false, 0, kErrorDeviceNotConnected};
  }
  if (!found->overlapped && overlapped != nullptr) {
    // A synchronous handle completes every request before returning; the caller's record still
    // learns the outcome, so code written for overlapped handles works on it too.
    const IoResult r = ioctl(handle, code, in, out, nullptr);
    signal(overlapped, r);
    return r;
  }
  auto done = [&](int libusbStatus, uint32_t bytes) {
    const IoResult r = libusbStatus == LIBUSB_SUCCESS
                           ? IoResult{true, bytes, kErrorSuccess}
                           : IoResult{false, 0, driverError(device, libusbStatus)};
    signal(overlapped, r);
    return r;
  };
  switch (code) {
    case kIoctlVendorRequest:
    case kIoctlDirectTransfer:
    case kIoctlBufferedTransfer: {
      auto record = decodeDriverRecord(in);
      if (!record || !wellFormedRecord(code, *record, in.size(), out.size())) {
        return {false, 0, kErrorInvalidParameter};
      }
      return transferRequest(handle, *found, code, *record, in, out, overlapped);
    }
    case kIoctlAbortPipe: {
      if (in.empty()) {
        return {false, 0, kErrorInvalidParameter};
      }
      const uint8_t endpoint = in[0];
      abortWhere([&](const Request& r) { return r.device == &device && r.endpoint == endpoint; });
      return done(LIBUSB_SUCCESS, 0);
    }
    case kIoctlResetPipe:
      if (in.empty()) {
        return {false, 0, kErrorInvalidParameter};
      }
      return done(libusb_clear_halt(device.usb, in[0]), 0);
    case kIoctlResetPort: {
      abortWhere([&](const Request& r) { return r.device == &device; });
      const int status = libusb_reset_device(device.usb);
      // A device that comes back from the reset as another one has to be opened anew.
      return done(status == LIBUSB_ERROR_NOT_FOUND ? LIBUSB_ERROR_NO_DEVICE : status, 0);
    }
    case kIoctlBusSpeed: {
      if (out.size() < kSpeedBytes) {
        return {false, 0, kErrorInvalidParameter};
      }
      const int speed = libusb_get_device_speed(libusb_get_device(device.usb));
      const uint32_t code = speed >= LIBUSB_SPEED_SUPER  ? kSpeedSuper
                            : speed == LIBUSB_SPEED_HIGH ? kSpeedHigh
                                                         : kSpeedLowOrFull;
      for (size_t i = 0; i < kSpeedBytes; ++i) {
        out[i] = static_cast<uint8_t>(code >> (kByteBits * i));
      }
      return done(LIBUSB_SUCCESS, kSpeedBytes);
    }
    default:
      return {false, 0, kErrorInvalidParameter};
  }
}

IoResult LibusbBackend::transferRequest(DeviceHandle handle, const Opened& opened, uint32_t code,
                                        const DriverRecord& record, std::span<uint8_t> in,
                                        std::span<uint8_t> out, Overlapped* overlapped) {
  auto flight = std::make_unique<Flight>();
  flight->owner = this;
  flight->handle = handle;
  flight->device = opened.device;
  flight->record = in.first(DriverRecord::kSize);
  // A block request (vendor, buffered) returns the record at the head of its output too; a
  // direct transfer's output is data only.
  if (code != kIoctlDirectTransfer && out.data() != in.data()) {
    flight->recordCopy = out.first(DriverRecord::kSize);
  }
  flight->timeoutMs = timeLimitMs(record, overlapped != nullptr);
  if (code == kIoctlVendorRequest) {
    // The data stage is the block's data area; the record's length field counts the block.
    flight->control = true;
    flight->endpoint = 0;
    flight->extraBytes = DriverRecord::kSize;
    flight->timeoutMs = timeLimitMs(record, false);
    flight->setup.assign(LIBUSB_CONTROL_SETUP_SIZE + record.dataLength, 0);
    libusb_fill_control_setup(flight->setup.data(), record.requestType, record.request,
                              record.value, record.index, static_cast<uint16_t>(record.dataLength));
    if (record.requestType & kDirectionIn) {
      flight->reply = out.subspan(record.dataOffset, record.dataLength);
    } else {
      std::copy_n(in.begin() + record.dataOffset, record.dataLength,
                  flight->setup.begin() + LIBUSB_CONTROL_SETUP_SIZE);
    }
  } else {
    flight->endpoint = record.endpoint;
    const bool toHost = record.endpoint & kDirectionIn;
    if (code == kIoctlBufferedTransfer) {
      flight->data = (toHost ? out : in).subspan(record.dataOffset, record.dataLength);
      flight->extraBytes = record.dataOffset;
    } else {
      flight->data = out;
    }
  }
  return launch(std::move(flight), overlapped);
}

IoResult LibusbBackend::launch(std::unique_ptr<Flight> owned, Overlapped* overlapped) {
  Flight& flight = *owned;
  // A synchronous caller's completion record lives here, where the caller waits: the flight
  // itself goes as soon as it ended, possibly before the caller has read its outcome.
  platform::Event localEvent(platform::Event::Reset::Manual);
  Overlapped local(localEvent);
  Overlapped& completion = overlapped != nullptr ? *overlapped : local;
  completion.completed.store(false);
  flight.completion = &completion;
  const size_t pieces =
      flight.control ? 1
                     : std::clamp<size_t>((flight.data.size() + kChunkBytes - 1) / kChunkBytes, 1,
                                          kChunksInFlight);
  std::unique_ptr<Flight> ended;
  {
    // Registered under the lock that an abort takes, so that no abort can miss it.
    std::lock_guard lock(flightsMutex_);
    if (!pending_.add(completion, {&flight, flight.handle, flight.device.get(), flight.endpoint})) {
      return {false, 0, kErrorInvalidParameter};  // that record already carries a request
    }
    flights_.emplace(&flight, std::move(owned));
    for (size_t i = 0; i < pieces && !flight.stopped; ++i) {
      libusb_transfer* transfer = libusb_alloc_transfer(0);
      if (transfer == nullptr) {
        stopLocked(flight, kErrorGenFailure);
        break;
      }
      flight.transfers.push_back(transfer);
      flight.busy.push_back(false);
      submitLocked(flight, transfer);
    }
    ended = takeIfEndedLocked(flight);
  }
  if (ended) {
    // Refused before anything reached the bus: the return value tells the caller.
    return finish(std::move(ended), overlapped != nullptr ? Notify::Silently : Notify::Event);
  }
  if (overlapped != nullptr) {
    return {false, 0, kErrorIoPending};
  }
  // The transfer's own time limit ends it; the event thread then completes it here.
  return pending_.result(completion, true);
}

void LibusbBackend::submitLocked(Flight& flight, libusb_transfer* transfer) {
  const size_t slot =
      static_cast<size_t>(std::find(flight.transfers.begin(), flight.transfers.end(), transfer) -
                          flight.transfers.begin());
  if (flight.control) {
    libusb_fill_control_transfer(transfer, flight.device->usb, flight.setup.data(), onTransferDone,
                                 &flight, flight.timeoutMs);
  } else {
    const size_t length = std::min<size_t>(kChunkBytes, flight.data.size() - flight.nextOffset);
    libusb_fill_bulk_transfer(transfer, flight.device->usb, flight.endpoint,
                              flight.data.data() + flight.nextOffset, static_cast<int>(length),
                              onTransferDone, &flight, flight.timeoutMs);
    flight.nextOffset += length;
  }
  const int status = libusb_submit_transfer(transfer);
  if (status != LIBUSB_SUCCESS) {
    stopLocked(flight, driverError(*flight.device, status));
    return;
  }
  flight.busy[slot] = true;
}

void LibusbBackend::stopLocked(Flight& flight, uint32_t error) {
  if (!flight.stopped) {
    flight.stopped = true;
    flight.error = error;
  }
  for (size_t i = 0; i < flight.transfers.size(); ++i) {
    if (flight.busy[i]) {
      // Already done and on its way back, a transfer cannot be cancelled: it comes back anyway.
      libusb_cancel_transfer(flight.transfers[i]);
    }
  }
}

std::unique_ptr<LibusbBackend::Flight> LibusbBackend::takeIfEndedLocked(Flight& flight) {
  const bool allGiven = flight.control || flight.nextOffset >= flight.data.size();
  if (flight.inFlight() > 0 || !(flight.stopped || allGiven)) {
    return nullptr;
  }
  auto it = flights_.find(&flight);
  std::unique_ptr<Flight> taken = std::move(it->second);
  flights_.erase(it);
  return taken;
}

IoResult LibusbBackend::finish(std::unique_ptr<Flight> flight, Notify notify) {
  IoResult outcome{false, 0, flight->error};
  if (flight->error == kErrorSuccess) {
    uint32_t bytes = 0;
    if (flight->control) {
      bytes = flight->controlBytes;
      if (!flight->reply.empty()) {
        std::copy_n(flight->setup.begin() + LIBUSB_CONTROL_SETUP_SIZE,
                    std::min<size_t>(bytes, flight->reply.size()), flight->reply.begin());
      }
    } else {
      bytes = static_cast<uint32_t>(std::min(flight->shortEnd, flight->data.size()));
    }
    outcome = {true, bytes + flight->extraBytes, kErrorSuccess};
  }
  // The record's returned fields, in the caller's record and in the copy it reads back.
  const uint32_t driverStatus = outcome.ok ? 0 : kStatusUnsuccessful;
  if (!flight->recordCopy.empty()) {
    std::copy(flight->record.begin(), flight->record.end(), flight->recordCopy.begin());
    writeDriverStatus(flight->recordCopy, driverStatus, flight->usbStatus);
  }
  writeDriverStatus(flight->record, driverStatus, flight->usbStatus);
  // The device goes back to its handles before the caller learns of the end: a caller that then
  // closes the last handle closes the device on its own thread, never on the event thread, where
  // libusb cannot close it.
  flight->device.reset();
  pending_.end(
      *flight->completion, [&outcome](Request&) { return outcome; }, notify);
  return outcome;
}

void LibusbBackend::onTransferDone(libusb_transfer* transfer) {
  static_cast<Flight*>(transfer->user_data)->owner->transferDone(transfer);
}

void LibusbBackend::transferDone(libusb_transfer* transfer) {
  std::unique_ptr<Flight> ended;
  {
    std::lock_guard lock(flightsMutex_);
    Flight& flight = *static_cast<Flight*>(transfer->user_data);
    const size_t slot =
        static_cast<size_t>(std::find(flight.transfers.begin(), flight.transfers.end(), transfer) -
                            flight.transfers.begin());
    flight.busy[slot] = false;
    switch (transfer->status) {
      case LIBUSB_TRANSFER_COMPLETED:
        if (flight.control) {
          flight.controlBytes = static_cast<uint32_t>(transfer->actual_length);
        } else if (transfer->actual_length < transfer->length) {
          // A short transfer ends the data: what the pieces after it hold is not part of it.
          const auto offset = static_cast<size_t>(transfer->buffer - flight.data.data());
          flight.shortEnd =
              std::min(flight.shortEnd, offset + static_cast<size_t>(transfer->actual_length));
          stopLocked(flight, kErrorSuccess);
        } else if (!flight.stopped && flight.nextOffset < flight.data.size()) {
          submitLocked(flight, transfer);
        }
        break;
      case LIBUSB_TRANSFER_CANCELLED:
        // Cancelled here, for a reason the flight already carries (an abort, a short piece).
        break;
      case LIBUSB_TRANSFER_TIMED_OUT:
        stopLocked(flight, kErrorSemTimeout);
        break;
      case LIBUSB_TRANSFER_STALL:
        flight.usbStatus = kUsbStatusStall;
        stopLocked(flight, kErrorGenFailure);
        break;
      case LIBUSB_TRANSFER_NO_DEVICE:
        stopLocked(flight, driverError(*flight.device, LIBUSB_ERROR_NO_DEVICE));
        break;
      default:
        NIVEXA_LOG(Transport, Warning, "camera %s: transfer on endpoint 0x%02X failed (status %d)",
                   flight.device->path.c_str(), flight.endpoint, transfer->status);
        stopLocked(flight, kErrorGenFailure);
        break;
    }
    ended = takeIfEndedLocked(flight);
  }
  if (ended) {
    finish(std::move(ended), Notify::Event);
  }
}

void LibusbBackend::abortWhere(const std::function<bool(const Request&)>& matches) {
  {
    std::lock_guard lock(flightsMutex_);
    for (auto& [address, flight] : flights_) {
      const Request request{address, flight->handle, flight->device.get(), flight->endpoint};
      if (matches(request)) {
        // An abort overrides whatever else had already stopped the flight.
        flight->error = kErrorOperationAborted;
        stopLocked(*flight, kErrorOperationAborted);
      }
    }
  }
  pending_.waitUntilNone(matches);
}

uint32_t LibusbBackend::driverError(Device& device, int libusbError) {
  switch (libusbError) {
    case LIBUSB_ERROR_NO_DEVICE:
      if (!device.lost.exchange(true)) {
        NIVEXA_LOG(Transport, Warning, "camera %s has gone from the bus", device.path.c_str());
      }
      return kErrorDeviceNotConnected;
    case LIBUSB_ERROR_TIMEOUT:
      return kErrorSemTimeout;
    case LIBUSB_ERROR_INVALID_PARAM:
      return kErrorInvalidParameter;
    case LIBUSB_ERROR_INTERRUPTED:
      return kErrorOperationAborted;
    case LIBUSB_ERROR_ACCESS:
      NIVEXA_LOG(Transport, Error,
                 "camera %s: permission denied; the udev rule 70-nivexa-camera.rules is missing "
                 "(see \"Real cameras on Linux\" in the README)",
                 device.path.c_str());
      return kErrorGenFailure;
    default:
      return kErrorGenFailure;
  }
}

IoResult LibusbBackend::overlappedResult(DeviceHandle /*handle*/, Overlapped& overlapped,
                                         bool wait) {
  return pending_.result(overlapped, wait);
}

}  // namespace nivexa::transport
