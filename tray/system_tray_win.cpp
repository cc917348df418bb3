#include "tray/system_tray_win.h"

#include <windowsx.h>

#include <ctime>
#include <new>

#include "res/resource_ids.h"
#include "win32/handles.h"

CSystemTray* CSystemTray::activeTray = nullptr;
int CSystemTray::tooltipCapacity = 64;
const UINT CSystemTray::taskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");

namespace {

constexpr UINT kCreationFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

std::int64_t SecondsNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

// Copies at most capacity - 1 characters and zero-fills the rest of the
// field, so the last element always stays the terminator.
template <size_t N>
void CopyIntoField(wchar_t (&field)[N], const wchar_t* text, size_t capacity) {
  if (capacity > N) capacity = N;
  size_t i = 0;
  for (; text && i + 1 < capacity && text[i] != L'\0'; ++i) field[i] = text[i];
  for (; i + 1 < capacity; ++i) field[i] = L'\0';
  field[capacity - 1] = L'\0';
}

// The shell asks for the re-add through the tray window; it is carried out
// from the message loop, never inside another thread's shell call.
constexpr UINT kReAddMessage = WM_APP + 11;

// One turn at talking to the shell. While another thread holds the turn, the
// shell may be waiting for this thread to answer a message: those are
// handled while waiting.
class SenderTurn {
 public:
  explicit SenderTurn(HANDLE mutex) : mutex_(mutex) {
    while (::MsgWaitForMultipleObjectsEx(1, &mutex_, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE) ==
           WAIT_OBJECT_0 + 1) {
      MSG message;
      ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
  ~SenderTurn() { ::ReleaseMutex(mutex_); }
  SenderTurn(const SenderTurn&) = delete;
  SenderTurn& operator=(const SenderTurn&) = delete;

 private:
  HANDLE mutex_;
};

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
  animationFrames.clear();
  if (trayWindow) {
    // Destroying the window also ends a running animation timer.
    ::DestroyWindow(trayWindow);
    trayWindow = nullptr;
    animationTimer = 0;
  }
  animationFrames.shrink_to_fit();
}

BOOL CSystemTray::SendToShell(DWORD message, NOTIFYICONDATAW copy) { return ::Shell_NotifyIconW(message, &copy); }

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

