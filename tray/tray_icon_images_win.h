#pragma once
// The images of the tray icon at the size the tray shows them: the small-icon
// size of the current DPI, with the waiting count drawn on when there is one.

#include <windows.h>

#include "win32/handles.h"

// The small-icon size of the DPI that the taskbar's monitor has now, or else
// the window's.
int TrayIconSize(HWND window);

// An icon of the module at exactly size pixels, scaled down from a larger
// image where it has none of that size: the caller's own copy.
UniqueIcon LoadIconAtSize(HINSTANCE instance, int id, int size);

// The icon with count in a badge at its top-right corner (1 to 99, then
// "99+"): white text on a red disc with a thin white outline, which shows on
// light and dark taskbars alike. None when the image cannot be made.
UniqueIcon DrawCountBadge(HICON icon, int size, int count);
