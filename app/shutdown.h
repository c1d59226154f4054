// The orderly end of the side bar process and the process-wide side bar window handle that
// background code posts to.
#pragma once

#include <windows.h>

namespace velmora {

// The side bar window, or null before it exists and from the start of shutdown on. Any thread.
HWND GetSideBarWindow();
void SetSideBarWindow(HWND window);

// The parts of the side bar that shutdown stops, in the order it calls them.
class IShutdownParticipant {
 public:
  virtual void RemoveForegroundHook() = 0;
  virtual void StopWeatherWorker() = 0;
  // Hides and releases the current browser and any browser kept from a previous page.
  virtual void ReleaseBrowsers() = 0;

 protected:
  ~IShutdownParticipant() = default;
};

// Runs on WM_CLOSE of the side bar window (main thread). Ends the process with exit code 0 and
// does not come back; a second call while the first is under way (a WM_CLOSE dispatched from
// inside one of the steps) returns at once and does nothing.
void ShutdownSideBar(HWND window, IShutdownParticipant& participant);

// Tells a worker thread to leave its loop, closes its handle and clears the caller's copies.
void StopWorkerThread(HANDLE* thread, DWORD* thread_id, UINT quit_message);

}  // namespace velmora
