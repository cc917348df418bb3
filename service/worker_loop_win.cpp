#include "service/worker_loop_win.h"

#include "service/process_platform.h"
#include "service/worker_cycle.h"
#include "win32/com_apartment.h"

DWORD WINAPI WorkerLoop(LPVOID) {
  // The notice's View now opens the browser from this thread.
  const ComApartment com;
  WorkerCycleState state;
  for (;;) {
    RunWorkerCycle(TheServicePlatform(), TheShopCredentials(), TheSessionState(), TheUntreatedState(), state);
  }
}
