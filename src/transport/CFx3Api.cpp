#include "transport/CFx3Api.h"

#include "platform/Process.h"

namespace nivexa::transport {

namespace {
constexpr const char* kLogFileName = "DEBUGLOG.txt";
// Appending over an entry that is still in use can only happen when two processes scanned at
// once; the line marks it for whoever reads the debug output.
constexpr const char* kOverwriteNotice = "ここには入ってこないはず\r\n";
}  // namespace

CFx3Api::CFx3Api(const Guid& interfaceGuid) {
  auto& shared = processDeviceTable();
  {
    std::lock_guard lock(shared.mutex);
    bool created = false;
    mapping_ = platform::SharedMemory::openOrCreate(kDeviceTableName, kDeviceTableBytes, created);
    if (mapping_ && !created) {
      shared.image = decodeDeviceTable(mapping_->bytes().first<kDeviceTableBytes>());
    }
    if (shared.image.userCount <= 0) {
      shared.image.userCount = 0;
      resetDeviceTable(shared.image);
    }
    ++shared.image.userCount;
    publishLocked(shared.image);
  }
  logPath_ = platform::mainModuleDirectory() + kLogFileName;
  guid_ = interfaceGuid;
}

CFx3Api::~CFx3Api() {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  refreshLocked(shared.image);
  if (shared.image.userCount > 0) {
    --shared.image.userCount;
  }
  publishLocked(shared.image);
  mapping_.reset();
}

void CFx3Api::refreshLocked(DeviceTableImage& image) const {
  if (mapping_) {
    image = decodeDeviceTable(mapping_->bytes().first<kDeviceTableBytes>());
  }
}

void CFx3Api::publishLocked(const DeviceTableImage& image) {
  if (mapping_) {
    encodeDeviceTable(image, mapping_->bytes().first<kDeviceTableBytes>());
  }
}

int CFx3Api::EnumerateDevices() {
  Fx3Driver& driver = fx3Driver();
  const std::vector<std::string> paths = driver.enumerate(guid_);
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  DeviceTableImage& table = shared.image;
  refreshLocked(table);
  for (size_t member = 0; member < paths.size() && member < kMaxDevices; ++member) {
    const std::string& path = paths[member];
    // The table field holds the path with its terminator; a longer one could never be matched
    // or opened again from the table.
    if (path.size() >= kDevicePathBytes) {
      continue;
    }
    const auto ids = parseInterfacePath(path);
    if (!ids) {
      continue;
    }
    const DeviceHandle trial = driver.open(path, true);
    if (trial == kInvalidDeviceHandle) {
      continue;
    }
    driver.close(trial);
    int32_t sameProduct = 0;
    bool known = false;
    for (const DeviceEntry& e : table.entries) {
      if (e.vendorId == ids->vendorId && e.productId == ids->productId) {
        ++sameProduct;
        known = known || e.path == path;
      }
    }
    if (known || table.deviceCount >= kMaxDevices) {
      continue;
    }
    DeviceEntry& slot = table.entries[table.deviceCount];
    if (slot.productId != 0) {
      platform::debugOutput(kOverwriteNotice);
    }
    slot = DeviceEntry{ids->vendorId, ids->productId, sameProduct, path};
    ++table.deviceCount;
  }
  publishLocked(table);
  return table.deviceCount;
}

int CFx3Api::DeviceCount() const {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  return shared.image.deviceCount;
}

std::optional<DeviceEntry> CFx3Api::entryAt(int index) const {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  if (index < 0 || index >= kMaxDevices || index >= shared.image.deviceCount) {
    return std::nullopt;
  }
  return shared.image.entries[index];
}

DeviceHandle CFx3Api::Open(int index, bool overlapped) {
  const auto entry = entryAt(index);
  if (!entry) {
    return kInvalidDeviceHandle;
  }
  return fx3Driver().open(entry->path, overlapped);
}

bool CFx3Api::IsOpenable(int index) {
  const DeviceHandle handle = Open(index, true);
  if (handle == kInvalidDeviceHandle) {
    return false;
  }
  fx3Driver().close(handle);
  return true;
}

uint16_t CFx3Api::ProductIdAt(int index) const {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  return index >= 0 && index < kMaxDevices ? shared.image.entries[index].productId : 0;
}

int32_t CFx3Api::InstanceAt(int index) const {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  return index >= 0 && index < kMaxDevices ? shared.image.entries[index].instance : -1;
}

uint16_t CFx3Api::VendorIdAt(int index) const {
  const auto entry = entryAt(index);
  return entry ? entry->vendorId : 0;
}

std::string CFx3Api::PathAt(int index) const {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  return index >= 0 && index < kMaxDevices ? shared.image.entries[index].path : std::string();
}

int CFx3Api::FindDevice(uint16_t productId, int32_t instance) const {
  auto& shared = processDeviceTable();
  std::lock_guard lock(shared.mutex);
  for (int i = 0; i < kMaxDevices; ++i) {
    const DeviceEntry& e = shared.image.entries[i];
    if (e.productId == productId && e.instance == instance) {
      return i;
    }
  }
  return -1;
}

}  // namespace nivexa::transport
