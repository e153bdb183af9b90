// The buffer-stream interface: application buffers lent to a camera handle.
#include "NivexaStream.h"

#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "api/ExportSupport.h"
#include "camera/StreamAviFile.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

// The state behind an AVI file pointer. The handle is only a number: errors reach its stack as
// long as it exists, and the file outlives a released handle without harm.
struct NivexaAviFile {
  int32_t handle = 0;
  std::mutex mutex;
  nivexa::camera::StreamAviFile file;
};

namespace {

// Files handed out and not yet released. A call looks its file up here first, so a pointer the
// application released (or never had from the library) is refused instead of followed; the
// shared ownership keeps a file alive for a call under way while another thread releases it.
class AviFileTable {
 public:
  void add(const std::shared_ptr<NivexaAviFile>& file) {
    std::lock_guard<std::mutex> guard(mutex_);
    files_.emplace(file.get(), file);
  }
  std::shared_ptr<NivexaAviFile> find(const NivexaAviFile* file) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = files_.find(file);
    return it == files_.end() ? nullptr : it->second;
  }
  std::shared_ptr<NivexaAviFile> take(const NivexaAviFile* file) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = files_.find(file);
    if (it == files_.end()) {
      return nullptr;
    }
    std::shared_ptr<NivexaAviFile> taken = std::move(it->second);
    files_.erase(it);
    return taken;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<const NivexaAviFile*, std::shared_ptr<NivexaAviFile>> files_;
};

AviFileTable& aviFiles() {
  static AviFileTable table;
  return table;
}

// 1 when the call succeeded; otherwise its error goes to the file's handle, if that still exists.
int report(int32_t h, uint32_t error) {
  if (error == NIVEXA_OK) {
    return 1;
  }
  (void)withCamera(h, 0, [&](CNivexa& cam) {
    cam.RecordError(error);
    return 0;
  });
  return 0;
}

}  // namespace

extern "C" {

NIVEXA_STREAM_API uint32_t NivexaStream_FrameBytes(int32_t h, int32_t flags) {
  return withCamera(h, uint32_t{0}, [&](CNivexa& cam) { return cam.StreamFrameBytes(flags); });
}

NIVEXA_STREAM_API int NivexaStream_GetFrameRate(int32_t h, double* framesPerSecond) {
  return withCamera(h, 0, [&](CNivexa& cam) { return cam.StreamFrameRate(framesPerSecond); });
}

NIVEXA_STREAM_API int NivexaStream_Start(int32_t h, int32_t flags) {
  return withCamera(h, 0, [&](CNivexa& cam) { return cam.StartBufferStream(flags); });
}

NIVEXA_STREAM_API int NivexaStream_Queue(int32_t h, NivexaBuffer* buffer) {
  return withCamera(h, 0, [&](CNivexa& cam) { return cam.QueueBuffer(buffer); });
}

NIVEXA_STREAM_API NivexaBuffer* NivexaStream_Wait(int32_t h, int32_t timeoutMs) {
  return withCamera(h, static_cast<NivexaBuffer*>(nullptr),
                    [&](CNivexa& cam) { return cam.WaitBuffer(timeoutMs); });
}

NIVEXA_STREAM_API int NivexaStream_SetCallback(int32_t h, NivexaStreamCallback fn, void* context) {
  return withCamera(h, 0, [&](CNivexa& cam) {
    cam.SetStreamCallback(fn, context);
    return 1;
  });
}

NIVEXA_STREAM_API int NivexaStream_Stop(int32_t h) {
  return withCamera(h, 0, [](CNivexa& cam) { return cam.StopBufferStream(); });
}

NIVEXA_STREAM_API int NivexaStream_GetStatistics(int32_t h, NivexaStreamStatistics* out) {
  return withCamera(h, 0, [&](CNivexa& cam) {
    if (out == nullptr) {
      cam.RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
    }
    *out = cam.StreamStatistics();
    return 1;
  });
}

NIVEXA_STREAM_API NivexaAviFile* NivexaStream_AviCreate(int32_t h, const char* path, int32_t width,
                                                        int32_t height, int32_t bitsPerPixel,
                                                        double framesPerSecond,
                                                        uint64_t maxFrames) {
  return withCamera(h, static_cast<NivexaAviFile*>(nullptr), [&](CNivexa& cam) -> NivexaAviFile* {
    std::shared_ptr<NivexaAviFile> file(new (std::nothrow) NivexaAviFile);
    if (file == nullptr) {
      cam.RecordError(NIVEXA_ERR_MEMORY);
      return nullptr;
    }
    file->handle = h;
    const uint32_t error =
        file->file.Open(path, width, height, bitsPerPixel, framesPerSecond, maxFrames);
    if (error != NIVEXA_OK) {
      cam.RecordError(error);
      return nullptr;
    }
    aviFiles().add(file);
    return file.get();
  });
}

NIVEXA_STREAM_API int NivexaStream_AviAppend(NivexaAviFile* file, const NivexaBuffer* buffer) {
  try {
    const std::shared_ptr<NivexaAviFile> found = aviFiles().find(file);
    if (found == nullptr) {
      return 0;
    }
    std::lock_guard<std::mutex> guard(found->mutex);
    return report(found->handle, found->file.Append(buffer));
  } catch (...) {
    return 0;
  }
}

NIVEXA_STREAM_API int NivexaStream_AviClose(NivexaAviFile* file) {
  try {
    const std::shared_ptr<NivexaAviFile> found = aviFiles().find(file);
    if (found == nullptr) {
      return 0;
    }
    std::lock_guard<std::mutex> guard(found->mutex);
    return report(found->handle, found->file.Close());
  } catch (...) {
    return 0;
  }
}

NIVEXA_STREAM_API uint64_t NivexaStream_AviFrames(const NivexaAviFile* file) {
  try {
    const std::shared_ptr<NivexaAviFile> found = aviFiles().find(file);
    if (found == nullptr) {
      return 0;
    }
    std::lock_guard<std::mutex> guard(found->mutex);
    return found->file.FrameCount();
  } catch (...) {
    return 0;
  }
}

NIVEXA_STREAM_API void NivexaStream_AviRelease(NivexaAviFile* file) {
  try {
    // The last owner's release discards a recording not closed (its temporary file goes).
    (void)aviFiles().take(file);
  } catch (...) {
  }
}

}  // extern "C"
