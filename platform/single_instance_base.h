// Process-wide managers: one object per process, made by the first caller of Instance() and kept
// until the process ends (never destroyed, so that workers may still use it during exit).
#pragma once

namespace velmora {

template <typename T>
class CSingleInstanceBase {
 public:
  // Thread-safe: concurrent first callers wait for the one that constructs.
  static T& Instance() {
    static T* const instance = new T();
    return *instance;
  }

  CSingleInstanceBase(const CSingleInstanceBase&) = delete;
  CSingleInstanceBase& operator=(const CSingleInstanceBase&) = delete;

 protected:
  CSingleInstanceBase() = default;
  virtual ~CSingleInstanceBase() = default;
};

}  // namespace velmora
