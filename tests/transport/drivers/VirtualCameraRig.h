#pragma once

// Test access to a virtual camera through the driver interface only, with request blocks built
// byte by byte as the controller builds them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Event.h"
#include "sim/CameraSet.h"
#include "transport/drivers/VirtualCameraBackend.h"

namespace nivexa::transport::testing {

inline constexpr size_t kRecordSize = 38;
inline constexpr size_t kBlockSize = 102;

inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
}
inline uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The 102-byte vendor request block: record, then the 64-byte data area.
inline std::vector<uint8_t> vendorBlock(uint8_t type, uint8_t code, uint16_t value, uint16_t index,
                                        const std::vector<uint8_t>& data = {}) {
  std::vector<uint8_t> b(kBlockSize, 0);
  b[0] = type;
  b[1] = code;
  put16(b, 2, value);
  put16(b, 4, index);
  put16(b, 6, static_cast<uint16_t>(kBlockSize));
  put32(b, 8, 3);
  put32(b, 30, kRecordSize);
  put32(b, 34, 64);
  for (size_t i = 0; i < data.size() && i < 64; ++i) {
    b[kRecordSize + i] = data[i];
  }
  return b;
}

inline std::vector<uint8_t> bulkRecord(uint8_t endpoint) {
  std::vector<uint8_t> r(kRecordSize, 0);
  r[13] = endpoint;
  return r;
}

struct VendorReply {
  IoResult io;
  std::vector<uint8_t> block;
  uint32_t dataCount() const {
    return io.bytesReturned >= kRecordSize ? io.bytesReturned - kRecordSize : io.bytesReturned;
  }
  uint8_t data(size_t i) const { return block[kRecordSize + i]; }
};

class Rig {
 public:
  static constexpr uint32_t kFrameWaitMs = 20000;

  explicit Rig(sim::CameraOptions options = fastOptions())
      : backend(set), camera(set.add(options)) {
    auto paths = backend.enumerate(kCameraInterfaceGuid);
    path = paths.empty() ? std::string() : paths.back();
  }

  static sim::CameraOptions fastOptions() {
    sim::CameraOptions o;
    o.pacing = sim::Pacing::Fast;
    return o;
  }

  VendorReply vendor(uint8_t type, uint8_t code, uint16_t value, uint16_t index,
                     const std::vector<uint8_t>& data = {}) {
    VendorReply r;
    r.block = vendorBlock(type, code, value, index, data);
    DeviceHandle h = backend.open(path, false);
    r.io = backend.ioctl(h, kIoctlVendorRequest, r.block, r.block, nullptr);
    backend.close(h);
    return r;
  }
  bool busWrite(uint8_t device, const std::vector<uint8_t>& bytes) {
    return vendor(0x40, 0x30, static_cast<uint16_t>(bytes.size()), device, bytes).io.ok;
  }
  std::optional<std::vector<uint8_t>> busRead(uint8_t device, uint16_t count) {
    VendorReply r = vendor(0xC0, 0x31, count, device | 1);
    if (!r.io.ok || r.dataCount() < count) {
      return std::nullopt;
    }
    return std::vector<uint8_t>(r.block.begin() + kRecordSize,
                                r.block.begin() + kRecordSize + count);
  }
  bool fpgaWrite(uint8_t reg, uint8_t value) { return busWrite(0x40, {reg, 0x00, value}); }
  std::optional<uint8_t> fpgaRead(uint8_t reg) {
    if (!busWrite(0x40, {reg})) {
      return std::nullopt;
    }
    auto bytes = busRead(0x40, 2);
    return bytes ? std::optional<uint8_t>((*bytes)[1]) : std::nullopt;
  }
  bool sensorWrite(uint16_t address, uint8_t value) {
    return busWrite(72, {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), value});
  }
  std::optional<uint8_t> sensorRead(uint16_t address) {
    if (!busWrite(72, {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)})) {
      return std::nullopt;
    }
    auto bytes = busRead(72, 1);
    return bytes ? std::optional<uint8_t>((*bytes)[0]) : std::nullopt;
  }
  bool requestFrame(DeviceHandle h) {
    auto block = vendorBlock(0x42, 0xC2, 0, 0);
    return backend.ioctl(h, kIoctlVendorRequest, block, block, nullptr).ok;
  }

  struct Bulk {
    IoResult io;
    std::vector<uint8_t> data;
    std::vector<uint8_t> record;
  };
  // Direct transfer on an overlapped handle, waiting for the event up to `waitMs` (by default
  // long enough for a full frame's render under a sanitizer on a busy machine).
  Bulk read(DeviceHandle h, size_t length, uint32_t waitMs = kFrameWaitMs,
            uint8_t endpoint = 0x81) {
    Bulk b;
    b.data.assign(length, 0);
    b.record = bulkRecord(endpoint);
    platform::Event event(platform::Event::Reset::Auto);
    Overlapped ov(event);
    b.io = backend.ioctl(h, kIoctlDirectTransfer, b.record, b.data, &ov);
    if (!b.io.ok && b.io.error == kErrorIoPending) {
      if (!event.wait(waitMs)) {
        auto abort = std::vector<uint8_t>{0x81};
        backend.ioctl(h, kIoctlAbortPipe, abort, {}, nullptr);
        event.wait(platform::kInfinite);
      }
      b.io = backend.overlappedResult(h, ov, false);
    }
    b.data.resize(b.io.ok ? b.io.bytesReturned : 0);
    return b;
  }
  // One frame: request, header, payload in 512 KiB pieces as the controller reads it.
  struct Frame {
    bool ok = false;
    std::vector<uint8_t> header;
    std::vector<uint8_t> payload;
  };
  Frame frame(uint32_t waitMs = kFrameWaitMs) {
    Frame f;
    DeviceHandle h = backend.open(path, true);
    if (!requestFrame(h)) {
      backend.close(h);
      return f;
    }
    Bulk header = read(h, 64, waitMs);
    if (!header.io.ok || header.data.size() != 64) {
      backend.close(h);
      return f;
    }
    f.header = header.data;
    uint32_t length = get32(f.header, 16);
    f.payload.reserve(length);
    while (f.payload.size() < length) {
      size_t piece = std::min<size_t>(0x80000, length - f.payload.size());
      Bulk p = read(h, piece, waitMs);
      if (!p.io.ok || p.data.size() != piece) {
        backend.close(h);
        return f;
      }
      f.payload.insert(f.payload.end(), p.data.begin(), p.data.end());
    }
    backend.close(h);
    f.ok = true;
    return f;
  }

  sim::CameraSet set;
  VirtualCameraBackend backend;
  std::shared_ptr<sim::Camera> camera;
  std::string path;
};

}  // namespace nivexa::transport::testing
