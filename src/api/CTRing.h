#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/CriticalSection.h"

namespace nivexa::api {

// A circular, doubly linked list with a cursor (the head), keyed by the payload's `handle`.
// Lookups start at the head and leave the found node as the new head, so the handle used last
// is found first next time; a failed lookup goes once round and leaves the former last node as
// the head. Every operation takes the ring's lock and releases it before returning.
template <typename T>
class CTRing {
 public:
  CTRing() = default;
  CTRing(const CTRing&) = delete;
  CTRing& operator=(const CTRing&) = delete;
  // The nodes go; the caller decides what becomes of payloads still inside (see CSdkChain).
  ~CTRing() {
    while (head_ != nullptr) {
      unlinkHead();
    }
  }

  // Links the new node in just before the head and makes it the head.
  virtual void insert(T data) {  // 1
    platform::CriticalSectionGuard guard(lock_);
    insertLocked(std::move(data));
  }

  // A copy of the payload with this handle, rotating the ring as described above.
  std::optional<T> lookup(int32_t handle) {
    platform::CriticalSectionGuard guard(lock_);
    if (!lookupLocked(handle)) {
      return std::nullopt;
    }
    return head_->data;
  }

  // Removes the node with this handle and hands its payload back, so that the caller can let
  // go of it outside the lock.
  std::optional<T> remove(int32_t handle) {
    platform::CriticalSectionGuard guard(lock_);
    if (!lookupLocked(handle)) {
      return std::nullopt;
    }
    return unlinkHead();
  }

  // Draws keys from `next` until one is non-zero and not in the ring, then inserts the payload
  // made for it, all under one hold of the lock so that no other insert can take the same key.
  template <typename Draw, typename Make>
  int32_t insertUnique(Draw next, Make make) {
    platform::CriticalSectionGuard guard(lock_);
    int32_t handle = 0;
    do {
      handle = next(count_);
    } while (handle == 0 || containsLocked(handle));
    insertLocked(make(handle));
    return handle;
  }

  int32_t count() const {
    platform::CriticalSectionGuard guard(lock_);
    return count_;
  }

  // The handle at the cursor, for inspection; nullopt when empty.
  std::optional<int32_t> headHandle() const {
    platform::CriticalSectionGuard guard(lock_);
    return head_ == nullptr ? std::nullopt : std::optional<int32_t>(head_->data.handle);
  }

  // Takes every payload out, head first, leaving the ring empty.
  template <typename Sink>
  void drain(Sink sink) {
    platform::CriticalSectionGuard guard(lock_);
    while (head_ != nullptr) {
      sink(unlinkHead());
    }
  }

 private:
  struct Node {
    T data;
    Node* prev;
    Node* next;
  };

  void insertLocked(T data) {
    Node* node = new Node{std::move(data), nullptr, nullptr};
    if (head_ == nullptr) {
      node->prev = node;
      node->next = node;
      count_ = 1;
    } else {
      ++count_;
      node->prev = head_->prev;
      node->next = head_;
      head_->prev->next = node;
      head_->prev = node;
    }
    head_ = node;
  }

  bool lookupLocked(int32_t handle) {
    if (head_ == nullptr) {
      return false;
    }
    const int32_t last = head_->prev->data.handle;
    while (head_->data.handle != handle) {
      if (head_->data.handle == last) {
        return false;
      }
      head_ = head_->next;
    }
    return true;
  }

  bool containsLocked(int32_t handle) const {
    if (head_ == nullptr) {
      return false;
    }
    const Node* node = head_;
    do {
      if (node->data.handle == handle) {
        return true;
      }
      node = node->next;
    } while (node != head_);
    return false;
  }

  T unlinkHead() {
    Node* node = head_;
    if (node->next == node) {
      head_ = nullptr;
      count_ = 0;
    } else {
      --count_;
      node->prev->next = node->next;
      node->next->prev = node->prev;
      head_ = node->next;
    }
    T data = std::move(node->data);
    delete node;
    return data;
  }

  Node* head_ = nullptr;
  int32_t count_ = 0;
  mutable platform::CriticalSection lock_;
};

}  // namespace nivexa::api
