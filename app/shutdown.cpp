#include "app/shutdown.h"

#include <atomic>

#include "view/side_bar_handle.h"

namespace velmora {

void ShutdownSideBar(HWND window, IShutdownParticipant& participant) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;

  SetSideBarWindow(nullptr);  // workers stop posting from here on
  participant.RemoveForegroundHook();
  participant.StopWeatherWorker();
  ::ShowWindow(window, SW_HIDE);
  participant.ReleaseBrowsers();
  // Gives the browser processes a moment to take their windows down before ours goes.
  ::Sleep(1000);
  ::DestroyWindow(window);
  ::PostQuitMessage(0);
  ::TerminateProcess(::GetCurrentProcess(), 0);
}

}  // namespace velmora
