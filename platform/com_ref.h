// The owner of one reference to a COM-style object: released through the object's own Release
// when the owner goes or is reset. Move-only.
#pragma once

#include <utility>

namespace velmora {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Takes over a reference the caller already holds.
  explicit ComRef(T* object) : object_(object) {}
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) reset(std::exchange(other.object_, nullptr));
    return *this;
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset(T* object = nullptr) {
    if (object_) object_->Release();
    object_ = object;
  }
  // For functions that hand out a new reference through an out-parameter.
  T** receive() {
    reset();
    return &object_;
  }
  void** receive_void() { return reinterpret_cast<void**>(receive()); }

 private:
  T* object_ = nullptr;
};

}  // namespace velmora
