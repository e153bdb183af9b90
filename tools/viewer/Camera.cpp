#include "Camera.h"

#include <NivexaDevices.h>
#include <glib.h>

#include "ErrorText.h"

namespace nivexa::viewer {

namespace {
constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";
constexpr const char* kOneVirtualCamera = "1";
constexpr int kMaxListed = 10;
constexpr int kNameBytes = 256;
}  // namespace

Camera::Camera(ErrorSink errors) : errors_(std::move(errors)) {}

Camera::~Camera() {
  if (handle_ != 0) {
    Nivexa_Release(handle_);
  }
  if (sink_ != nullptr) {
    NivexaMsg_DestroySink(sink_);
  }
}

bool Camera::initialize() {
  sink_ = NivexaMsg_CreateSink();
  if (sink_ == nullptr) {
    errors_("The library's message sink could not be made.");
    return false;
  }
  handle_ = Nivexa_Initialize(sink_);
  if (handle_ == 0) {
    errors_("The library could not make a camera handle (out of memory).");
    return false;
  }
  // Initialize opens the camera by itself when exactly one is attached, and records why not
  // otherwise (none, or several to choose from): that is the list's business, not an error to
  // show, so the viewer starts from a clean stack and an empty sink.
  while (Nivexa_GetLastError(handle_) != 0) {
  }
  NivexaMsg dropped{};
  while (NivexaMsg_Get(sink_, &dropped, 0) != 0) {
  }
  return true;
}

bool Camera::fallBackToVirtual() {
  if (g_getenv(kVirtualCamerasVariable) != nullptr) {
    return false;
  }
  // Asked of the library, not set in the environment, which the library's threads may be reading
  // meanwhile; an enumeration made while no camera is open makes the camera.
  return NivexaDevices_UseVirtualCameras(kOneVirtualCamera) != 0;
}

std::vector<std::string> Camera::list() {
  char names[kMaxListed][kNameBytes] = {};
  const NivexaLong count = Nivexa_EnumDevice(handle_, names);
  std::vector<std::string> result;
  for (NivexaLong i = 0; i < count && i < kMaxListed; ++i) {
    result.emplace_back(names[i]);
  }
  return result;
}

bool Camera::open(int number) {
  if (!check(Nivexa_SetDeviceNumber(handle_, number) != 0,
             "Opening camera " + std::to_string(number))) {
    open_ = -1;
    return false;
  }
  open_ = number;
  return true;
}

void Camera::close() {
  Nivexa_Close(handle_);
  open_ = -1;
}

bool Camera::check(bool ok, const std::string& action) {
  if (ok) {
    return true;
  }
  const NivexaLong code = Nivexa_GetLastError(handle_);
  if (code == 0) {
    errors_(action + " failed (the library gave no error code).");
  } else {
    errors_(action + " failed: " + describeError(code) + ".");
  }
  return false;
}

}  // namespace nivexa::viewer
