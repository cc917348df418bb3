#pragma once

#include <windows.h>

// The settings dialog's Test button: tries a log-in with the texts of edits
// 1000 and 1001 and writes the verdict into control 1003. Stores nothing.
// 1 when the test passed.
int TestLogin(HWND dialog);
