#include "tray/system_tray_win.h"

#include <windowsx.h>

#include <ctime>
#include <new>

#include "res/resource_ids.h"
#include "tray/tray_icon_images_win.h"
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

// At log-on the taskbar often comes up after the Run entries and refuses the
// first add: it is tried again every few seconds for the first minutes.
constexpr UINT_PTR kAddRetryTimerId = 4568;
constexpr UINT kAddRetryPeriod = 5000;  // ms
constexpr std::int64_t kAddRetrySeconds = 300;

// The worker's count, handed to the tray window's thread, which owns the
// icons.
constexpr UINT kWaitingCountMessage = WM_APP + 12;
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later

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
  // Without an icon of the caller's, icon 107 at the size the tray shows.
  iconSize = TrayIconSize(trayWindow);
  plainIcon = LoadIconAtSize(moduleInstance, IDI_MORVANE, iconSize);
  if (!icon) icon = plainIcon.get();

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
  // An icon the shell refused is still meant to be shown: updates are kept
  // in the record until the shell takes it.
  hidden = !added;
  removed = FALSE;
  if (!added) {
    addRetryStart = SecondsNow();
    ::SetTimer(trayWindow, kAddRetryTimerId, kAddRetryPeriod, nullptr);
  }
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
  // An icon the shell never took is gone once the delete is asked for (the
  // shell may hold it after an add that timed out), and must not come back.
  const BOOL neverTaken = hidden;
  guard.unlock();
  const BOOL deleted = SendToShell(NIM_DELETE, copy);
  guard.lock();
  if (deleted || neverTaken) hidden = removed = TRUE;
  return removed;
}

void CSystemTray::ReAddAfterTaskbarCreated() {
  SenderTurn turn(senderLock.get());
  std::unique_lock<std::mutex> guard(recordLock);
  // Every icon that is meant to be shown comes back, one whose first add
  // failed too; never one that was removed.
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

void CSystemTray::OnAddRetryTimer() {
  ReAddAfterTaskbarCreated();
  bool hiddenStill;
  {
    std::lock_guard<std::mutex> guard(recordLock);
    hiddenStill = hidden && !removed;
  }
  if (!hiddenStill || SecondsNow() - addRetryStart >= kAddRetrySeconds) ::KillTimer(trayWindow, kAddRetryTimerId);
}

NOTIFYICONDATAW CSystemTray::RecordSnapshot() {
  std::lock_guard<std::mutex> guard(recordLock);
  return iconData;
}

BOOL CSystemTray::LoadAnimationFrames() {
  // Frames already at the tray's size stay: one of them may be on show.
  if (animationFrames.size() == 4) return TRUE;
  animationFrames.clear();
  try {
    animationFrames.reserve(4);
  } catch (const std::bad_alloc&) {
    animationFrames.clear();
    return FALSE;
  }
  for (int id : {IDI_SPIN_0, IDI_SPIN_1, IDI_SPIN_2, IDI_SPIN_3})
    animationFrames.push_back(LoadIconAtSize(instance, id, iconSize));
  return TRUE;
}

BOOL CSystemTray::ShowWaitingCount(int count) {
  if (postedCount.exchange(count) == count) return TRUE;
  return ::PostMessageW(trayWindow, kWaitingCountMessage, static_cast<WPARAM>(count), 0);
}

void CSystemTray::ShowRestingIcon(int count) {
  waitingCount = count;
  UniqueIcon badge = count > 0 ? DrawCountBadge(plainIcon.get(), iconSize, count) : UniqueIcon();
  // A badge that cannot be drawn leaves the plain icon.
  HICON resting = badge ? badge.get() : plainIcon.get();
  if (!resting) return;
  if (AnimationRunning()) {
    savedIcon = resting;
  } else {
    SetIconImage(resting);
  }
  badgeIcon = std::move(badge);
}

void CSystemTray::FitIconsToDpi() {
  const int size = TrayIconSize(trayWindow);
  if (size == iconSize && plainIcon) return;
  UniqueIcon plain = LoadIconAtSize(instance, IDI_MORVANE, size);
  if (!plain) return;
  iconSize = size;
  std::swap(plainIcon, plain);
  if (!animationFrames.empty()) {
    std::vector<UniqueIcon> old = std::move(animationFrames);
    animationFrames.clear();
    LoadAnimationFrames();
    if (AnimationRunning() && frameIndex < static_cast<int>(animationFrames.size()))
      SetIconImage(animationFrames[frameIndex].get());
  }
  // The old plain icon goes only once nothing shows it any more.
  ShowRestingIcon(waitingCount);
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
  return SetIconImage(animationFrames[frameIndex].get());
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
