// Stand-ins for the parts still being built (registry store, settings
// dialog, notification dialog, WinHTTP request): the program starts, shows
// its icon and answers its commands meanwhile.
#include <windows.h>

#include "notify/notification_dialog_win.h"
#include "service/http_request_win.h"
#include "settings/credential_store_win.h"
#include "settings/settings_dialog_win.h"

int LoadCredentials() { return 0; }
int SaveCredentials() { return 0; }

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    ::EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

void ShowNotificationDialogModally() {}

HttpReply GetFromHost(const std::wstring&, INTERNET_PORT, const std::u16string&) {
  return HttpReply{HttpReply::Status::ConnectFailed, {}};
}
