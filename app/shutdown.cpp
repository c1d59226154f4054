#include "app/shutdown.h"

#include <atomic>

namespace velmora {
namespace {

std::atomic<HWND> g_side_bar_window{nullptr};
std::atomic<bool> g_shutdown_started{false};

}  // namespace

HWND GetSideBarWindow() { return g_side_bar_window.load(); }
void SetSideBarWindow(HWND window) { g_side_bar_window.store(window); }

void ShutdownSideBar(HWND window, IShutdownParticipant& participant) {
  if (g_shutdown_started.exchange(true)) return;

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

void StopWorkerThread(HANDLE* thread, DWORD* thread_id, UINT quit_message) {
  if (*thread_id) ::PostThreadMessageW(*thread_id, quit_message, 0, 0);
  if (*thread) ::CloseHandle(*thread);
  *thread = nullptr;
  *thread_id = 0;
}

}  // namespace velmora
