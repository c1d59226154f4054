// A window handle that other threads post to and that its owner can withdraw at once: after
// Set(nullptr) no later Post reaches the window. Any thread.
#pragma once

#include <windows.h>

#include <atomic>

namespace velmora {

class CWindowSlot {
 public:
  HWND Get() const { return window_.load(); }
  void Set(HWND window) { window_.store(window); }

  // PostMessageW to the window in the slot; false when the slot is empty or the post failed.
  bool Post(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    const HWND window = Get();
    return window && ::PostMessageW(window, message, wparam, lparam);
  }

 private:
  std::atomic<HWND> window_{nullptr};
};

}  // namespace velmora
