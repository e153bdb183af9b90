#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Camera.h"
#include "sim/CameraOptions.h"

namespace nivexa::sim {

// The virtual cameras attached to one (virtual) USB bus. Each gets an instance name of its own,
// unique in the process.
class CameraSet {
 public:
  struct Entry {
    std::string instance;
    std::shared_ptr<Camera> camera;
  };

  std::shared_ptr<Camera> add(const CameraOptions& options);
  // Detaches the camera for good (as opposed to unplugging it, which can be undone).
  void remove(const std::shared_ptr<Camera>& camera);
  std::vector<Entry> entries() const;
  // Called after a camera was added or removed.
  int addListener(std::function<void()> listener);
  void removeListener(int id);

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::mutex listenerMutex_;
  std::vector<std::pair<int, std::function<void()>>> listeners_;
  int nextListener_ = 1;
};

// The process-wide set that the driver's virtual-camera backend serves.
CameraSet& cameras();

// Creates a camera on the process-wide set.
std::shared_ptr<Camera> createCamera(const CameraOptions& options = {});
std::vector<std::shared_ptr<Camera>> createCameras(const std::vector<CameraOptions>& options);
void removeCamera(const std::shared_ptr<Camera>& camera);

}  // namespace nivexa::sim
