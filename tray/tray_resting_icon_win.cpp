// The icons at the size the tray shows them, handed over as the count, the
// connection and the DPI change: the not-connected image, the badge of the
// waiting count or the plain icon, each shown before the one it replaces is
// destroyed.
#include <utility>

#include "res/resource_ids.h"
#include "tray/system_tray_win.h"
#include "tray/tray_icon_images_win.h"
#include "tray/tray_shared_win.h"

BOOL CSystemTray::ShowWaitingCount(int count) {
  if (postedCount.exchange(count) == count) return TRUE;
  return ::PostMessageW(trayWindow, kWaitingCountMessage, static_cast<WPARAM>(count), 0);
}

BOOL CSystemTray::ShowNotConnected(bool shown) {
  if (notConnected.exchange(shown) == shown) return TRUE;
  // Drawn by the tray window's thread, with the count as it stands.
  return ::PostMessageW(trayWindow, kWaitingCountMessage, static_cast<WPARAM>(postedCount.load()), 0);
}

void CSystemTray::ShowRestingIcon(int count) {
  waitingCount = count;
  UniqueIcon badge = notConnected ? LoadIconAtSize(instance, IDI_NOT_CONNECTED, iconSize)
                     : count > 0  ? DrawCountBadge(plainIcon.get(), iconSize, count)
                                  : UniqueIcon();
  // An image that cannot be made leaves the plain icon.
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
