#include "service/worker_loop_win.h"

#include "service/process_platform.h"
#include "service/worker_cycle.h"

DWORD WINAPI WorkerLoop(LPVOID) {
  WorkerCycleState state;
  for (;;) {
    RunWorkerCycle(TheServicePlatform(), TheShopCredentials(), TheSessionState(), TheUntreatedState(), state);
  }
}
