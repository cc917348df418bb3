#pragma once

#include <windows.h>

// The settings dialog's Test button: tries a log-in with the texts of edits
// 1000 and 1001 and writes the verdict into control 1003. Stores nothing.
// The request runs off the calling thread, which serves its messages until
// the reply is in. 1 when the test passed, 0 when it failed; -1, with the
// dialog left alone, when another request is awaited or the program ends
// meanwhile.
int TestLogin(HWND dialog);
