// The record of the icon and the calls that hand it to the shell. The worker
// thread and the user-interface thread both update it: one writer of the
// record at a time, one sender to the shell at a time.
#include "tray/system_tray_win.h"
#include "tray/tray_shared_win.h"

namespace {

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

}  // namespace

BOOL CSystemTray::SendToShell(DWORD message, NOTIFYICONDATAW copy) { return ::Shell_NotifyIconW(message, &copy); }

BOOL CSystemTray::AddIcon(HWND target, HICON icon) {
  SenderTurn turn(senderLock.get());
  std::unique_lock<std::mutex> guard(recordLock);
  iconData.hWnd = target ? target : trayWindow;
  iconData.cbSize = kTrayRecordSize;
  iconData.uID = kTrayIconId;
  iconData.hIcon = icon;
  iconData.uFlags = AddFlags(iconData);
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
  if (added) iconData.szInfo[0] = L'\0';
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
    // A balloon for an icon the shell has not taken waits in the record for
    // the add, in place of any older one that waits there.
    if (hidden) return TRUE;
    copy = iconData;
    // Emptied at once: a balloon that has been sent is never sent again.
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
