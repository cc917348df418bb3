// The icon brought to a taskbar that was not up yet or has been re-created:
// the add tried again for the first minutes, and the re-add on
// "TaskbarCreated".
#include "tray/system_tray_win.h"
#include "tray/tray_shared_win.h"

void CSystemTray::StartAddRetry() {
  addRetryStart = SecondsNow();
  ::SetTimer(trayWindow, kAddRetryTimerId, kAddRetryPeriod, nullptr);
}

void CSystemTray::ReAddAfterTaskbarCreated() {
  SenderTurn turn(senderLock.get());
  std::unique_lock<std::mutex> guard(recordLock);
  // Every icon that is meant to be shown comes back, one whose first add
  // failed too; never one that was removed.
  if (!enabled || removed) return;
  iconData.uFlags = AddFlags(iconData);
  const NOTIFYICONDATAW copy = iconData;
  guard.unlock();
  BOOL shown = SendToShell(NIM_ADD, copy);
  // A shell that still holds the icon refuses the add; it takes the update.
  if (!shown) shown = SendToShell(NIM_MODIFY, copy);
  guard.lock();
  hidden = !shown;
  if (shown) iconData.szInfo[0] = L'\0';
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
