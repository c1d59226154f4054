// Move-only owners for Win32 handles. Each owner type carries its close function and the value
// that means "no handle", so a file handle (INVALID_HANDLE_VALUE) and a registry key (nullptr)
// cannot be confused.
#pragma once

#include <windows.h>

#include <utility>

namespace velmora {

// Traits: `Handle` is the raw type, `Invalid()` the empty value, `Close()` releases one.
template <typename Traits>
class ScopedHandleT {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandleT() = default;
  explicit ScopedHandleT(Handle handle) : handle_(handle) {}
  ~ScopedHandleT() { reset(); }

  ScopedHandleT(const ScopedHandleT&) = delete;
  ScopedHandleT& operator=(const ScopedHandleT&) = delete;
  ScopedHandleT(ScopedHandleT&& other) noexcept : handle_(other.release()) {}
  ScopedHandleT& operator=(ScopedHandleT&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  [[nodiscard]] Handle get() const { return handle_; }
  [[nodiscard]] bool valid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // Closes the current handle (if any) and takes ownership of `handle`.
  void reset(Handle handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = handle;
  }

  // Gives up ownership without closing.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Traits::Invalid()); }

  // For APIs that fill a handle through an out-parameter; closes the current one first.
  Handle* receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {  // processes, threads, events, mutexes, jobs, mappings, tokens
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFileW, CreateToolhelp32Snapshot
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

struct ModuleTraits {  // LoadLibraryW / LoadLibraryExW
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};

struct IconTraits {  // LoadImageW(IMAGE_ICON), CreateIconIndirect
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};

using ScopedHandle = ScopedHandleT<KernelHandleTraits>;
using ScopedFileHandle = ScopedHandleT<FileHandleTraits>;
using ScopedRegKey = ScopedHandleT<RegKeyTraits>;
using ScopedLibrary = ScopedHandleT<ModuleTraits>;
using ScopedWindow = ScopedHandleT<WindowTraits>;
using ScopedIcon = ScopedHandleT<IconTraits>;

}  // namespace velmora
