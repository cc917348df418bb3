#include "app/startup_steps_win.h"

#include "service/worker_loop_win.h"

void StartWorkerThread(HWND mainWindow) {
  // The thread is never told to stop or waited for: it ends with the process.
  HANDLE thread = ::CreateThread(nullptr, 0, WorkerLoop, mainWindow, 0, nullptr);
  if (thread) ::CloseHandle(thread);
}
