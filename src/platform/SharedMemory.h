#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace nivexa::platform {

// A named block of memory shared by every process of the current user that opens the same
// name. Like a named mapping of the page file, it exists only while some process holds it: when
// the last holder closes it (or dies), the next open creates it afresh, zero-filled.
//
// Other users cannot see or touch it: on Windows the name lives in the user's session namespace;
// elsewhere the object name carries the user id, the object is readable and writable by its
// owner only, and an object of that name that another user created first is refused.
//
// Names are placed in a namespace taken from NIVEXA_SHM_PREFIX (empty by default), so that
// tests running side by side can each have their own.
class SharedMemory {
 public:
  // Opens the block, creating it when nobody holds it. `created` tells which happened.
  static std::unique_ptr<SharedMemory> openOrCreate(const std::string& name, size_t size,
                                                    bool& created);
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  std::span<uint8_t> bytes() { return {data_, size_}; }

  // The OS object name a block of this name gets in the current namespace.
  static std::string objectName(const std::string& name);

 private:
  SharedMemory(std::string objectName, intptr_t osHandle, uint8_t* data, size_t size);

  std::string objectName_;
  intptr_t osHandle_;  // file descriptor or mapping handle
  uint8_t* data_;
  size_t size_;
};

}  // namespace nivexa::platform
