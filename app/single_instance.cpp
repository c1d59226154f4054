#include "app/single_instance.h"

#include <windows.h>

#include "view/messages.h"

namespace velmora {

bool IsAnotherInstanceRunning() {
  // Never closed: the mutex marks this process as the instance until it ends.
  HANDLE mutex = ::CreateMutexW(nullptr, /*bInitialOwner=*/TRUE, kInstanceMutexName);
  if (!mutex || ::GetLastError() != ERROR_ALREADY_EXISTS) return false;

  // The running instance may still be starting (or be the promotion prompt): no window yet
  // is not an error, this process simply ends.
  if (HWND running = ::FindWindowExW(nullptr, nullptr, kSideBarWindowClass, nullptr)) {
    ::PostMessageW(running, WM_SHOW_INSTANCE, 0, 0);
  }
  return true;
}

}  // namespace velmora
