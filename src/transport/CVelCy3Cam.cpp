#include "transport/CVelCy3Cam.h"

#include <new>

#include "transport/DeviceNames.h"

namespace nivexa::transport {

CVelCy3Cam::CVelCy3Cam(const Guid& interfaceGuid) : CFx3Api(interfaceGuid) {}

CVelCy3Cam::~CVelCy3Cam() {
  ReleaseStream();
}

int CVelCy3Cam::OpenStream() {
  bool openedHere = false;
  return ensureStream(openedHere) ? 1 : 0;
}

bool CVelCy3Cam::ensureStream(bool& openedHere) {
  openedHere = false;
  if (stream_.load() != kInvalidDeviceHandle) {
    return true;
  }
  const DeviceHandle handle = Open(DeviceIndex(), true);
  if (handle == kInvalidDeviceHandle) {
    return false;
  }
  stream_.store(handle);
  openedHere = true;
  return true;
}

void CVelCy3Cam::CloseStream() {
  const DeviceHandle handle = stream_.exchange(kInvalidDeviceHandle);
  if (handle != kInvalidDeviceHandle) {
    fx3Driver().close(handle);
  }
}

void CVelCy3Cam::ReleaseStream() {
  CloseStream();
  transferBuffer_.reset();
}

int CVelCy3Cam::SetDeviceIndex(int index) {
  CloseStream();
  if (!IsOpenable(index)) {
    return 0;
  }
  setDeviceIndex(index);
  return 1;
}

int CVelCy3Cam::GetDeviceName(int index, std::string& name) {
  if (!IsOpenable(index)) {
    return 0;
  }
  const auto entry = entryAt(index);
  if (!entry) {
    return 0;
  }
  auto text = earlierProductName(entry->productId, entry->instance);
  if (!text) {
    return 0;
  }
  name = std::move(*text);
  return 1;
}

int CVelCy3Cam::PrepareStream() {
  if (!transferBuffer_) {
    // Left uninitialised: the pages are only touched by the transfers that use them.
    transferBuffer_.reset(new (std::nothrow) uint8_t[fx3::kTransferBufferSize]);
    if (!transferBuffer_) {
      return 0;
    }
  }
  ResetPort();
  return 1;
}

}  // namespace nivexa::transport
