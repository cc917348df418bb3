#include "service/worker_loop_win.h"

#include "app/service_platform_win.h"
#include "service/worker_cycle.h"

DWORD WINAPI WorkerLoop(LPVOID) {
  LoginFailureStreak streak;
  for (;;) {
    RunWorkerCycle(TheServicePlatform(), TheShopCredentials(), TheSessionState(), TheUntreatedState(), streak);
  }
}
