// The icon's short spin: four frames at the tray's size, shown in turn by a
// timer of the tray window, then the icon from before.
#include <new>

#include "res/resource_ids.h"
#include "tray/system_tray_win.h"
#include "tray/tray_icon_images_win.h"
#include "tray/tray_shared_win.h"

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
