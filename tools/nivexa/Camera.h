// Opening a camera as the command line asks, and the commands that read and set its parameters.
#pragma once

#include <cstdint>
#include <string>

#include "Options.h"

namespace nivexa::tool {

// Exit statuses: 0 done, 1 the camera or the system failed, 2 the command line is wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// How long a stream or recording waits for its first frame while the camera starts (settle times,
// and a loaded machine); its own time counts from that frame.
inline constexpr int32_t kFirstFrameMs = 5000;

// A library handle, released on destruction.
class Handle {
 public:
  Handle() = default;
  explicit Handle(int32_t h) : h_(h) {}
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = 0; }
  Handle& operator=(Handle&& other) noexcept;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle();
  int32_t get() const { return h_; }
  explicit operator bool() const { return h_ != 0; }

 private:
  int32_t h_ = 0;
};

// The library's last error on h as text: the code and what it means.
std::string errorText(int32_t h);

// A handle with the cameras enumerated (count set), falling back to one virtual camera when none
// is attached; empty after saying why not. `quiet` sends the virtual-camera line to stderr, for
// output that must stay machine-readable.
Handle openLibrary(int& count, bool quiet);

// A handle with the camera the arguments choose (--device or --serial) open and the camera
// options (--exposure, --gain, --bits) applied; empty after saying why not.
Handle openCamera(const Arguments& args);

int listCameras(const Arguments& args);
int showInfo(const Arguments& args);
int showFeatures(const Arguments& args);
int getParameter(const Arguments& args);
int setParameter(const Arguments& args);

}  // namespace nivexa::tool
