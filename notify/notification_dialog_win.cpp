#include "notify/notification_dialog_win.h"

#include "res/resource_ids.h"
#include "service/console_launch.h"
#include "service/console_launch_win.h"
#include "service/untreated_state.h"
#include "text/wide_text_win.h"
#include "tray/process_tray_win.h"
#include "win32/module_instance.h"
#include "win32/off_thread_work.h"

namespace {

constexpr wchar_t kNoticeFormat[] = L"Zarnik提醒：您有 %d 条新的业务请求，请点击“马上查看”处理。";
// The notice with the longest count (eleven characters) is far shorter, so
// wsprintfW, which is told no size, stays inside it.
constexpr int kNoticeCapacity = 128;

void ViewNow(HWND dialog) {
  // The requests (a log-in first when no session is held, then the key) run
  // off this thread, which keeps serving the notice; its buttons are
  // disabled meanwhile and it closes when the console has been opened.
  for (const int button : {IDOK, IDCANCEL}) ::EnableWindow(::GetDlgItem(dialog, button), FALSE);
  // By now the console's start page is open without a key: say why.
  if (OpenConsoleServingMessages() == 0) TheSystemTray().ShowBalloon(AsWide(kConsoleLoginFailedText));
  ::EndDialog(dialog, IDOK);
}

void OnNotificationCommand(HWND dialog, WORD command) {
  switch (command) {
    case IDOK:
      ViewNow(dialog);
      break;
    case IDCANCEL:
      ::EndDialog(dialog, IDCANCEL);
      break;
    default:
      break;
  }
}

}  // namespace

void ShowNotificationDialogModally() {
  // The poll's thread has no window of its own to own the notice.
  ::DialogBoxParamW(TheModuleInstance(), MAKEINTRESOURCEW(IDD_NOTIFICATION), nullptr, NotificationDialogProc, 0);
}

void InitNotificationDialog(HWND dialog) {
  // The poll that opened the notice waits inside it, so newCount holds still.
  wchar_t notice[kNoticeCapacity] = {};
  ::wsprintfW(notice, kNoticeFormat, static_cast<int>(TheUntreatedState().newCount));
  ::SetDlgItemTextW(dialog, IDC_NOTIFY_TEXT, notice);

  RECT frame = {};
  ::GetWindowRect(dialog, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work = {};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
    work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  // Flush with the corner beside the taskbar, above other programs' windows
  // although the notice has no owner.
  ::SetWindowPos(dialog, HWND_TOPMOST, work.right - width, work.bottom - height, 0, 0, SWP_NOSIZE);
}

INT_PTR CALLBACK NotificationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitNotificationDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      // While the console's requests are out, Later, Esc and a second View
      // now are not carried out.
      if (!AwaitingOffThreadWork()) OnNotificationCommand(dialog, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}
