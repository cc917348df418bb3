// The tray window: it carries the icon's messages, the shell's
// "TaskbarCreated" and the timers, and shows the context menu.
#include "tray/system_tray_win.h"

#include <windowsx.h>

#include "res/resource_ids.h"
#include "tray/tray_icon_images_win.h"
#include "tray/tray_shared_win.h"
#include "win32/handles.h"

CSystemTray* CSystemTray::activeTray = nullptr;
int CSystemTray::tooltipCapacity = 64;
const UINT CSystemTray::taskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");

namespace {

BOOL BalloonsSupportedBySystem() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!::GetVersionExW(&version)) return FALSE;
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

}  // namespace

CSystemTray::CSystemTray() {
  activeTray = this;
  ::ZeroMemory(&iconData, sizeof(iconData));
  senderLock.reset(::CreateMutexW(nullptr, FALSE, nullptr));
  balloonsSupported = BalloonsSupportedBySystem();
}

CSystemTray::~CSystemTray() {
  Teardown();
  if (activeTray == this) activeTray = nullptr;
}

void CSystemTray::Teardown() {
  RemoveTrayIcon();
  if (trayWindow) {
    // Destroying the window also ends a running animation timer.
    ::DestroyWindow(trayWindow);
    trayWindow = nullptr;
    animationTimer = 0;
  }
  animationFrames.clear();
  animationFrames.shrink_to_fit();
  savedIcon = nullptr;
  badgeIcon.reset();
  plainIcon.reset();
}

BOOL CSystemTray::CreateTrayIcon(HINSTANCE moduleInstance, HWND target, HICON icon) {
  enabled = LOBYTE(LOWORD(::GetVersion())) >= 4;
  if (!enabled) return FALSE;
  tooltipCapacity = 128;
  instance = moduleInstance;

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = TrayWindowProc;
  windowClass.hInstance = moduleInstance;
  windowClass.lpszClassName = kTrayWindowClass;
  ::RegisterClassExW(&windowClass);

  trayWindow = ::CreateWindowExW(0, kTrayWindowClass, L"", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, moduleInstance, nullptr);
  // Started elevated, the program would not hear the shell (which runs at
  // the user's level) re-create the taskbar: let that one message through.
  ::ChangeWindowMessageFilterEx(trayWindow, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  // Without an icon of the caller's, icon 107 at the size the tray shows.
  iconSize = TrayIconSize(trayWindow);
  plainIcon = LoadIconAtSize(moduleInstance, IDI_MORVANE, iconSize);
  if (!icon) icon = plainIcon.get();

  const BOOL added = AddIcon(target, icon);
  if (!added) StartAddRetry();
  return added;
}

void CSystemTray::PrepareMenu(HMENU) {}

LRESULT CSystemTray::HandleTrayMessage(WPARAM wParam, LPARAM lParam) {
  if (wParam != kTrayIconId) return 0;
  HWND recordWindow;
  {
    std::lock_guard<std::mutex> guard(recordLock);
    recordWindow = iconData.hWnd;
  }
  HWND receiver = targetWindow ? targetWindow : recordWindow;
  if (!receiver) return 0;

  switch (LOWORD(lParam)) {
    case WM_RBUTTONUP: {
      UniqueMenu menu(::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
      if (!menu) return 0;
      HMENU popup = ::GetSubMenu(menu.get(), 0);
      if (!popup) return 0;
      ::SetMenuDefaultItem(popup, defaultMenuItem, defaultItemByPosition);
      PrepareMenu(popup);
      POINT cursor = {};
      ::GetCursorPos(&cursor);
      // Without the foreground switch the menu would not close when the user
      // clicks elsewhere, and the WM_NULL lets a second click open it again.
      ::SetForegroundWindow(recordWindow);
      ::TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, receiver, nullptr);
      ::PostMessageW(recordWindow, WM_NULL, 0, 0);
      return 1;
    }
    case WM_LBUTTONDBLCLK: {
      ::SetForegroundWindow(recordWindow);
      UINT command = defaultMenuItem;
      if (defaultItemByPosition) {
        UniqueMenu menu(::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
        if (!menu) return 0;
        HMENU popup = ::GetSubMenu(menu.get(), 0);
        if (!popup) return 0;
        command = ::GetMenuItemID(popup, static_cast<int>(defaultMenuItem));
      }
      ::PostMessageW(receiver, WM_COMMAND, command, 0);
      return 1;
    }
    default:
      return 1;
  }
}

LRESULT CALLBACK CSystemTray::TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CSystemTray* tray = activeTray;
  if (!tray || window != tray->trayWindow) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == taskbarCreatedMessage) {
    ::PostMessageW(window, kReAddMessage, 0, 0);
    return 0;
  }
  if (message == kReAddMessage) {
    // The shell may come back at another DPI.
    tray->FitIconsToDpi();
    tray->ReAddAfterTaskbarCreated();
    return 0;
  }
  if (message == kWaitingCountMessage) {
    tray->ShowRestingIcon(static_cast<int>(wParam));
    return 0;
  }
  if (message == kDpiChangedMessage || message == WM_DISPLAYCHANGE) {
    tray->FitIconsToDpi();
    return 0;
  }
  if (message == WM_TIMER && wParam == kAnimationTimerId) return tray->OnAnimationTimer(wParam);
  if (message == WM_TIMER && wParam == kAddRetryTimerId) {
    tray->OnAddRetryTimer();
    return 0;
  }
  if (message == kTrayCallbackMessage) return tray->HandleTrayMessage(wParam, lParam);
  return ::DefWindowProcW(window, message, wParam, lParam);
}
