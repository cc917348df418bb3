#include "app/main_window_win.h"

#include "app/service_platform_win.h"
#include "app/startup_steps_win.h"
#include "res/resource_ids.h"
#include "service/console_launch.h"
#include "service/console_launch_win.h"
#include "service/process_platform.h"
#include "text/wide_text_win.h"
#include "tray/process_tray_win.h"
#include "win32/module_instance.h"
#include "win32/off_thread_work.h"

namespace {

HWND mainWindow = nullptr;
wchar_t mainWindowTitle[kResourceTextCapacity];
wchar_t mainWindowClass[kResourceTextCapacity];

constexpr wchar_t kSettingsDialogCaption[] = L"Morvane设置";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kPaintTextCapacity = 100;

void ShowSettings(HWND owner) {
  // The dialog is modal, but the tray menu stays usable while it is open:
  // bring up the open one instead of stacking a second.
  HWND open = ::FindWindowExW(nullptr, nullptr, kDialogClass, kSettingsDialogCaption);
  if (open) {
    ::ShowWindow(open, SW_SHOWNORMAL);
    return;
  }
  if (AwaitingOffThreadWork()) return;
  ::DialogBoxParamW(TheModuleInstance(), MAKEINTRESOURCEW(IDD_SETTINGS), owner, SettingsDialogProc, 0);
}

void PaintMainWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  RECT client;
  ::GetClientRect(window, &client);
  wchar_t text[kPaintTextCapacity] = {};
  ::LoadStringW(TheModuleInstance(), IDS_PAINT_TEXT, text, kPaintTextCapacity);
  ::DrawTextW(dc, text, -1, &client, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_WORDBREAK);
  ::EndPaint(window, &paint);
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDM_ABOUT:
      // A dialog opened over an awaited reply would hold up its wait.
      if (!AwaitingOffThreadWork())
        ::DialogBoxParamW(TheModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUT), window, AboutDialogProc, 0);
      return 0;
    case IDM_EXIT:
      ::DestroyWindow(window);
      return 0;
    case IDM_SPIN:
      TheSystemTray().LoadAnimationFrames();
      TheSystemTray().StartAnimation();
      return 0;
    case IDM_SETTINGS:
      ShowSettings(window);
      return 0;
    case IDM_OPEN_CONSOLE:
      if (OpenConsoleServingMessages() == 0) TheSystemTray().ShowBalloon(AsWide(kConsoleLoginFailedText));
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

HWND TheMainWindow() { return mainWindow; }

void LoadMainWindowTexts(HINSTANCE instance) {
  ::LoadStringW(instance, IDS_APP_TITLE, mainWindowTitle, kResourceTextCapacity);
  ::LoadStringW(instance, IDS_WINDOW_CLASS, mainWindowClass, kResourceTextCapacity);
}

void RegisterMainClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_MORVANE));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
  windowClass.lpszClassName = mainWindowClass;
  windowClass.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_MORVANE));
  ::RegisterClassExW(&windowClass);
}

BOOL StartApplication(HINSTANCE instance) {
  KeepModuleInstance(instance);
  // A tool window that is never shown: the user sees only the tray icon.
  mainWindow = ::CreateWindowExW(WS_EX_TOOLWINDOW, mainWindowClass, mainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (!mainWindow) return FALSE;
  // A taskbar that is not up yet at log-on refuses the icon: the tray adds it
  // as soon as the shell takes it, and the shop is served meanwhile.
  // The tray loads icon 107 itself, at the size it shows it.
  TheSystemTray().CreateTrayIcon(instance, mainWindow, nullptr);
  if (!OpenHttpSession()) return FALSE;
  UseServicePlatform(TheWin32ServicePlatform());
  ResetServiceState();
  StartWorkerThread(mainWindow);
  return TRUE;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommand(window, message, wParam, lParam);
    case kTrayCallbackMessage:
      return TheSystemTray().HandleTrayMessage(wParam, lParam);
    case WM_PAINT:
      PaintMainWindow(window);
      return 0;
    case WM_ENDSESSION:
      // Log-off, shut-down, or an installer that closes programs: end as Exit
      // does, with the icon removed, before the session ends the process.
      if (wParam) ::DestroyWindow(window);
      return 0;
    case WM_POWERBROADCAST:
      // Sent once on every resume, whether or not a user is at the machine.
      if (wParam == PBT_APMRESUMEAUTOMATIC) NoteSystemResumed();
      return TRUE;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}
