#pragma once
// The program's one icon in the notification area: the icon, its tooltip, its
// balloons, a short spinning animation, and its context menu.

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "win32/handles.h"

// The shell is told the size of the record up to dwInfoFlags: no balloon icon
// handle and no GUID. The figures are the ones each architecture's shell expects.
constexpr DWORD kTrayRecordSize = NOTIFYICONDATAW_V2_SIZE;
#ifdef _WIN64
static_assert(kTrayRecordSize == 952, "64-bit notification-icon record up to dwInfoFlags");
#else
static_assert(kTrayRecordSize == 936, "32-bit notification-icon record up to dwInfoFlags");
static_assert(sizeof(WNDCLASSEXW) == 48, "32-bit window class record");
#endif
static_assert(sizeof(OSVERSIONINFOW) == 276, "version record");

constexpr UINT kTrayIconId = 130;                   // also the context menu's resource id
constexpr UINT kTrayCallbackMessage = WM_APP + 10;  // 32778
constexpr UINT_PTR kAnimationTimerId = 4567;
constexpr UINT kAnimationTimerPeriod = 50;  // ms
constexpr int kAnimationSeconds = 2;
constexpr UINT kBalloonTimeout = 10000;  // ms
constexpr wchar_t kTrayWindowClass[] = L"TrevoltTrayIconClass";
constexpr wchar_t kProgramName[] = L"Morvane";

class CSystemTray {
 public:
  CSystemTray();
  virtual ~CSystemTray();
  CSystemTray(const CSystemTray&) = delete;
  CSystemTray& operator=(const CSystemTray&) = delete;

  // The tray window, its messages and the menu (system_tray_win.cpp).
  BOOL CreateTrayIcon(HINSTANCE instance, HWND target, HICON icon);
  virtual LRESULT HandleTrayMessage(WPARAM wParam, LPARAM lParam);
  virtual void PrepareMenu(HMENU menu);
  // Removes the icon and destroys the hidden window; what the destructor does,
  // and what runs at process exit for the process-wide object.
  void Teardown();
  static LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND TrayWindow() const { return trayWindow; }

  // The record and the shell calls, from any thread (tray_record_win.cpp).
  BOOL SetTooltipText(const wchar_t* text);
  BOOL ShowBalloon(const wchar_t* text);
  BOOL SetIconImage(HICON icon);
  HICON GetIconImage();
  BOOL RemoveTrayIcon();

  // The icons at the tray's size (tray_resting_icon_win.cpp). The waiting
  // count on the icon, drawn by the tray window's thread: a badge while
  // requests wait, the plain icon with none. Any thread.
  BOOL ShowWaitingCount(int count);
  // While the service cannot be reached the icon says so in place of the
  // count, until told otherwise. Any thread.
  BOOL ShowNotConnected(bool notConnected);
  // Loads the icons again at the size the tray shows them now, when the DPI
  // or the display has changed.
  void FitIconsToDpi();

  // The spin (tray_animation_win.cpp).
  BOOL LoadAnimationFrames();
  BOOL StartAnimation();
  BOOL AdvanceAnimation();
  BOOL StopAnimation();
  LRESULT OnAnimationTimer(UINT_PTR timerId);
  bool AnimationRunning() const { return animationTimer != 0; }

  static CSystemTray* activeTray;
  static int tooltipCapacity;
  static const UINT taskbarCreatedMessage;

 private:
  // Fills the record for the first add and sends it: FALSE when the shell
  // refuses the icon, which the record then keeps as meant to be shown.
  BOOL AddIcon(HWND target, HICON icon);
  // Sends a copy of the record: the shell may hand this thread a message for
  // the tray window while it is waited for, so recordLock is never held then.
  static BOOL SendToShell(DWORD message, NOTIFYICONDATAW copy);

  // tray_add_retry_win.cpp: starts the retries of a refused first add.
  void StartAddRetry();
  // Puts the icon back after the shell has re-created its taskbar and
  // forgotten every icon.
  void ReAddAfterTaskbarCreated();
  // Tries the add again while the shell has not taken the icon, until the
  // first minutes after its creation are over.
  void OnAddRetryTimer();

  // The icon shown outside the animation: the not-connected image, the badge
  // of the count, or the plain icon; the one it replaces is destroyed once
  // the shell has this one.
  void ShowRestingIcon(int count);

  NOTIFYICONDATAW iconData;
  HINSTANCE instance = nullptr;
  HWND trayWindow = nullptr;
  HWND targetWindow = nullptr;
  BOOL enabled = FALSE;
  BOOL hidden = TRUE;
  BOOL removed = TRUE;
  BOOL balloonsSupported = FALSE;
  std::vector<UniqueIcon> animationFrames;
  UINT_PTR animationTimer = 0;
  int frameIndex = 0;
  std::int64_t animationStart = 0;
  int animationSeconds = 0;
  HICON savedIcon = nullptr;
  std::int64_t addRetryStart = 0;
  // The icons made at the tray's size: icon 107, and the badge of the count
  // or icon 108 while the service cannot be reached.
  int iconSize = 0;
  UniqueIcon plainIcon;
  UniqueIcon badgeIcon;
  int waitingCount = 0;
  std::atomic<int> postedCount{0};
  std::atomic<bool> notConnected{false};
  UINT defaultMenuItem = 0;
  BOOL defaultItemByPosition = TRUE;

  // The worker thread sets the tooltip and shows balloons while the
  // user-interface thread animates the icon: one writer of the record at a
  // time, and one sender to the shell at a time, so that the shell sees the
  // updates in the order the record took them. The sender lock is a kernel
  // mutex: a thread may take it again from inside its own shell call.
  std::mutex recordLock;
  UniqueKernelHandle senderLock;
};
