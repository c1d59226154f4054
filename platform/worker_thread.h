// Ending a worker thread that runs a thread message loop.
#pragma once

#include <windows.h>

namespace velmora {

// Tells a worker thread to leave its loop (posts `quit_message` to it), closes its handle and
// clears the caller's copies. Nothing for a thread that is not running. Any thread.
void StopWorkerThread(HANDLE* thread, DWORD* thread_id, UINT quit_message);

}  // namespace velmora
