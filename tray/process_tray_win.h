#pragma once
// The program's one tray object: constructed before WinMain runs, torn down
// at process exit.

#include "tray/system_tray_win.h"

CSystemTray& TheSystemTray();
