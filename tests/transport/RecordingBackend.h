#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/CameraSet.h"
#include "transport/drivers/DriverRecord.h"
#include "transport/drivers/Fx3Driver.h"
#include "transport/drivers/VirtualCameraBackend.h"

namespace nivexa::transport::testing {

// One request as the driver received it, decoded with the driver's own record decoder.
struct SeenRequest {
  uint32_t code = 0;
  std::optional<DriverRecord> record;
  size_t inSize = 0;
  size_t outSize = 0;
  std::vector<uint8_t> outgoing;  // data stage of a host-to-device vendor request
  int argument = -1;              // the endpoint byte of an abort or a pipe reset
};

// A backend in front of virtual cameras of its own, added to the process-wide driver. It
// forwards everything to a virtual-camera backend and keeps a log of the requests as the driver
// sees them; on request it plays a camera-memory device on endpoints 0x01/0x81 (which this
// product's camera does not have) and cuts vendor replies short, as a misbehaving driver would.
class RecordingBackend : public Fx3Driver {
 public:
  // The instance, registered with fx3Driver() on first use.
  static RecordingBackend& instance();

  std::shared_ptr<sim::Camera> addCamera(const sim::CameraOptions& options);
  // A camera at its own timing runs a clock thread that only its destruction joins: a suite
  // removes its cameras when it ends, or the thread outlives it unjoined.
  void removeCamera(const std::shared_ptr<sim::Camera>& camera);
  std::string pathOf(const std::shared_ptr<sim::Camera>& camera) const;
  std::vector<SeenRequest> requests() const;
  void clearRequests();
  // Paths listed in addition to the cameras' (malformed ones, for discovery tests).
  void setExtraPaths(std::vector<std::string> paths);
  int opensOf(const std::string& path) const;

  std::atomic<int> vendorReplyBytes{-1};  // >= 0: vendor requests return this many bytes
  std::atomic<bool> memoryDevice{false};
  // Direct transfers are taken and never completed, whatever is aborted or reset: a driver
  // that does not keep its promise to give cancelled requests back.
  std::atomic<bool> swallowTransfers{false};
  // The next read of the frame endpoint is held until an abort of that endpoint arrives, and
  // only then goes to the camera, which completes it whole: a transfer whose bytes came just as
  // the caller's time ran out.
  std::atomic<bool> holdReadUntilAbort{false};

  std::vector<std::string> enumerate(const Guid& interfaceGuid) override;
  DeviceHandle open(const std::string& path, bool overlapped) override;
  void close(DeviceHandle handle) override;
  IoResult ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                 Overlapped* overlapped) override;
  IoResult overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) override;

 private:
  RecordingBackend();

  sim::CameraSet cameras_;
  VirtualCameraBackend inner_;
  mutable std::mutex mutex_;
  std::vector<SeenRequest> seen_;
  std::vector<std::string> extraPaths_;
  std::vector<std::string> opened_;
  std::vector<Overlapped*> swallowed_;  // held by the driver for good
  struct HeldRead {
    DeviceHandle handle = kInvalidDeviceHandle;
    std::span<uint8_t> in;
    std::span<uint8_t> out;
    Overlapped* overlapped = nullptr;
  };
  std::optional<HeldRead> held_;
};

}  // namespace nivexa::transport::testing
