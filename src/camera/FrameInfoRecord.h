#pragma once

#include "NivexaSdk.h"

namespace nivexa::camera {

// The frame-information record whose address every frame notice carries. An application may
// handle notices that were queued before it released the handle, so the record must outlive the
// camera object: records come from a process-wide pool and are never freed, only handed to the
// next camera object once this one is gone (cleared first, so a stale notice reads an empty
// record rather than a pointer to a buffer the application may have freed).
class FrameInfoRecord {
 public:
  FrameInfoRecord();
  ~FrameInfoRecord();
  FrameInfoRecord(const FrameInfoRecord&) = delete;
  FrameInfoRecord& operator=(const FrameInfoRecord&) = delete;

  NivexaFrameInfo& get() const { return *record_; }

 private:
  NivexaFrameInfo* record_;
};

}  // namespace nivexa::camera
