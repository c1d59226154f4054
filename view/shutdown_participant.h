// The parts of the side bar that its shutdown stops, in the order the shutdown calls them.
// Main thread.
#pragma once

#include <windows.h>

#include <functional>

namespace velmora {

class IShutdownParticipant {
 public:
  virtual void RemoveForegroundHook() = 0;
  virtual void StopWeatherWorker() = 0;
  // Hides and releases the current browser and any browser kept from a previous page.
  virtual void ReleaseBrowsers() = 0;

 protected:
  ~IShutdownParticipant() = default;
};

// What the side bar does when it is to end: the program's is ShutdownSideBar, which does not
// come back; tests record the call instead.
using ShutdownHandler = std::function<void(HWND window, IShutdownParticipant& participant)>;

}  // namespace velmora