  SenderTurn turn(senderLock.get());
  std::unique_lock<std::mutex> guard(recordLock);
  iconData.hWnd = target ? target : trayWindow;
  iconData.cbSize = kTrayRecordSize;
  iconData.uID = kTrayIconId;
  iconData.hIcon = icon;
  iconData.uFlags = kCreationFlags;
  iconData.uCallbackMessage = kTrayCallbackMessage;
  CopyIntoField(iconData.szTip, kProgramName, tooltipCapacity);
  targetWindow = iconData.hWnd;
  hidden = FALSE;
  const NOTIFYICONDATAW copy = iconData;
  guard.unlock();
  const BOOL added = SendToShell(NIM_ADD, copy);
  guard.lock();
  removed = hidden = !added;
  return added;
}

BOOL CSystemTray::SetIconImage(HICON icon) {
  if (!enabled) return FALSE;
  SenderTurn turn(senderLock.get());
  NOTIFYICONDATAW copy;
  {
    std::lock_guard<std::mutex> guard(recordLock);
    iconData.uFlags = NIF_ICON;
    iconData.hIcon = icon;
    if (hidden) return TRUE;
    copy = iconData;
  }
  return SendToShell(NIM_MODIFY, copy);
}

HICON CSystemTray::GetIconImage() {
  if (!enabled) return nullptr;
  std::lock_guard<std::mutex> guard(recordLock);
  return iconData.hIcon;
}

BOOL CSystemTray::SetTooltipText(const wchar_t* text) {
  if (!enabled) return FALSE;
  SenderTurn turn(senderLock.get());
  NOTIFYICONDATAW copy;
  {
    std::lock_guard<std::mutex> guard(recordLock);
    iconData.uFlags = NIF_TIP;
    CopyIntoField(iconData.szTip, text, tooltipCapacity);
    if (hidden) return TRUE;
    copy = iconData;
  }
  return SendToShell(NIM_MODIFY, copy);
}

BOOL CSystemTray::ShowBalloon(const wchar_t* text) {
  if (!balloonsSupported) return FALSE;
  SenderTurn turn(senderLock.get());
  NOTIFYICONDATAW copy;
  {
    std::lock_guard<std::mutex> guard(recordLock);
    iconData.uFlags = NIF_INFO;
    CopyIntoField(iconData.szInfo, text, ARRAYSIZE(iconData.szInfo));
    CopyIntoField(iconData.szInfoTitle, kProgramName, ARRAYSIZE(iconData.szInfoTitle));
    iconData.dwInfoFlags = 0;
    iconData.uTimeout = kBalloonTimeout;
    copy = iconData;
    // Emptied at once so that a later tooltip or icon update cannot show the
    // balloon again.
    iconData.szInfo[0] = L'\0';
  }
  return SendToShell(NIM_MODIFY, copy);
}

BOOL CSystemTray::RemoveTrayIcon() {
  if (!enabled) return TRUE;
  SenderTurn turn(senderLock.get());
  std::unique_lock<std::mutex> guard(recordLock);
  if (removed) return TRUE;
  iconData.uFlags = 0;
  const NOTIFYICONDATAW copy = iconData;
  guard.unlock();
  const BOOL deleted = SendToShell(NIM_DELETE, copy);
  guard.lock();
  if (deleted) hidden = removed = TRUE;
  return removed;
}

void CSystemTray::ReAddAfterTaskbarCreated() {
  SenderTurn turn(senderLock.get());
  std::unique_lock<std::mutex> guard(recordLock);
  // Only an icon that is meant to be shown comes back: never one that was
  // removed, nor one whose first add failed.
  if (!enabled || removed) return;
  iconData.uFlags = kCreationFlags;
  const NOTIFYICONDATAW copy = iconData;
  guard.unlock();
  BOOL shown = SendToShell(NIM_ADD, copy);
  // A shell that still holds the icon refuses the add; it takes the update.
  if (!shown) shown = SendToShell(NIM_MODIFY, copy);
  guard.lock();
  hidden = !shown;
}

NOTIFYICONDATAW CSystemTray::RecordSnapshot() {
  std::lock_guard<std::mutex> guard(recordLock);
  return iconData;
}

BOOL CSystemTray::LoadAnimationFrames() {
  animationFrames.clear();
  try {
    animationFrames.reserve(4);
  } catch (const std::bad_alloc&) {
    animationFrames.clear();
    return FALSE;
  }
  for (int id : {IDI_SPIN_0, IDI_SPIN_1, IDI_SPIN_2, IDI_SPIN_3}) {
    // Shared icon handles: never destroyed.
    animationFrames.push_back(::LoadIconW(instance, MAKEINTRESOURCEW(id)));
  }
  return TRUE;
}

BOOL CSystemTray::StartAnimation() {
  if (animationFrames.empty()) return FALSE;
  StopAnimation();
  frameIndex = 0;
  animationStart = SecondsNow();
  animationSeconds = kAnimationSeconds;
  savedIcon = GetIconImage();
  animationTimer = ::SetTimer(trayWindow, kAnimationTimerId, kAnimationTimerPeriod, nullptr);
  return animationTimer != 0;
}

BOOL CSystemTray::AdvanceAnimation() {
  if (animationFrames.empty()) return FALSE;
  if (++frameIndex >= static_cast<int>(animationFrames.size())) frameIndex = 0;
  return SetIconImage(animationFrames[frameIndex]);
}

BOOL CSystemTray::StopAnimation() {
  BOOL killed = FALSE;
  if (animationTimer != 0) killed = ::KillTimer(trayWindow, animationTimer);
  animationTimer = 0;
  if (savedIcon) SetIconImage(savedIcon);
  savedIcon = nullptr;
  return killed;
}

LRESULT CSystemTray::OnAnimationTimer(UINT_PTR timerId) {
  if (timerId != animationTimer) return 0;
  const std::int64_t elapsed = SecondsNow() - animationStart;
  if (animationSeconds > 0 && elapsed > animationSeconds) {
    StopAnimation();
  } else {
    AdvanceAnimation();
  }
  return 0;
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
    tray->ReAddAfterTaskbarCreated();
    return 0;
  }
  if (message == WM_TIMER && wParam == kAnimationTimerId) return tray->OnAnimationTimer(wParam);
  if (message == kTrayCallbackMessage) return tray->HandleTrayMessage(wParam, lParam);
  return ::DefWindowProcW(window, message, wParam, lParam);
}
