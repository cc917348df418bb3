#include "app/startup_steps_win.h"

#include "service/session_state.h"
#include "service/untreated_state.h"
#include "service/worker_loop_win.h"
#include "settings/credential_store_win.h"
#include "win32/handles.h"

void ResetServiceState() {
  UntreatedState& untreated = TheUntreatedState();
  untreated.web.count = 0;
  untreated.liuyan.count = 0;
  untreated.tousu.count = 0;
  LoadCredentials();
  ClearSessionIds(TheSessionState());
}

void StartWorkerThread(HWND mainWindow) {
  // The thread is never told to stop or waited for: it ends with the process.
  const UniqueKernelHandle thread(::CreateThread(nullptr, 0, WorkerLoop, mainWindow, 0, nullptr));
}
