#include "platform/worker_thread.h"

namespace velmora {

void StopWorkerThread(HANDLE* thread, DWORD* thread_id, UINT quit_message) {
  if (*thread_id) ::PostThreadMessageW(*thread_id, quit_message, 0, 0);
  if (*thread) ::CloseHandle(*thread);
  *thread = nullptr;
  *thread_id = 0;
}

}  // namespace velmora
