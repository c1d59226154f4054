// A value worked out on first use and kept until the process ends.
#pragma once

#include <windows.h>

#include <new>
#include <type_traits>

namespace velmora {

// Holds what the first Get() makes. Concurrent first callers wait until it is made; every caller
// then reads the same object. The object is built in place and never destroyed, so a thread still
// asking while the process exits reads a live object. Constant-initialised, so a namespace-scope
// instance is ready before any code runs. Any thread; nothing here throws.
template <typename T>
class OnceValue {
  static_assert(std::is_nothrow_default_constructible_v<T> && std::is_nothrow_move_constructible_v<T>,
                "a failed make keeps a default value, and keeping one must not fail");

 public:
  constexpr OnceValue() noexcept = default;
  OnceValue(const OnceValue&) = delete;
  OnceValue& operator=(const OnceValue&) = delete;

  // The kept value. The first call keeps what `make()` returns; when `make` throws (out of
  // memory), a default T is kept instead and the waiters are released. Later calls do not call
  // `make`.
  template <typename Make>
  const T& Get(Make make) noexcept {
    Maker<Make> maker{this, &make};
    // Answers FALSE only when the callback does, and ours never does.
    ::InitOnceExecuteOnce(&once_, &Run<Make>, &maker, /*Context=*/nullptr);
    return *std::launder(reinterpret_cast<const T*>(storage_));
  }

 private:
  template <typename Make>
  struct Maker {
    OnceValue* self;
    Make* make;
  };

  // Called by the system, so no exception may leave it.
  template <typename Make>
  static BOOL CALLBACK Run(PINIT_ONCE /*once*/, PVOID parameter, PVOID* /*context*/) noexcept {
    const auto* maker = static_cast<const Maker<Make>*>(parameter);
    try {
      new (maker->self->storage_) T((*maker->make)());
    } catch (...) {
      new (maker->self->storage_) T();
    }
    return TRUE;
  }

  INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
  alignas(T) unsigned char storage_[sizeof(T)] = {};
};

}  // namespace velmora
