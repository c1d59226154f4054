#include "app/single_instance.h"

#include <windows.h>

#include "platform/process_ids.h"

namespace velmora {

bool IsAnotherInstanceRunning(const wchar_t* mutex_name, const wchar_t* window_class) {
  // Never closed: the mutex marks this process as the instance until it ends.
  HANDLE mutex = ::CreateMutexW(nullptr, /*bInitialOwner=*/TRUE, mutex_name);
  if (!mutex || ::GetLastError() != ERROR_ALREADY_EXISTS) return false;

  // The running instance may still be starting (or be the promotion prompt): no window yet
  // is not an error, this process simply ends.
  if (HWND running = ::FindWindowExW(nullptr, nullptr, window_class, nullptr)) {
    ::PostMessageW(running, WM_SHOW_INSTANCE, 0, 0);
  }
  return true;
}

}  // namespace velmora
