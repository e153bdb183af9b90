#include "platform/SharedMemory.h"

#include <windows.h>

#include <cstdlib>

namespace nivexa::platform {

std::string SharedMemory::objectName(const std::string& name) {
  const char* prefix = std::getenv("NIVEXA_SHM_PREFIX");
  std::string object(prefix != nullptr ? prefix : "");
  object.append(name);
  return object;
}

// A mapping of the page file lives exactly as long as a handle to it is open in some process,
// and the system zero-fills it on creation: the lifetime the interface promises comes free.
std::unique_ptr<SharedMemory> SharedMemory::openOrCreate(const std::string& name, size_t size,
                                                         bool& created) {
  created = false;
  const std::string object = objectName(name);
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, object.c_str());
  if (mapping == nullptr) {
    const auto bytes = static_cast<unsigned long long>(size);
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                 static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes),
                                 object.c_str());
    if (mapping == nullptr) {
      return nullptr;
    }
    // Another process may have created it between our open and create.
    created = GetLastError() != ERROR_ALREADY_EXISTS;
  }
  // Fails when an existing mapping is smaller than asked for.
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view == nullptr) {
    CloseHandle(mapping);
    created = false;
    return nullptr;
  }
  return std::unique_ptr<SharedMemory>(new SharedMemory(object, reinterpret_cast<intptr_t>(mapping),
                                                        static_cast<uint8_t*>(view), size));
}

SharedMemory::SharedMemory(std::string objectName, intptr_t osHandle, uint8_t* data, size_t size)
    : objectName_(std::move(objectName)), osHandle_(osHandle), data_(data), size_(size) {}

SharedMemory::~SharedMemory() {
  UnmapViewOfFile(data_);
  CloseHandle(reinterpret_cast<HANDLE>(osHandle_));
}

}  // namespace nivexa::platform
