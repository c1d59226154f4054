// The orderly end of the side bar process.
#pragma once

#include <windows.h>

#include "view/shutdown_participant.h"

namespace velmora {

// Runs on WM_CLOSE of the side bar window (main thread). Clears the process-wide side bar window
// handle first, stops the participant's parts in order, ends the process with exit code 0 and
// does not come back; a second call while the first is under way (a WM_CLOSE dispatched from
// inside one of the steps) returns at once and does nothing.
void ShutdownSideBar(HWND window, IShutdownParticipant& participant);

}  // namespace velmora
