#pragma once

#include <windows.h>

// The worker thread: keeps the shop logged in and polls every 30 seconds, for ever.
DWORD WINAPI WorkerLoop(LPVOID mainWindow);
