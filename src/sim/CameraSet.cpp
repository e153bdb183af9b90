#include "sim/CameraSet.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace nivexa::sim {
namespace {

// Instance names are unique in the process, so that the paths of cameras on different sets (each
// behind its own backend) never collide.
std::atomic<uint32_t> nextInstance{1};

}  // namespace

std::shared_ptr<Camera> CameraSet::add(const CameraOptions& options) {
  auto camera = std::make_shared<Camera>(options);
  {
    std::lock_guard lock(mutex_);
    char instance[32];
    std::snprintf(instance, sizeof instance, "vcam%04u", nextInstance++);
    entries_.push_back({instance, camera});
  }
  std::lock_guard lock(listenerMutex_);
  for (auto& [id, listener] : listeners_) {
    listener();
  }
  return camera;
}

void CameraSet::remove(const std::shared_ptr<Camera>& camera) {
  // A test whose set-up failed before it made its camera still tears down.
  if (!camera) {
    return;
  }
  camera->unplug();
  {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.camera == camera; });
  }
  std::lock_guard lock(listenerMutex_);
  for (auto& [id, listener] : listeners_) {
    listener();
  }
}

std::vector<CameraSet::Entry> CameraSet::entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

int CameraSet::addListener(std::function<void()> listener) {
  std::lock_guard lock(listenerMutex_);
  listeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void CameraSet::removeListener(int id) {
  std::lock_guard lock(listenerMutex_);
  std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

CameraSet& cameras() {
  // Never destroyed: a host's capture threads may still read a camera while the process exits.
  static auto* set = new CameraSet;
  return *set;
}

std::shared_ptr<Camera> createCamera(const CameraOptions& options) {
  return cameras().add(options);
}

std::vector<std::shared_ptr<Camera>> createCameras(const std::vector<CameraOptions>& options) {
  std::vector<std::shared_ptr<Camera>> made;
  for (const auto& o : options) {
    made.push_back(createCamera(o));
  }
  return made;
}

void removeCamera(const std::shared_ptr<Camera>& camera) {
  cameras().remove(camera);
}

}  // namespace nivexa::sim
