#include "camera/FrameInfoRecord.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace nivexa::camera {

namespace {

struct RecordPool {
  std::mutex lock;
  std::vector<NivexaFrameInfo*> free;
};

// Never destroyed: a notice may be read, and a camera object torn down, during static
// destruction at process exit.
RecordPool& pool() {
  static RecordPool* const instance = new RecordPool;
  return *instance;
}

// The application reads the record live, so even clearing goes through atomic stores.
void clear(NivexaFrameInfo& record) {
  std::atomic_ref<LONG>(record.reserved).store(0, std::memory_order_relaxed);
  std::atomic_ref<LONG>(record.width).store(0, std::memory_order_relaxed);
  std::atomic_ref<LONG>(record.height).store(0, std::memory_order_relaxed);
  std::atomic_ref<LONG>(record.bitsPerPixel).store(0, std::memory_order_relaxed);
  std::atomic_ref<LONG>(record.frameRate).store(0, std::memory_order_relaxed);
  std::atomic_ref<BYTE*>(record.buffer).store(nullptr, std::memory_order_relaxed);
}

}  // namespace

FrameInfoRecord::FrameInfoRecord() {
  RecordPool& records = pool();
  std::lock_guard guard(records.lock);
  if (records.free.empty()) {
    record_ = new NivexaFrameInfo{};
  } else {
    record_ = records.free.back();
    records.free.pop_back();
  }
}

FrameInfoRecord::~FrameInfoRecord() {
  clear(*record_);
  RecordPool& records = pool();
  std::lock_guard guard(records.lock);
  records.free.push_back(record_);
}

}  // namespace nivexa::camera
