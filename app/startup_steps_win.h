#pragma once
// The start-up steps that reach into the service client and the settings,
// and the operations the main window's commands call.

#include <windows.h>

#include "service/console_launch_win.h"
#include "service/http_transport_win.h"
#include "settings/settings_dialog_win.h"

// Empties the poll's kept lists, loads the stored credentials and forgets
// any session, in that order, before the worker thread exists.
void ResetServiceState();

// Starts the worker thread; it runs until the process ends.
void StartWorkerThread(HWND mainWindow);
