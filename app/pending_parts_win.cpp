// Stand-ins for the steps that the service client and settings work will fill
// in: the program starts, shows its icon and answers its commands meanwhile.
#include <windows.h>

#include "app/startup_steps_win.h"
#include "service/worker_loop_win.h"
#include "settings/credential_store_win.h"

int LoadCredentials() { return 0; }

void ResetServiceState() { LoadCredentials(); }

DWORD WINAPI WorkerLoop(LPVOID) {
  for (;;) ::Sleep(30000);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    ::EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

int OpenConsole() { return 0; }
